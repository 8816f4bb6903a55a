// sandbox-replay: runs the sandbox headless for a number of frames, with scripted input, and
// writes the particle trace and pictures of the frames. A bad command line or script is
// reported before anything starts, with exit status 2.

#include <cstdio>
#include <string>
#include <vector>

#include "runtime/error.h"
#include "tools/replay/options.h"
#include "tools/replay/replay.h"

int main(int argc, char** argv) {
    try {
        const ReplayOptions options =
            ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            std::fputs(kReplayUsage, stdout);
            return 0;
        }
        std::vector<ScriptEvent> events;
        if (!options.inputPath.empty()) events = LoadScript(options.inputPath);
        return RunGuarded([&] { return RunReplay(options, events); });
    } catch (const UsageError& e) {
        std::fprintf(stderr, "sandbox-replay: %s (--help for usage)\n", e.what());
        return 2;
    }
}
