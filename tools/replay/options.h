#pragma once
// The replay tool's command line and its input script.
//
//   sandbox-replay --frames N [--scene FILE|NAME] [--input FILE] [--trace FILE] [--png FILE]
//                  [--png-every K --png-dir DIR] [--save FILE] [--look classic|clear]
//
// (app/option_reader.h: `--name value` or `--name=value`; a bad one is a UsageError.)
// A script line is `F kind args`: frame F (from 1), then an input event, one of
//   move X Y | down B | up B | keydown K | keyup K | wheel N | focus 0|1
// delivered before frame F's first input query, or a control command (app/command.h:
// panel, pause, step, steps, restart, scene, gravity, iterations, bounce, friction, divisor,
// draw, capture), applied at the start of frame F's first step.
//
// An input event may name the query that takes it in: `F@K kind args` delivers it just before
// the K-th input query of frame F (from 1, the quit test; `F` alone is `F@1`), and `0@K` the
// K-th query before the first frame. This is where `sandbox --record` found each event, and
// what makes a replay of a live session bit for bit the same. An event whose query a frame never
// reaches is delivered at the next frame's first.
//
// `#` starts a comment; blank lines are ignored. Everything is checked before the program
// starts, so that a bad command line or script never opens a window: every value the check
// lets through is one the host can deliver.

#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/command.h"
#include "app/option_reader.h"

enum class ScriptKind { kMove, kDown, kUp, kKeyDown, kKeyUp, kWheel, kFocus, kCommand };

struct ScriptEvent {
    int32_t frame = 0;
    int32_t pump = 1;  // the input query of the frame it is delivered before, from 1
    ScriptKind kind = ScriptKind::kMove;
    int32_t a = 0;           // x, button, key code, notches or focus (1 gained)
    int32_t b = 0;           // y for a move
    int32_t line = 0;        // where it stands in its script, from 1
    ControlCommand command;  // for kCommand
};

struct ReplayOptions {
    int32_t frames = -1;
    std::string inputPath;
    std::string tracePath;
    std::string pngPath;
    int32_t pngEvery = 0;  // 0: no picture series
    std::string pngDir;
    std::string scene;           // a scene file or a built-in scene's name; empty: the pyramid
    std::string savePath;        // the scene after the last frame
    Look look = Look::kClassic;  // applied at the first frame's start, as `1 look NAME` would be
    bool help = false;
};

// Cursor positions lie in -kCursorLimit..kCursorLimit: the pointer's relative motion (the
// difference of two positions) and the cursor cross (a position plus or minus a few pixels)
// then stay far inside int32.
inline constexpr int32_t kCursorLimit = 1000000;
// The last frame a script line can name: an event whose query its frame never reaches comes at
// the next frame, whose number must be an int32 too.
inline constexpr int32_t kMaxScriptFrame = INT32_MAX - 1;
// SDL's event queue holds 65535 events; the window's own events share it with the script's.
inline constexpr int32_t kMaxEventsPerFrame = 60000;
// A script is read up to this many bytes (some hours of recorded input), so that a name such as
// /dev/zero is refused instead of filling memory.
inline constexpr size_t kMaxScriptBytes = 16u << 20;

// Throws UsageError naming the offending option or value.
ReplayOptions ParseCommandLine(const std::vector<std::string>& args);

// Events sorted by frame and query, keeping file order within one query. `name` prefixes the
// messages
// ("script.txt:3: ..."). Throws UsageError.
std::vector<ScriptEvent> ParseScript(std::istream& in, const std::string& name);
std::vector<ScriptEvent> LoadScript(const std::string& path);

// Whether the host can deliver key code `key` as a key press: the codes its key map gives some
// key of the default layout.
bool IsInjectableKey(int32_t key);

// What a script does that is allowed but likely a mistake, one line each with the line number
// of the first case: events at frames after the run's last and frames out of order (they are
// run in frame order). Events come as ParseScript returns them.
std::vector<std::string> ScriptWarnings(const std::vector<ScriptEvent>& events, int32_t frames,
                                        const std::string& name);

// The first frame, within the run, at whose start the script holds the quit key down, so that
// the program ends there without drawing it; `line` is the key press's line. Frame 0 when the
// run goes the whole way.
struct ScriptQuit {
    int32_t frame = 0;
    int32_t line = 0;
};
ScriptQuit FindScriptQuit(const std::vector<ScriptEvent>& events, int32_t frames);

extern const char* const kReplayUsage;
