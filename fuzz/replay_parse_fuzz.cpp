// The replay tool's script and command-line parsers on arbitrary bytes. The first byte picks
// the parser: 0 the script, 1 the command line (arguments separated by NUL bytes), 2 ParseInt.
// Whatever the bytes, the result is either a parse whose values are in their documented ranges
// and which reads back the same from its own canonical form, or a UsageError with a one-line
// message.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "tools/replay/options.h"

namespace {

const char* const kScriptName = "fuzz.txt";

// A message goes on one terminal line: no line break and no raw control byte from the input.
void CheckMessage(const UsageError& e, const std::string& input) {
    const std::string m = e.what();
    FUZZ_CHECK(!m.empty(), "empty UsageError message for input '" + Escaped(input) + "'");
    bool plain = true;
    for (const char c : m) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) plain = false;
    }
    FUZZ_CHECK(plain, "UsageError message '" + Escaped(m) +
                          "' holds a line break or control byte; input '" + Escaped(input) + "'");
}

const char* KindName(ScriptKind k) {
    switch (k) {
        case ScriptKind::kMove:
            return "move";
        case ScriptKind::kDown:
            return "down";
        case ScriptKind::kUp:
            return "up";
        case ScriptKind::kKeyDown:
            return "keydown";
        case ScriptKind::kKeyUp:
            return "keyup";
        case ScriptKind::kWheel:
            return "wheel";
        case ScriptKind::kFocus:
            return "focus";
        case ScriptKind::kCommand:
            return "command";
    }
    FuzzFail(__FILE__, __LINE__, "event kind out of the enumeration");
}

// Lines that hold an event: something other than white space before any '#'. Counted here
// without the parser, so that a parse that drops or invents events shows.
size_t EventLines(const std::string& text) {
    size_t n = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::string body = line.substr(0, line.find('#'));
        if (body.find_first_not_of(" \t\n\v\f\r") != std::string::npos) ++n;
    }
    return n;
}

std::string Canonical(const std::vector<ScriptEvent>& events) {
    std::string s;
    for (const ScriptEvent& e : events) {
        s += std::to_string(e.frame);
        if (e.frame == 0 || e.pump != 1) s += "@" + std::to_string(e.pump);
        if (e.kind == ScriptKind::kCommand) {
            s += " " + CommandText(e.command) + "\n";
            continue;
        }
        s += std::string(" ") + KindName(e.kind) + " " + std::to_string(e.a);
        if (e.kind == ScriptKind::kMove) s += " " + std::to_string(e.b);
        s += "\n";
    }
    return s;
}

bool SameEvents(const std::vector<ScriptEvent>& x, const std::vector<ScriptEvent>& y) {
    if (x.size() != y.size()) return false;
    for (size_t i = 0; i < x.size(); ++i) {
        if (x[i].frame != y[i].frame || x[i].pump != y[i].pump || x[i].kind != y[i].kind ||
            x[i].a != y[i].a || x[i].b != y[i].b) {
            return false;
        }
        if (x[i].kind == ScriptKind::kCommand &&
            CommandText(x[i].command) != CommandText(y[i].command)) {
            return false;
        }
    }
    return true;
}

void FuzzScript(const std::string& text) {
    std::vector<ScriptEvent> events;
    try {
        std::istringstream in(text);
        events = ParseScript(in, kScriptName);
    } catch (const UsageError& e) {
        CheckMessage(e, text);
        const std::string m = e.what();
        FUZZ_CHECK(m.rfind(std::string(kScriptName) + ":", 0) == 0,
                   "script message '" + Escaped(m) + "' does not start with the script's name");
        return;
    }
    const std::string where = " for script '" + Escaped(text) + "'";
    FUZZ_CHECK(events.size() == EventLines(text), std::to_string(events.size()) + " events from " +
                                                      std::to_string(EventLines(text)) +
                                                      " event lines" + where);
    for (size_t i = 0; i < events.size(); ++i) {
        const ScriptEvent& e = events[i];
        FUZZ_CHECK(e.frame >= 0 && e.pump >= 1, "frame below 0 or query below 1" + where);
        if (i > 0) {
            const ScriptEvent& p = events[i - 1];
            FUZZ_CHECK(p.frame < e.frame || (p.frame == e.frame && p.pump <= e.pump),
                       "events not sorted by frame and query" + where);
        }
        switch (e.kind) {
            case ScriptKind::kDown:
            case ScriptKind::kUp:
                FUZZ_CHECK(e.a >= 1 && e.a <= 3, "button out of 1..3" + where);
                break;
            case ScriptKind::kKeyDown:
            case ScriptKind::kKeyUp:
                FUZZ_CHECK(e.a >= 1 && e.a <= 255, "key code out of 1..255" + where);
                break;
            case ScriptKind::kFocus:
                FUZZ_CHECK(e.a == 0 || e.a == 1, "focus out of 0..1" + where);
                break;
            case ScriptKind::kCommand:
                FUZZ_CHECK(e.a == 0 && e.pump == 1 && e.frame >= 1, "command with values" + where);
                break;
            case ScriptKind::kMove:
            case ScriptKind::kWheel:
                break;
        }
        if (e.kind != ScriptKind::kMove) FUZZ_CHECK(e.b == 0, "stray second value" + where);
    }
    // The canonical form of the events parses back to the very same events.
    const std::string canon = Canonical(events);
    std::istringstream again(canon);
    std::vector<ScriptEvent> reparsed;
    try {
        reparsed = ParseScript(again, kScriptName);
    } catch (const UsageError& e) {
        FuzzFail(__FILE__, __LINE__,
                 "canonical form '" + Escaped(canon) + "' rejected: " + e.what() + where);
    }
    FUZZ_CHECK(SameEvents(events, reparsed), "canonical form reads back differently" + where);
}

std::vector<std::string> Canonical(const ReplayOptions& o) {
    std::vector<std::string> args{"--frames", std::to_string(o.frames)};
    auto add = [&args](const char* opt, const std::string& v) {
        if (!v.empty()) {
            args.push_back(opt);
            args.push_back(v);
        }
    };
    add("--input", o.inputPath);
    add("--trace", o.tracePath);
    add("--png", o.pngPath);
    if (o.pngEvery != 0) add("--png-every", std::to_string(o.pngEvery));
    add("--png-dir", o.pngDir);
    return args;
}

bool SameOptions(const ReplayOptions& x, const ReplayOptions& y) {
    return x.frames == y.frames && x.inputPath == y.inputPath && x.tracePath == y.tracePath &&
           x.pngPath == y.pngPath && x.pngEvery == y.pngEvery && x.pngDir == y.pngDir &&
           x.help == y.help;
}

void FuzzCommandLine(const std::string& bytes) {
    std::vector<std::string> args;
    if (!bytes.empty()) {
        size_t start = 0;
        for (size_t nul; (nul = bytes.find('\0', start)) != std::string::npos; start = nul + 1) {
            args.push_back(bytes.substr(start, nul - start));
        }
        args.push_back(bytes.substr(start));
    }
    ReplayOptions o;
    try {
        o = ParseCommandLine(args);
    } catch (const UsageError& e) {
        CheckMessage(e, bytes);
        return;
    }
    const std::string where = " for arguments '" + Escaped(bytes) + "'";
    if (o.help) return;
    FUZZ_CHECK(o.frames >= 0, "negative frame count" + where);
    FUZZ_CHECK(o.pngEvery >= 0, "negative picture interval" + where);
    FUZZ_CHECK((o.pngEvery != 0) == !o.pngDir.empty(), "--png-every without --png-dir" + where);
    ReplayOptions again;
    try {
        again = ParseCommandLine(Canonical(o));
    } catch (const UsageError& e) {
        FuzzFail(__FILE__, __LINE__,
                 std::string("canonical arguments rejected: ") + e.what() + where);
    }
    FUZZ_CHECK(SameOptions(o, again), "canonical arguments read back differently" + where);
}

// ParseInt against strtoll: a whole decimal with at most one sign and nothing else, in range.
void FuzzInt(const std::string& text) {
    bool expectOk = !text.empty();
    size_t digitsFrom = 0;
    if (expectOk && (text[0] == '+' || text[0] == '-')) digitsFrom = 1;
    if (digitsFrom == text.size()) expectOk = false;
    for (size_t i = digitsFrom; i < text.size() && expectOk; ++i) {
        if (text[i] < '0' || text[i] > '9') expectOk = false;
    }
    long long expected = 0;
    if (expectOk) {
        errno = 0;
        expected = std::strtoll(text.c_str(), nullptr, 10);
        if (errno == ERANGE || expected < INT32_MIN || expected > INT32_MAX) expectOk = false;
    }
    const std::string where = " for '" + Escaped(text) + "'";
    try {
        const int32_t v = ParseInt(text, "value");
        FUZZ_CHECK(expectOk, "ParseInt accepted" + where);
        if (expectOk) FUZZ_CHECK(v == expected, "ParseInt gave " + std::to_string(v) + where);
    } catch (const UsageError& e) {
        CheckMessage(e, text);
        FUZZ_CHECK(!expectOk, "ParseInt rejected a whole number" + where);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
        case 0:
            FuzzScript(rest);
            break;
        case 1:
            FuzzCommandLine(rest);
            break;
        default:
            FuzzInt(rest);
            break;
    }
    return 0;
}
