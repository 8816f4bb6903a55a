#pragma once
// The replay tool's command line and its input script.
//
//   sandbox-replay --frames N [--input FILE] [--trace FILE] [--png FILE]
//                  [--png-every K --png-dir DIR]
//
// A script line is `F kind args`: frame F (from 1), then one of
//   move X Y | down B | up B | keydown K | keyup K | wheel N
// `#` starts a comment; blank lines are ignored. Everything is checked before the program
// starts, so that a bad command line or script never opens a window.

#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

// A bad command line or script; the tool prints the message and exits with status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class ScriptKind { kMove, kDown, kUp, kKeyDown, kKeyUp, kWheel };

struct ScriptEvent {
    int32_t frame = 0;
    ScriptKind kind = ScriptKind::kMove;
    int32_t a = 0;  // x, button, key code or notches
    int32_t b = 0;  // y for a move
};

struct ReplayOptions {
    int32_t frames = -1;
    std::string inputPath;
    std::string tracePath;
    std::string pngPath;
    int32_t pngEvery = 0;  // 0: no picture series
    std::string pngDir;
    bool help = false;
};

// Throws UsageError naming the offending option or value.
ReplayOptions ParseCommandLine(const std::vector<std::string>& args);

// Events sorted by frame, keeping file order within a frame. `name` prefixes the messages
// ("script.txt:3: ..."). Throws UsageError.
std::vector<ScriptEvent> ParseScript(std::istream& in, const std::string& name);
std::vector<ScriptEvent> LoadScript(const std::string& path);

// A whole decimal int32 with an optional sign, nothing else; throws UsageError naming `what`.
int32_t ParseInt(const std::string& text, const std::string& what);

extern const char* const kReplayUsage;
