#include "tools/replay/options.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

const char* const kReplayUsage =
    "usage: sandbox-replay --frames N [--input FILE] [--trace FILE] [--png FILE]\n"
    "                      [--png-every K --png-dir DIR]\n";

int32_t ParseInt(const std::string& text, const std::string& what) {
    int32_t value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;  // from_chars takes '-' but not '+'
    const auto [end, ec] = std::from_chars(first, last, value);
    if (text.empty() || ec == std::errc::invalid_argument || end != last) {
        throw UsageError(what + ": '" + text + "' is not a whole number");
    }
    if (ec == std::errc::result_out_of_range) {
        throw UsageError(what + ": " + text + " is out of range");
    }
    return value;
}

ReplayOptions ParseCommandLine(const std::vector<std::string>& args) {
    ReplayOptions o;
    bool seenFrames = false, seenInput = false, seenTrace = false, seenPng = false,
         seenEvery = false, seenDir = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& opt = args[i];
        if (opt == "--help" || opt == "-h") {
            o.help = true;
            return o;
        }
        auto value = [&](bool& seen) -> const std::string& {
            if (seen) throw UsageError(opt + " given twice");
            seen = true;
            if (i + 1 >= args.size()) throw UsageError(opt + " needs a value");
            return args[++i];
        };
        if (opt == "--frames") {
            o.frames = ParseInt(value(seenFrames), "--frames");
            if (o.frames < 0) throw UsageError("--frames: the count cannot be negative");
        } else if (opt == "--input") {
            o.inputPath = value(seenInput);
        } else if (opt == "--trace") {
            o.tracePath = value(seenTrace);
        } else if (opt == "--png") {
            o.pngPath = value(seenPng);
        } else if (opt == "--png-every") {
            o.pngEvery = ParseInt(value(seenEvery), "--png-every");
            if (o.pngEvery < 1) throw UsageError("--png-every: the interval must be at least 1");
        } else if (opt == "--png-dir") {
            o.pngDir = value(seenDir);
        } else {
            throw UsageError("unknown option '" + opt + "'");
        }
        if ((opt == "--input" || opt == "--trace" || opt == "--png" || opt == "--png-dir") &&
            args[i].empty()) {
            throw UsageError(opt + " needs a file name");
        }
    }
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
    {"move", ScriptKind::kMove, 2},       {"down", ScriptKind::kDown, 1},
    {"up", ScriptKind::kUp, 1},           {"keydown", ScriptKind::kKeyDown, 1},
    {"keyup", ScriptKind::kKeyUp, 1},     {"wheel", ScriptKind::kWheel, 1},
};

ScriptEvent ParseLine(const std::vector<std::string>& words, const std::string& where) {
    ScriptEvent e;
    e.frame = ParseInt(words[0], where + "frame number");
    if (e.frame < 1) throw UsageError(where + "frame number " + words[0] + " is below 1");
    if (words.size() < 2) throw UsageError(where + "an event kind must follow the frame number");
    const std::string& kind = words[1];
    const KindInfo* info = nullptr;
    for (const KindInfo& k : kKinds) {
        if (kind == k.name) info = &k;
    }
    if (info == nullptr) throw UsageError(where + "unknown event kind '" + kind + "'");
    if (static_cast<int>(words.size()) - 2 != info->args) {
        throw UsageError(where + "'" + kind + "' takes " + std::to_string(info->args) +
                         (info->args == 1 ? " value" : " values"));
    }
    e.kind = info->kind;
    switch (e.kind) {
        case ScriptKind::kMove:
            e.a = ParseInt(words[2], where + "x");
            e.b = ParseInt(words[3], where + "y");
            break;
        case ScriptKind::kDown:
        case ScriptKind::kUp:
            e.a = ParseInt(words[2], where + "button");
            if (e.a < 1 || e.a > 3) {
                throw UsageError(where + "button " + words[2] + " is not 1 (left), 2 (right) or 3 (middle)");
            }
            break;
        case ScriptKind::kKeyDown:
        case ScriptKind::kKeyUp:
            e.a = ParseInt(words[2], where + "key code");
            if (e.a < 1 || e.a > 255) throw UsageError(where + "key code " + words[2] + " is not in 1..255");
            break;
        case ScriptKind::kWheel:
            e.a = ParseInt(words[2], where + "wheel notches");
            break;
    }
    return e;
}

}  // namespace

std::vector<ScriptEvent> ParseScript(std::istream& in, const std::string& name) {
    std::vector<ScriptEvent> events;
    std::string line;
    for (int lineNo = 1; std::getline(in, line); ++lineNo) {
        if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string s; words >> s;) w.push_back(s);
        if (w.empty()) continue;
        events.push_back(ParseLine(w, name + ":" + std::to_string(lineNo) + ": "));
    }
    if (in.bad()) throw UsageError(name + ": read error");
    std::stable_sort(events.begin(), events.end(),
                     [](const ScriptEvent& x, const ScriptEvent& y) { return x.frame < y.frame; });
    return events;
}

std::vector<ScriptEvent> LoadScript(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw UsageError("cannot read input script '" + path + "'");
    return ParseScript(in, path);
}
