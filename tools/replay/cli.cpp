#include "tools/replay/cli.h"

#include <cstdio>
#include <exception>

#include "app/message.h"
#include "app/scene_source.h"
#include "runtime/error.h"
#include "tools/replay/options.h"
#include "tools/replay/replay.h"

int ReplayMain(const std::vector<std::string>& args, const ReplayTool& tool) {
    auto say = [&tool](const std::string& message) {
        std::fprintf(stderr, "%s: %s\n", tool.name, Printable(message).c_str());
    };
    ReplayOptions options;
    std::vector<ScriptEvent> events;
    SceneLoad scene;
    ScriptScenes scriptScenes;
    try {
        options = ParseCommandLine(args);
        if (options.help) {
            std::fputs(kReplayUsage, stdout);
            if (!tool.pictures) {
                std::printf(
                    "This build (%s) draws no pictures: --png, --png-every and --png-dir are "
                    "refused.\n",
                    tool.name);
            }
            return 0;
        }
        if (!tool.pictures &&
            (!options.pngPath.empty() || options.pngEvery > 0 || !options.pngDir.empty())) {
            throw UsageError(std::string("--png, --png-every and --png-dir: ") + tool.name +
                             " draws no pictures");
        }
        if (!options.inputPath.empty()) events = LoadScript(options.inputPath);
        CheckRun(options, events);
        scriptScenes = LoadScriptScenes(events, options.inputPath);
        if (!options.scene.empty()) {
            // Read and checked in full before the window opens; nothing of a bad scene is used.
            scene = ReadSceneArgument(options.scene);
            for (const std::string& w : scene.warnings) say("warning: " + w);
            if (!scene.scene) {
                say("--scene: " + scene.error);
                return 2;
            }
        }
    } catch (const UsageError& e) {
        say(std::string(e.what()) + " (--help for usage)");
        return 2;
    }
    for (const std::string& w : ScriptWarnings(events, options.frames, options.inputPath)) {
        say("warning: " + w);
    }
    try {
        const SceneData* start = scene.scene ? &*scene.scene : nullptr;
        return RunGuarded([&] { return RunReplay(options, events, start, scriptScenes); });
    } catch (const std::exception& e) {
        say(e.what());
        return 1;
    }
}
