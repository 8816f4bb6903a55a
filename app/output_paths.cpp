#include "app/output_paths.h"

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <stdexcept>

#include "app/message.h"
#include "app/option_reader.h"
#include "app/output_file.h"

namespace fs = std::filesystem;

namespace {

std::optional<struct stat> StatOf(const fs::path& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return std::nullopt;
    return st;
}

}  // namespace

fs::path ResolvedPath(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec) p = fs::absolute(path, ec).lexically_normal();
    return p;
}

std::string Quoted(const NamedPath& file) { return file.option + " '" + Shown(file.path) + "'"; }

bool SameFile(const std::string& a, const std::string& b) {
    if (ResolvedPath(a) == ResolvedPath(b)) return true;
    const auto sa = StatOf(a), sb = StatOf(b);
    return sa && sb && sa->st_dev == sb->st_dev && sa->st_ino == sb->st_ino;
}

void CheckDistinct(const std::vector<NamedPath>& files) {
    for (size_t i = 0; i < files.size(); ++i) {
        for (size_t j = i + 1; j < files.size(); ++j) {
            if (SameFile(files[i].path, files[j].path)) {
                throw UsageError(Quoted(files[i]) + " and " + Quoted(files[j]) +
                                 " name the same file");
            }
        }
    }
}

void CheckFileOutput(const NamedPath& out) {
    struct stat st {};
    if (lstat(out.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        throw UsageError(Quoted(out) + " is a directory");
    }
    try {
        OutputFile probe(out.path);  // refuses what is not a regular file; removed at once
    } catch (const std::exception& e) {
        throw UsageError(out.option + ": " + e.what());
    }
}

std::vector<NamedPath> SceneInput(const std::string& scene) {
    std::error_code ec;
    if (scene.empty() || !fs::exists(scene, ec)) return {};
    return {{"--scene", scene}};
}
