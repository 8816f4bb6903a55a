#include "tools/replay/output_check.h"

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "app/message.h"
#include "app/output_file.h"
#include "app/output_paths.h"

namespace fs = std::filesystem;

namespace {

// The nearest directory that exists on the way to `dir`; throws when something other than a
// directory stands on the way.
fs::path ExistingAncestor(const NamedPath& dir) {
    fs::path p = fs::absolute(dir.path).lexically_normal();
    for (;;) {
        struct stat st {};
        if (stat(p.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) {
                throw UsageError(Quoted(dir) + ": '" + Shown(p.string()) + "' is not a directory");
            }
            return p;
        }
        if (!p.has_relative_path()) return p;
        p = p.parent_path();
    }
}

void CheckPictureDirectory(const NamedPath& dir, int32_t every, int32_t frames) {
    const fs::path ancestor = ExistingAncestor(dir);
    const bool exists = ancestor == fs::absolute(dir.path).lexically_normal();
    // A file made and removed at once where the pictures (or the directory) will go.
    try {
        OutputFile probe((ancestor / "sandbox-replay-probe").string());
    } catch (const std::exception& e) {
        throw UsageError(dir.option + std::string(": ") + e.what());
    }
    if (!exists) return;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.path, ec)) {
        const std::string name = entry.path().filename().string();
        if (!IsSeriesPicture(name, every, frames)) continue;
        try {
            CheckReplaceable(entry.path().string());
        } catch (const std::exception& e) {
            throw UsageError(dir.option + std::string(": ") + e.what());
        }
    }
}

// Whether the single output or input `file` is also one of the series' pictures.
bool InSeries(const std::string& file, const NamedPath& dir, int32_t every, int32_t frames) {
    const fs::path resolved = ResolvedPath(file);
    if (resolved.parent_path() == ResolvedPath(dir.path) &&
        IsSeriesPicture(resolved.filename().string(), every, frames)) {
        return true;
    }
    // Another name of a picture already there.
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.path, ec)) {
        if (IsSeriesPicture(entry.path().filename().string(), every, frames) &&
            SameFile(file, entry.path().string())) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool IsSeriesPicture(const std::string& name, int32_t every, int32_t frames) {
    constexpr std::string_view kPrefix = "frame-", kSuffix = ".png";
    if (every < 1 || name.size() <= kPrefix.size() + kSuffix.size() || !name.starts_with(kPrefix) ||
        !name.ends_with(kSuffix)) {
        return false;
    }
    const std::string digits =
        name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    if (digits.find_first_not_of("0123456789") != std::string::npos) return false;
    int32_t frame = 0;
    try {
        frame = ParseInt(digits, "frame");
    } catch (const UsageError&) {
        return false;
    }
    char written[32];
    std::snprintf(written, sizeof(written), "frame-%06d.png", frame);
    return frame >= 1 && frame <= frames && frame % every == 0 && name == written;
}

void CheckOutputs(const ReplayOptions& options, const std::vector<ScriptEvent>& events) {
    std::vector<NamedPath> files;  // the inputs first, then the single outputs
    if (!options.inputPath.empty()) files.push_back({"--input", options.inputPath});
    // A scene named by a file (not a built-in's name) is an input too, whether --scene or a
    // script's scene command names it.
    for (const NamedPath& scene : SceneInput(options.scene)) files.push_back(scene);
    std::error_code ec;
    for (const ScriptEvent& e : events) {
        if (e.kind == ScriptKind::kCommand && e.command.kind == CommandKind::kScene &&
            fs::exists(e.command.text, ec)) {
            files.push_back({Shown(options.inputPath) + ":" + std::to_string(e.line) + ": scene",
                             e.command.text});
        }
    }
    if (!options.tracePath.empty()) files.push_back({"--trace", options.tracePath});
    if (!options.pngPath.empty()) files.push_back({"--png", options.pngPath});
    if (!options.savePath.empty()) files.push_back({"--save", options.savePath});
    const bool series = options.pngEvery > 0;
    const NamedPath dir{"--png-dir", options.pngDir};

    CheckDistinct(files);
    for (size_t i = 0; i < files.size(); ++i) {
        if (series && SameFile(files[i].path, dir.path)) {
            throw UsageError(Quoted(files[i]) + " and " + Quoted(dir) + " name the same path");
        }
        if (series && InSeries(files[i].path, dir, options.pngEvery, options.frames)) {
            throw UsageError(Quoted(files[i]) + " is also a picture of the " + dir.option +
                             " series");
        }
    }
    for (const NamedPath& out : files) {
        if (out.option.rfind("--", 0) == 0 && out.option != "--input" && out.option != "--scene") {
            CheckFileOutput(out);
        }
    }
    if (series) CheckPictureDirectory(dir, options.pngEvery, options.frames);
}

void PreparePictureDirectory(const std::string& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir)) {
        throw std::runtime_error("cannot make the directory '" + Shown(dir) + "'" +
                                 (ec ? ": " + ec.message() : std::string()));
    }
}
