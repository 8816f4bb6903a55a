#include "app/scene_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "app/builtin_scenes.h"
#include "runtime/text.h"

namespace fs = std::filesystem;

namespace {

// A user's name made fit for a one-line message.
std::string Quoted(std::string_view text) { return "'" + MessageText(text, 200) + "'"; }

SceneLoad Failed(std::string message) {
    SceneLoad out;
    out.error = std::move(message);
    return out;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string BuiltinSceneList() {
    std::string out;
    for (const BuiltinScene& s : BuiltinScenes()) {
        if (!out.empty()) out += ", ";
        out += s.name;
    }
    return out;
}

SceneLoad ReadSceneArgument(const std::string& arg) {
    if (arg.empty()) return Failed("the scene's name is empty");
    std::error_code ec;
    const fs::file_status st = fs::status(arg, ec);
    if (fs::exists(st)) {
        if (fs::is_directory(st)) return Failed(Quoted(arg) + " is a directory, not a scene file");
        if (!fs::is_regular_file(st)) return Failed(Quoted(arg) + " is not a regular file");
        const auto size = fs::file_size(arg, ec);
        if (!ec && size > kMaxSceneBytes) {
            return Failed(Quoted(arg) + ": the file is " + std::to_string(size) +
                          " bytes; the limit is " + std::to_string(kMaxSceneBytes));
        }
        // Read once into its own string: a large file is held once, not copied.
        std::ifstream in(arg, std::ios::binary);
        std::string text(ec ? 0 : static_cast<size_t>(size), '\0');
        if (in) in.read(text.data(), static_cast<std::streamsize>(text.size()));
        if (!in || static_cast<size_t>(in.gcount()) != text.size() || in.peek() != EOF) {
            return Failed(Quoted(arg) + ": cannot be read");
        }
        const std::string shown = Quoted(arg);
        return LoadScene(text, shown.substr(1, shown.size() - 2));
    }
    for (const BuiltinScene& s : BuiltinScenes()) {
        if (s.name == arg) return LoadScene(s.text, "built-in scene " + std::string(s.name));
    }
    return Failed(Quoted(arg) +
                  " is neither a file nor a built-in scene (built-in: " + BuiltinSceneList() + ")");
}

std::shared_ptr<const SceneData> ResolveSceneArgument(const std::string& arg, std::string& error) {
    SceneLoad load = ReadSceneArgument(arg);
    if (!load.scene) {
        error = load.error;
        return nullptr;
    }
    return std::make_shared<const SceneData>(std::move(*load.scene));
}

fs::path SaveSceneNumbered(const std::string& text, const fs::path& dir) {
    // Written whole under a temporary name, then linked to the first free number: link never
    // replaces a file that is there, so two saves (or another program) cannot overwrite one.
    std::string temp = (dir / "scene-save-XXXXXX").string();
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        throw std::runtime_error("cannot write in " + Quoted(dir.string()) + ": " +
                                 std::strerror(errno));
    }
    fchmod(fd, 0644);  // mkstemp makes it private; a saved scene is an ordinary file
    const bool written = WriteAll(fd, text);
    const int err = errno;
    if (close(fd) != 0 || !written) {
        unlink(temp.c_str());
        throw std::runtime_error("cannot write " + Quoted(temp) + ": " + std::strerror(err));
    }
    for (int32_t n = 1; n <= 9999; ++n) {
        char name[32];
        std::snprintf(name, sizeof(name), "scene-%04d.json", n);
        const fs::path target = dir / name;
        if (link(temp.c_str(), target.c_str()) == 0) {
            unlink(temp.c_str());
            return target;
        }
        if (errno != EEXIST) {
            const int linkErr = errno;
            unlink(temp.c_str());
            throw std::runtime_error("cannot make " + Quoted(target.string()) + ": " +
                                     std::strerror(linkErr));
        }
    }
    unlink(temp.c_str());
    throw std::runtime_error("scene-0001.json to scene-9999.json all exist in " +
                             Quoted(dir.string()));
}
