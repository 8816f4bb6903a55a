#include "app/command_line.h"

#include <filesystem>

#include "app/message.h"
#include "app/scene_source.h"

namespace {

namespace fs = std::filesystem;

// Whether two paths name one file: the same file on disk, or the same path once made absolute.
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    return fs::absolute(a, ec).lexically_normal() == fs::absolute(b, ec).lexically_normal();
}

}  // namespace

SandboxCommandLine ParseSandboxCommandLine(const std::vector<std::string>& args) {
    SandboxCommandLine c;
    const auto into = [](std::string& target) {
        return [&target](const std::string& value) { target = value; };
    };
    c.help = ReadOptions(args, {{"--scene", "a file or a built-in scene's name", into(c.scene)},
                                {"--record", "a file name", into(c.recordPath)},
                                {"--trace", "a file name", into(c.tracePath)}});
    if (c.help) return c;
    const bool seenScene = !c.scene.empty(), seenRecord = !c.recordPath.empty(),
               seenTrace = !c.tracePath.empty();
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
           "Each option's value follows it, or follows '=' ('--scene=chain').\n"
           "Without --scene: the pyramid. In the window: drag and release the left\n"
           "button to throw a box, F5 saves the scene to scene-0001.json, ... in the\n"
           "working folder, hold Space for collision timings, hold Escape to quit.\n"
           "F1 opens the controls panel; R restarts, P pauses, N steps a paused frame.\n";
}
