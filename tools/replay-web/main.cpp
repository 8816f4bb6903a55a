// replay.js: the replay tool compiled to WebAssembly, run by node with no window. It takes the
// same options and scripts as sandbox-replay and writes the same traces and scenes; it draws no
// pictures, so --png, --png-every and --png-dir are refused. The program runs on the web back
// end, headless, with the script's events queued as the page's own input records.
//
//   node replay.js --frames N [--scene FILE|NAME] [--input FILE] [--trace FILE] [--save FILE]

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/message.h"
#include "app/output_file.h"
#include "app/scene_source.h"
#include "runtime/error.h"
#include "tools/replay/options.h"
#include "tools/replay/replay.h"

namespace {

constexpr char kName[] = "replay.js";

int Fail(const std::string& message, int status) {
    std::fprintf(stderr, "%s: %s\n", kName, Printable(message).c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    InstallTempFileCleanup();
    ReplayOptions options;
    std::vector<ScriptEvent> events;
    SceneLoad scene;
    try {
        options = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            std::fputs(kReplayUsage, stdout);
            std::fputs(
                "This build (replay.js) draws no pictures: --png, --png-every and --png-dir "
                "are refused.\n",
                stdout);
            return 0;
        }
        if (!options.pngPath.empty() || options.pngEvery > 0 || !options.pngDir.empty()) {
            throw UsageError("--png, --png-every and --png-dir: replay.js draws no pictures");
        }
        if (!options.inputPath.empty()) events = LoadScript(options.inputPath);
        CheckRun(options, events);
        if (!options.scene.empty()) {
            scene = ReadSceneArgument(options.scene);
            for (const std::string& w : scene.warnings) {
                std::fprintf(stderr, "%s: warning: %s\n", kName, Printable(w).c_str());
            }
            if (!scene.scene) return Fail("--scene: " + scene.error, 2);
        }
    } catch (const UsageError& e) {
        return Fail(std::string(e.what()) + " (--help for usage)", 2);
    }
    for (const std::string& w : ScriptWarnings(events, options.frames, options.inputPath)) {
        std::fprintf(stderr, "%s: warning: %s\n", kName, w.c_str());
    }
    try {
        const SceneData* start = scene.scene ? &*scene.scene : nullptr;
        return RunGuarded([&] { return RunReplay(options, events, start); });
    } catch (const std::exception& e) {
        return Fail(e.what(), 1);
    }
}
