#include "tools/replay/options.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/command_line.h"
#include "app/message.h"
#include "app/program.h"
#include "host/backend.h"

const char* const kReplayUsage =
    "usage: sandbox-replay --frames N [--scene FILE|NAME] [--input FILE] [--trace FILE]\n"
    "                      [--png FILE] [--png-every K --png-dir DIR] [--save FILE]\n"
    "                      [--look classic|clear]\n"
    "\n"
    "Runs the sandbox headless for N frames, then holds Escape so that it ends its own way.\n"
    "Each option's value follows it, or follows '=' ('--frames=100').\n"
    "  --frames N      frames to run (0 or more)\n"
    "  --scene FILE|NAME\n"
    "                  start from a scene file, or a built-in scene (bridge, chain, cloth,\n"
    "                  crowd, pyramid, softbodies, stacks, tower); without it, the pyramid\n"
    "  --input FILE    script of input events, lines 'F kind args' (F: frame, from 1):\n"
    "                    move X Y           X, Y in -1000000..1000000 (client pixels)\n"
    "                    down B | up B      B: 1 left, 2 right, 3 middle\n"
    "                    keydown K | keyup K  K: a virtual-key code some key has\n"
    "                                       (8 Backspace, 13 Return, 27 Escape, 32 Space,\n"
    "                                       48-57 digits, 65-90 letters, 112-135 F1-F24 ...)\n"
    "                    wheel N            notches\n"
    "                    focus 0|1          the window loses or gains the focus\n"
    "                  or a control command applied at frame F's start (panel 0|1,\n"
    "                  pause 0|1, step, steps N, restart, scene NAME|FILE, gravity X Y,\n"
    "                  iterations N, bounce V, friction V, divisor N,\n"
    "                  draw particles|boxes|pairs|ids 0|1, capture 0|1, look classic|clear,\n"
    "                  tool NAME, and the tools' commands).\n"
    "                  'F@K kind args' delivers an event before frame F's K-th input\n"
    "                  query (0@K: before the first frame), as sandbox --record writes.\n"
    "                  '#' starts a comment. At most 60000 events in one frame.\n"
    "                  Events after frame N, and frames out of order (they run in frame\n"
    "                  order), are accepted with a warning on standard error.\n"
    "  --trace FILE    one line 'F I X Y' per particle and frame\n"
    "  --png FILE      the last frame drawn; when the script ends the run early by holding\n"
    "                  Escape, the last frame drawn before it (a note says so)\n"
    "  --save FILE     the scene after the last frame, to load again with --scene\n"
    "  --look classic|clear\n"
    "                  how the world is drawn (classic, the default; or clear), as if the\n"
    "                  script began with '1 look NAME'\n"
    "  --png-every K --png-dir DIR\n"
    "                  every K-th frame as DIR/frame-000123.png; DIR is made when the run\n"
    "                  starts\n"
    "\n"
    "Everything is checked before the window opens; a bad option, script, scene or output is\n"
    "reported with exit status 2. Outputs must be distinct from each other and from the\n"
    "input, and must be new or regular files (never a directory, symbolic link or device).\n"
    "Outputs are written under a temporary name and renamed when whole; an interrupted or\n"
    "failed run leaves none behind. Exit status: 0 done, 1 the run failed, 2 usage.\n";

ReplayOptions ParseCommandLine(const std::vector<std::string>& args) {
    ReplayOptions o;
    bool seenFrames = false, seenEvery = false, seenDir = false;
    const auto file = [](const char* name, std::string& target) {
        return OptionSpec{name, "a file name", [&target](const std::string& v) { target = v; }};
    };
    const auto number = [](const char* name, int32_t& target, bool& seen, int32_t least,
                           const char* below) {
        return OptionSpec{name, "a value",
                          [=, &target, &seen](const std::string& v) {
                              seen = true;
                              target = ParseInt(v, name);
                              if (target < least) throw UsageError(std::string(name) + below);
                          },
                          false};
    };
    o.help = ReadOptions(
        args, {number("--frames", o.frames, seenFrames, 0, ": the count cannot be negative"),
               file("--input", o.inputPath),
               file("--trace", o.tracePath),
               file("--png", o.pngPath),
               number("--png-every", o.pngEvery, seenEvery, 1, ": the interval must be at least 1"),
               {"--png-dir", "a file name",
                [&](const std::string& v) {
                    seenDir = true;
                    o.pngDir = v;
                }},
               file("--scene", o.scene),
               file("--save", o.savePath),
               LookOption(o.look)});
    if (o.help) return o;
    if (!seenFrames) throw UsageError("--frames N is required");
    if (seenEvery != seenDir) throw UsageError("--png-every and --png-dir go together");
    return o;
}

namespace {

struct KindInfo {
    const char* name;
    ScriptKind kind;
    int args;
};

constexpr KindInfo kKinds[] = {
    {"move", ScriptKind::kMove, 2},   {"down", ScriptKind::kDown, 1},
    {"up", ScriptKind::kUp, 1},       {"keydown", ScriptKind::kKeyDown, 1},
    {"keyup", ScriptKind::kKeyUp, 1}, {"wheel", ScriptKind::kWheel, 1},
    {"focus", ScriptKind::kFocus, 1},
};

int32_t ParseCoordinate(const std::string& word, const std::string& what) {
    const int32_t v = ParseInt(word, what);
    if (v < -kCursorLimit || v > kCursorLimit) {
        throw UsageError(what + " " + Shown(word) + " is outside -" + std::to_string(kCursorLimit) +
                         ".." + std::to_string(kCursorLimit));
    }
    return v;
}

// A frame number within 0..kMaxScriptFrame.
int32_t ParseFrame(const std::string& word, const std::string& where) {
    const int32_t frame = ParseInt(word, where + "frame number");
    if (frame > kMaxScriptFrame) {
        throw UsageError(where + "frame number " + Shown(word) + " is above " +
                         std::to_string(kMaxScriptFrame));
    }
    return frame;
}

ScriptEvent ParseLine(const std::vector<std::string>& words, const std::string& rest,
                      const std::string& where) {
    ScriptEvent e;
    const size_t at = words[0].find('@');
    const bool withPump = at != std::string::npos;
    if (withPump) {
        // F@K: the K-th input query of frame F; frame 0 is the start-up, before the first frame.
        const std::string frame = words[0].substr(0, at);
        e.frame = ParseFrame(frame, where);
        if (e.frame < 0) throw UsageError(where + "frame number " + Shown(frame) + " is below 0");
        e.pump = ParseInt(words[0].substr(at + 1), where + "query number");
        if (e.pump < 1) {
            throw UsageError(where + "query number " + Shown(words[0].substr(at + 1)) +
                             " is below 1");
        }
    } else {
        e.frame = ParseFrame(words[0], where);
        if (e.frame < 1) {
            throw UsageError(where + "frame number " + Shown(words[0]) + " is below 1");
        }
    }
    if (words.size() < 2) throw UsageError(where + "an event kind must follow the frame number");
    const std::string& kind = words[1];
    if (IsCommandKind(kind)) {
        if (withPump) {
            throw UsageError(where + "'" + kind +
                             "' is a command, applied at the frame's start: it takes no @query");
        }
        std::string error;
        const std::vector<std::string> args(words.begin() + 1, words.end());
        std::optional<ControlCommand> c = ParseCommand(args, rest, error);
        if (!c) throw UsageError(where + error);
        e.kind = ScriptKind::kCommand;
        e.command = std::move(*c);
        return e;
    }
    const KindInfo* info = nullptr;
    for (const KindInfo& k : kKinds) {
        if (kind == k.name) info = &k;
    }
    if (info == nullptr) throw UsageError(where + "unknown event kind '" + Shown(kind) + "'");
    if (static_cast<int>(words.size()) - 2 != info->args) {
        throw UsageError(where + "'" + kind + "' takes " + std::to_string(info->args) +
                         (info->args == 1 ? " value" : " values"));
    }
    e.kind = info->kind;
    switch (e.kind) {
        case ScriptKind::kMove:
            e.a = ParseCoordinate(words[2], where + "x");
            e.b = ParseCoordinate(words[3], where + "y");
            break;
        case ScriptKind::kDown:
        case ScriptKind::kUp:
            e.a = ParseInt(words[2], where + "button");
            if (e.a < 1 || e.a > 3) {
                throw UsageError(where + "button " + Shown(words[2]) +
                                 " is not 1 (left), 2 (right) or 3 (middle)");
            }
            break;
        case ScriptKind::kKeyDown:
        case ScriptKind::kKeyUp:
            e.a = ParseInt(words[2], where + "key code");
            if (!IsInjectableKey(e.a)) {
                throw UsageError(where + "key code " + Shown(words[2]) +
                                 " is not one any key has (see --help)");
            }
            break;
        case ScriptKind::kWheel:
            e.a = ParseInt(words[2], where + "wheel notches");
            break;
        case ScriptKind::kFocus:
            e.a = ParseInt(words[2], where + "focus");
            if (e.a != 0 && e.a != 1) {
                throw UsageError(where + "focus " + Shown(words[2]) + " is not 0 (lost) or 1");
            }
            break;
        case ScriptKind::kCommand:
            break;
    }
    return e;
}

std::string Where(const std::string& name, int32_t line) {
    return Shown(name) + ":" + std::to_string(line) + ": ";
}

bool ByFrame(const ScriptEvent& x, const ScriptEvent& y) {
    return x.frame != y.frame ? x.frame < y.frame : x.pump < y.pump;
}

// The frame whose quit test first sees the event: its own when its frame's first query takes
// it in, else the next frame's.
int32_t TestFrame(const ScriptEvent& e) {
    return e.pump <= 1 && e.frame >= 1 ? e.frame : e.frame + 1;
}

// std::getline, counting the script's bytes against its limit as they are read.
bool ReadScriptLine(std::istream& in, std::string& line, size_t& total, const std::string& name) {
    line.clear();
    std::streambuf& buf = *in.rdbuf();
    for (int c = buf.sbumpc(); c != std::char_traits<char>::eof(); c = buf.sbumpc()) {
        if (++total > kMaxScriptBytes) {
            throw UsageError(Shown(name) + ": the script is larger than the limit of " +
                             std::to_string(kMaxScriptBytes) + " bytes");
        }
        if (c == '\n') return true;
        line.push_back(static_cast<char>(c));
    }
    return !line.empty();
}

}  // namespace

bool IsInjectableKey(int32_t key) { return IsKeyCodeOfSomeKey(key); }

std::vector<ScriptEvent> ParseScript(std::istream& in, const std::string& name) {
    std::vector<ScriptEvent> events;
    std::string line;
    size_t total = 0;
    for (int32_t lineNo = 1; ReadScriptLine(in, line, total, name); ++lineNo) {
        if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string s; words >> s;) w.push_back(s);
        if (w.empty()) continue;
        // What follows the kind, for a scene's name that may hold spaces.
        std::string rest;
        if (w.size() >= 2) {
            std::istringstream again(line);
            std::string skip;
            again >> skip >> skip;
            std::getline(again, rest);
            const char* const space = " \t\n\v\f\r";
            const size_t first = rest.find_first_not_of(space);
            const size_t last = rest.find_last_not_of(space);
            rest = first == std::string::npos ? "" : rest.substr(first, last - first + 1);
        }
        events.push_back(ParseLine(w, rest, Where(name, lineNo)));
        events.back().line = lineNo;
    }
    if (in.bad()) throw UsageError(Shown(name) + ": read error");
    std::stable_sort(events.begin(), events.end(), ByFrame);
    // Every event of a frame is queued before the frame's first input query.
    for (size_t first = 0, i = 0; i < events.size(); ++i) {
        if (events[i].frame != events[first].frame) first = i;
        if (i - first + 1 > static_cast<size_t>(kMaxEventsPerFrame)) {
            throw UsageError(Where(name, events[i].line) + "frame " +
                             std::to_string(events[i].frame) + " has more than " +
                             std::to_string(kMaxEventsPerFrame) +
                             " events, more than one frame can take");
        }
    }
    return events;
}

std::vector<ScriptEvent> LoadScript(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        throw UsageError("the input script '" + Shown(path) + "' is a directory");
    }
    std::ifstream in(path);
    if (!in) throw UsageError("cannot read input script '" + Shown(path) + "'");
    return ParseScript(in, path);
}

std::vector<std::string> ScriptWarnings(const std::vector<ScriptEvent>& events, int32_t frames,
                                        const std::string& name) {
    std::vector<std::string> warnings;
    // Events are in frame order, so those past the run's end are a tail; the first of them in
    // the file is named.
    const auto late = std::upper_bound(events.begin(), events.end(), frames,
                                       [](int32_t f, const ScriptEvent& e) { return f < e.frame; });
    if (late != events.end()) {
        const auto first = std::min_element(
            late, events.end(), [](const auto& x, const auto& y) { return x.line < y.line; });
        warnings.push_back(Where(name, first->line) + "frame " + std::to_string(first->frame) +
                           " is after the last frame, " + std::to_string(frames) + ": " +
                           std::to_string(events.end() - late) +
                           (events.end() - late == 1 ? " event" : " events") + " not delivered");
    }
    // A line whose frame is below that of a line before it runs earlier than it is written.
    std::vector<ScriptEvent> inFile(events);
    std::sort(inFile.begin(), inFile.end(),
              [](const ScriptEvent& x, const ScriptEvent& y) { return x.line < y.line; });
    int32_t latest = 0, count = 0;
    const ScriptEvent* firstEarly = nullptr;
    int32_t firstEarlyAfter = 0;
    for (const ScriptEvent& e : inFile) {
        if (e.frame < latest) {
            if (firstEarly == nullptr) {
                firstEarly = &e;
                firstEarlyAfter = latest;
            }
            ++count;
        }
        latest = std::max(latest, e.frame);
    }
    if (firstEarly != nullptr) {
        warnings.push_back(Where(name, firstEarly->line) + "frame " +
                           std::to_string(firstEarly->frame) + " comes after frame " +
                           std::to_string(firstEarlyAfter) + " in the file; " +
                           std::to_string(count) + (count == 1 ? " line runs" : " lines run") +
                           " in frame order, not file order");
    }
    if (const ScriptQuit quit = FindScriptQuit(events, frames); quit.frame > 0) {
        warnings.push_back(Where(name, quit.line) + "Escape is held from frame " +
                           std::to_string(quit.frame) + ": the run ends after frame " +
                           std::to_string(quit.frame - 1) + " of " + std::to_string(frames));
    }
    return warnings;
}

ScriptQuit FindScriptQuit(const std::vector<ScriptEvent>& events, int32_t frames) {
    // The quit test reads the key's state after all of a frame's events have been taken in: a
    // press and a release in one frame leave it up.
    // An event taken in after a frame's quit test counts at the next frame's.
    bool down = false;
    int32_t pressLine = 0;
    for (size_t i = 0; i < events.size() && TestFrame(events[i]) <= frames; ++i) {
        const ScriptEvent& e = events[i];
        if ((e.kind == ScriptKind::kKeyDown || e.kind == ScriptKind::kKeyUp) && e.a == kQuitKey) {
            down = e.kind == ScriptKind::kKeyDown;
            if (down) pressLine = e.line;
        }
        const bool testEnds = i + 1 == events.size() || TestFrame(events[i + 1]) != TestFrame(e);
        if (testEnds && down) return {TestFrame(e), pressLine};
    }
    return {};
}
