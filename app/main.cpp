// The sandbox: a pyramid of boxes to knock over, or any scene file. Drag and release the left
// mouse button to throw a box, press F5 to save the scene, hold Space to print how long each
// collision pass takes, hold Escape to quit.
//
//   sandbox [--scene FILE|NAME]

#include <cstdio>
#include <string>

#include "app/program.h"
#include "app/scene_source.h"
#include "runtime/error.h"
#include "runtime/text.h"

namespace {

// A command-line word fit to quote in a one-line message: control bytes as \xNN.
std::string Shown(const std::string& word) { return MessageText(word, 100); }

int Usage(const char* problem) {
    if (problem != nullptr) std::fprintf(stderr, "sandbox: %s\n", problem);
    std::fprintf(problem != nullptr ? stderr : stdout,
                 "usage: sandbox [--scene FILE|NAME]\n"
                 "  --scene FILE|NAME  start from a scene file, or a built-in scene:\n"
                 "                     %s\n"
                 "Without --scene: the pyramid. In the window: drag and release the left\n"
                 "button to throw a box, F5 saves the scene to scene-0001.json, ... in the\n"
                 "working folder, hold Space for collision timings, hold Escape to quit.\n",
                 BuiltinSceneList().c_str());
    return problem != nullptr ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string sceneArg;
    bool haveScene = false;
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--help" || opt == "-h") return Usage(nullptr);
        if (opt != "--scene") return Usage(("unknown option '" + Shown(opt) + "'").c_str());
        if (haveScene) return Usage("--scene given twice");
        if (i + 1 >= argc) return Usage("--scene needs a file or a built-in scene's name");
        sceneArg = argv[++i];
        haveScene = true;
    }
    SandboxOptions options;
    options.interactive = true;
    SceneLoad load;
    if (haveScene) {
        // Read and checked in full before anything starts: a bad file opens no window.
        load = ReadSceneArgument(sceneArg);
        for (const std::string& w : load.warnings) {
            std::fprintf(stderr, "sandbox: warning: %s\n", w.c_str());
        }
        if (!load.scene) {
            std::fprintf(stderr, "sandbox: %s\n", load.error.c_str());
            return 2;
        }
        options.scene = &*load.scene;
    }
    return RunGuarded([&] { return RunSandbox({}, options); });
}
