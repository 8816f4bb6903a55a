#include "app/command_line.h"

#include <filesystem>

#include "app/scene_source.h"
#include "runtime/text.h"

namespace {

namespace fs = std::filesystem;

std::string Shown(const std::string& word) { return MessageText(word, 100); }

// Whether two paths name one file: the same file on disk, or the same path once made absolute.
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    return fs::absolute(a, ec).lexically_normal() == fs::absolute(b, ec).lexically_normal();
}

}  // namespace

SandboxCommandLine ParseSandboxCommandLine(const std::vector<std::string>& args) {
    SandboxCommandLine c;
    bool seenScene = false, seenRecord = false, seenTrace = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& opt = args[i];
        if (opt == "--help" || opt == "-h") {
            c.help = true;
            return c;
        }
        auto value = [&](bool& seen, const char* what) -> const std::string& {
            if (seen) throw CommandLineError(opt + " given twice");
            seen = true;
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                throw CommandLineError(opt + " needs " + what);
            }
            return args[++i];
        };
        if (opt == "--scene") {
            c.scene = value(seenScene, "a file or a built-in scene's name");
        } else if (opt == "--record") {
            c.recordPath = value(seenRecord, "a file name");
        } else if (opt == "--trace") {
            c.tracePath = value(seenTrace, "a file name");
        } else {
            throw CommandLineError("unknown option '" + Shown(opt) + "'");
        }
    }
    if (seenRecord && seenTrace && SameFile(c.recordPath, c.tracePath)) {
        throw CommandLineError("--record and --trace name the same file '" + Shown(c.recordPath) +
                               "'");
    }
    for (const std::string* out : {&c.recordPath, &c.tracePath}) {
        if (seenScene && !out->empty() && SameFile(*out, c.scene)) {
            throw CommandLineError("'" + Shown(*out) + "' is the --scene file; it is not replaced");
        }
    }
    return c;
}

std::string SandboxUsage() {
    return "usage: sandbox [--scene FILE|NAME] [--record FILE] [--trace FILE]\n"
           "  --scene FILE|NAME  start from a scene file, or a built-in scene:\n"
           "                     " +
           BuiltinSceneList() +
           "\n"
           "  --record FILE      write the session as a script for sandbox-replay --input:\n"
           "                     every input event where the program took it in, and every\n"
           "                     change made with the controls panel or its keys\n"
           "  --trace FILE       after every frame, one line 'F I X Y' per particle, as\n"
           "                     sandbox-replay --trace writes it\n"
           "Without --scene: the pyramid. In the window: drag and release the left\n"
           "button to throw a box, F5 saves the scene to scene-0001.json, ... in the\n"
           "working folder, hold Space for collision timings, hold Escape to quit.\n"
           "F1 opens the controls panel; R restarts, P pauses, N steps a paused frame.\n";
}
