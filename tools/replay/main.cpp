// sandbox-replay: runs the sandbox headless for a number of frames, with scripted input, and
// writes the particle trace and pictures of the frames. A bad command line, script or output is
// reported before anything starts, with exit status 2; a run that fails ends with status 1.

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

int main(int argc, char** argv) {
    // First of all, so that no temporary file outlives an interruption.
    InstallTempFileCleanup();
    ReplayOptions options;
    std::vector<ScriptEvent> events;
    SceneLoad scene;
    ScriptScenes scriptScenes;
    try {
        options = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            std::fputs(kReplayUsage, stdout);
            return 0;
        }
        if (!options.inputPath.empty()) events = LoadScript(options.inputPath);
        CheckRun(options, events);
        scriptScenes = LoadScriptScenes(events, options.inputPath);
        if (!options.scene.empty()) {
            // Read and checked in full before the window opens; nothing of a bad scene is used.
            scene = ReadSceneArgument(options.scene);
            for (const std::string& w : scene.warnings) {
                std::fprintf(stderr, "sandbox-replay: warning: %s\n", Printable(w).c_str());
            }
            if (!scene.scene) {
                std::fprintf(stderr, "sandbox-replay: --scene: %s\n",
                             Printable(scene.error).c_str());
                return 2;
            }
        }
    } catch (const UsageError& e) {
        std::fprintf(stderr, "sandbox-replay: %s (--help for usage)\n",
                     Printable(e.what()).c_str());
        return 2;
    }
    for (const std::string& w : ScriptWarnings(events, options.frames, options.inputPath)) {
        std::fprintf(stderr, "sandbox-replay: warning: %s\n", w.c_str());
    }
    try {
        const SceneData* start = scene.scene ? &*scene.scene : nullptr;
        return RunGuarded([&] { return RunReplay(options, events, start, scriptScenes); });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sandbox-replay: %s\n", Printable(e.what()).c_str());
        return 1;
    }
}
