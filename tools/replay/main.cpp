// sandbox-replay: runs the sandbox headless for a number of frames, with scripted input, and
// writes the particle trace and pictures of the frames. A bad command line, script or output is
// reported before anything starts, with exit status 2; a run that fails ends with status 1.

#include <string>
#include <vector>

#include "app/output_file.h"
#include "tools/replay/cli.h"

int main(int argc, char** argv) {
    // First of all, so that no temporary file outlives an interruption.
    InstallTempFileCleanup();
    return ReplayMain(std::vector<std::string>(argv + 1, argv + argc), {"sandbox-replay", true});
}
