#include "app/command_line.h"

#include "app/look.h"
#include "app/message.h"
#include "app/output_paths.h"
#include "app/scene_source.h"

OptionSpec LookOption(Look& look) {
    return {
        "--look", "classic or clear", [&look](const std::string& value) {
            if (!LookFromName(value, look)) {
                throw UsageError("--look: '" + Shown(value) + "' is not a look (classic or clear)");
            }
        }};
}

SandboxCommandLine ParseSandboxCommandLine(const std::vector<std::string>& args) {
    SandboxCommandLine c;
    const auto into = [](std::string& target) {
        return [&target](const std::string& value) { target = value; };
    };
    c.help = ReadOptions(args, {{"--scene", "a file or a built-in scene's name", into(c.scene)},
                                {"--record", "a file name", into(c.recordPath)},
                                {"--trace", "a file name", into(c.tracePath)},
                                LookOption(c.look)});
    if (c.help) return c;
    // No output may replace the scene file or the other output.
    std::vector<NamedPath> files = SceneInput(c.scene);
    if (!c.recordPath.empty()) files.push_back({"--record", c.recordPath});
    if (!c.tracePath.empty()) files.push_back({"--trace", c.tracePath});
    CheckDistinct(files);
    return c;
}

std::string SandboxUsage() {
    return "usage: sandbox [--scene FILE|NAME] [--record FILE] [--trace FILE]\n"
           "               [--look classic|clear]\n"
           "  --scene FILE|NAME  start from a scene file, or a built-in scene:\n"
           "                     " +
           BuiltinSceneList() +
           "\n"
           "  --record FILE      write the session as a script for sandbox-replay --input:\n"
           "                     every input event where the program took it in, and every\n"
           "                     change made with the controls panel or its keys\n"
           "  --trace FILE       after every frame, one line 'F I X Y' per particle, as\n"
           "                     sandbox-replay --trace writes it\n"
           "  --look classic|clear  how the world is drawn: classic (the default), every\n"
           "                     constraint a white line; clear, bodies filled in colours,\n"
           "                     pinned points marked, springs and ropes coloured (L changes it)\n"
           "Each option's value follows it, or follows '=' ('--scene=chain').\n"
           "Without --scene: the pyramid. In the window: drag and release the left\n"
           "button to throw a box, F5 saves the scene to scene-0001.json, ... in the\n"
           "working folder, hold Space for collision timings, hold Escape to quit.\n"
           "Right drag grabs, middle drag cuts, keys 1 to 7 choose a tool, H shows the keys.\n"
           "F1 opens the controls panel; R restarts, P pauses, N steps a paused frame.\n"
           "The outputs must be new or regular files, distinct from each other and the\n"
           "scene; they are written whole when the session ends, by Escape or by Ctrl+C\n"
           "(or SIGTERM, SIGHUP) between two frames. Exit status: 0 done, 1 the run\n"
           "failed or found no display, 2 usage.\n";
}
