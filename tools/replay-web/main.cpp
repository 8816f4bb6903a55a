// replay.js: the replay tool compiled to WebAssembly, run by node with no window. It takes the
// same options and scripts as sandbox-replay and writes the same traces and scenes; it draws no
// pictures, so --png, --png-every and --png-dir are refused. The program runs on the web back
// end, headless, with the script's events queued as the page's own input records.
//
//   node replay.js --frames N [--scene FILE|NAME] [--input FILE] [--trace FILE] [--save FILE]

#include <string>
#include <vector>

#include "app/output_file.h"
#include "tools/replay/cli.h"

int main(int argc, char** argv) {
    InstallTempFileCleanup();
    return ReplayMain(std::vector<std::string>(argv + 1, argv + argc), {"replay.js", false});
}
