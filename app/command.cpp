#include "app/command.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "app/look.h"
#include "app/scene_file.h"

namespace {

constexpr const char* kLayerNames[kDrawLayerCount] = {"particles", "boxes", "pairs", "ids"};

struct KindName {
    CommandKind kind;
    const char* name;
};
constexpr KindName kKindNames[] = {
    {CommandKind::kPanel, "panel"},
    {CommandKind::kPause, "pause"},
    {CommandKind::kStep, "step"},
    {CommandKind::kSteps, "steps"},
    {CommandKind::kRestart, "restart"},
    {CommandKind::kScene, "scene"},
    {CommandKind::kGravity, "gravity"},
    {CommandKind::kIterations, "iterations"},
    {CommandKind::kBounce, "bounce"},
    {CommandKind::kFriction, "friction"},
    {CommandKind::kDivisor, "divisor"},
    {CommandKind::kDraw, "draw"},
    {CommandKind::kCapture, "capture"},
    {CommandKind::kTool, "tool"},
    {CommandKind::kStiffness, "stiffness"},
    {CommandKind::kGrab, "grab"},
    {CommandKind::kDrag, "drag"},
    {CommandKind::kRelease, "release"},
    {CommandKind::kCut, "cut"},
    {CommandKind::kPin, "pin"},
    {CommandKind::kErase, "erase"},
    {CommandKind::kBox, "box"},
    {CommandKind::kBall, "ball"},
    {CommandKind::kRope, "rope"},
    {CommandKind::kStick, "stick"},
    {CommandKind::kHelp, "help"},
    {CommandKind::kMode, "mode"},
    {CommandKind::kLook, "look"},
    {CommandKind::kDamping, "damping"},
};

// How many pixel coordinates a tool command takes (0: it takes none).
size_t ToolPoints(CommandKind kind) {
    switch (kind) {
        case CommandKind::kGrab:
        case CommandKind::kDrag:
        case CommandKind::kPin:
        case CommandKind::kErase:
            return 2;
        case CommandKind::kBall:
            return 3;
        case CommandKind::kCut:
        case CommandKind::kBox:
        case CommandKind::kRope:
        case CommandKind::kStick:
            return 4;
        default:
            return 0;
    }
}

const char* KindName(CommandKind kind) {
    for (const auto& k : kKindNames) {
        if (k.kind == kind) return k.name;
    }
    return "?";
}

bool ParseWhole(const std::string& word, int32_t lo, int32_t hi, int32_t& out) {
    const char* end = word.data() + word.size();
    const auto [ptr, ec] = std::from_chars(word.data(), end, out);
    return !word.empty() && ec == std::errc() && ptr == end && out >= lo && out <= hi;
}

bool ParseReal(const std::string& word, float limit, float& out) {
    if (word.empty()) return false;
    char* end = nullptr;
    out = std::strtof(word.c_str(), &end);
    return end == word.c_str() + word.size() && std::isfinite(out) && out >= -limit && out <= limit;
}

}  // namespace

std::string CommandText(const ControlCommand& c) {
    std::string text = KindName(c.kind);
    if (const size_t n = ToolPoints(c.kind); n > 0) {
        for (size_t i = 0; i < n; ++i) text += " " + std::to_string(c.p[i]);
        return text;
    }
    switch (c.kind) {
        case CommandKind::kStep:
        case CommandKind::kRestart:
        case CommandKind::kRelease:
            break;
        case CommandKind::kTool:
            text += std::string(" ") + ToolName(static_cast<Tool>(c.value));
            break;
        case CommandKind::kMode:
            text += c.value != 0 ? " stable" : " default";
            break;
        case CommandKind::kLook:
            text += std::string(" ") + LookName(static_cast<Look>(c.value));
            break;
        case CommandKind::kScene:
            text += " " + c.text;
            break;
        case CommandKind::kGravity:
            text += " " + SceneFloatText(c.x) + " " + SceneFloatText(c.y);
            break;
        case CommandKind::kBounce:
        case CommandKind::kFriction:
        case CommandKind::kStiffness:
        case CommandKind::kDamping:
            text += " " + SceneFloatText(c.x);
            break;
        case CommandKind::kDraw:
            text += std::string(" ") + kLayerNames[static_cast<int>(c.layer)] + " " +
                    std::to_string(c.value);
            break;
        default:
            text += " " + std::to_string(c.value);
            break;
    }
    return text;
}

bool IsCommandKind(const std::string& word) {
    for (const auto& k : kKindNames) {
        if (word == k.name) return true;
    }
    return false;
}

std::optional<ControlCommand> ParseCommand(const std::vector<std::string>& words,
                                           const std::string& rest, std::string& error) {
    if (words.empty() || !IsCommandKind(words[0])) {
        error = "not a command";
        return std::nullopt;
    }
    ControlCommand c;
    for (const auto& k : kKindNames) {
        if (words[0] == k.name) c.kind = k.kind;
    }
    const size_t args = words.size() - 1;
    auto want = [&](size_t n, const char* what) {
        if (args == n) return true;
        error = "'" + words[0] + "' takes " + what;
        return false;
    };
    auto flag = [&]() {
        if (!want(1, "0 or 1")) return false;
        if (ParseWhole(words[1], 0, 1, c.value)) return true;
        error = "'" + words[0] + "' takes 0 or 1";
        return false;
    };
    auto whole = [&](int32_t lo, int32_t hi) {
        const std::string range = std::to_string(lo) + ".." + std::to_string(hi);
        if (!want(1, ("a whole number in " + range).c_str())) return false;
        if (ParseWhole(words[1], lo, hi, c.value)) return true;
        error = "'" + words[0] + "' takes a whole number in " + range;
        return false;
    };
    auto real = [&](size_t n, float limit) {
        const std::string what = (n == 1 ? "a number in -" : "two numbers in -") +
                                 SceneFloatText(limit) + ".." + SceneFloatText(limit);
        if (!want(n, what.c_str())) return false;
        if (ParseReal(words[1], limit, c.x) && (n == 1 || ParseReal(words[2], limit, c.y))) {
            return true;
        }
        error = "'" + words[0] + "' takes " + what;
        return false;
    };
    bool ok = false;
    switch (c.kind) {
        case CommandKind::kPanel:
        case CommandKind::kPause:
        case CommandKind::kCapture:
        case CommandKind::kHelp:
            ok = flag();
            break;
        case CommandKind::kStep:
        case CommandKind::kRestart:
        case CommandKind::kRelease:
            ok = want(0, "no values");
            break;
        case CommandKind::kTool: {
            Tool tool = Tool::kThrow;
            ok = args == 1 && ToolFromName(words[1], tool);
            c.value = static_cast<int32_t>(tool);
            if (!ok) {
                error = "'tool' takes one of throw, grab, cut, pin, box, ball, rope, stick, erase";
            }
            break;
        }
        case CommandKind::kMode:
            ok = args == 1 && (words[1] == "stable" || words[1] == "default");
            c.value = ok && words[1] == "stable" ? 1 : 0;
            if (!ok) error = "'mode' takes stable or default";
            break;
        case CommandKind::kLook: {
            Look look = Look::kClassic;
            ok = args == 1 && LookFromName(words[1], look);
            c.value = static_cast<int32_t>(look);
            if (!ok) error = "'look' takes classic or clear";
            break;
        }
        case CommandKind::kStiffness:
            ok = args == 1 && ParseReal(words[1], 1.0f, c.x) && c.x >= kMinStickElasticity;
            if (!ok) error = "'stiffness' takes a number in 0.01..1";
            break;
        case CommandKind::kDamping:
            ok = args == 1 && ParseReal(words[1], 1.0f, c.x) && c.x >= 0.0f;
            if (!ok) error = "'damping' takes a number in 0..1";
            break;
        case CommandKind::kSteps:
            ok = whole(1, kMaxStepsPerFrame);
            break;
        case CommandKind::kIterations:
            ok = whole(0, kMaxIterations);
            break;
        case CommandKind::kDivisor:
            ok = whole(1, kMaxThrowDivisor);
            break;
        case CommandKind::kGravity:
            ok = real(2, kMaxGravity);
            break;
        case CommandKind::kBounce:
        case CommandKind::kFriction:
            ok = real(1, kMaxBounceOrFriction);
            break;
        case CommandKind::kScene:
            c.text = rest;
            ok = !c.text.empty();
            if (!ok) error = "'scene' takes a built-in scene's name or a scene file";
            break;
        case CommandKind::kDraw: {
            ok = want(2, "a layer (particles, boxes, pairs, ids) and 0 or 1");
            if (!ok) break;
            ok = false;
            for (int32_t i = 0; i < kDrawLayerCount; ++i) {
                if (words[1] == kLayerNames[i]) {
                    c.layer = static_cast<DrawLayer>(i);
                    ok = true;
                }
            }
            ok = ok && ParseWhole(words[2], 0, 1, c.value);
            if (!ok) error = "'draw' takes a layer (particles, boxes, pairs, ids) and 0 or 1";
            break;
        }
        default: {  // the tools' commands, whose values are pixel coordinates
            const size_t n = ToolPoints(c.kind);
            std::string what = std::to_string(n) + " whole numbers in -" +
                               std::to_string(kMaxToolCoordinate) + ".." +
                               std::to_string(kMaxToolCoordinate);
            if (c.kind == CommandKind::kBall) what += ", the radius not negative";
            ok = args == n;
            for (size_t i = 0; ok && i < n; ++i) {
                ok = ParseWhole(words[i + 1], -kMaxToolCoordinate, kMaxToolCoordinate, c.p[i]);
            }
            if (ok && c.kind == CommandKind::kBall) ok = c.p[2] >= 0;
            if (!ok) error = "'" + words[0] + "' takes " + what;
            break;
        }
    }
    if (!ok) return std::nullopt;
    return c;
}

ControlCommand LookCommand(Look look) {
    ControlCommand c;
    c.kind = CommandKind::kLook;
    c.value = static_cast<int32_t>(look);
    return c;
}

void ApplyToSettings(ControlSettings& s, const ControlCommand& c) {
    switch (c.kind) {
        case CommandKind::kPanel:
            s.panelOpen = c.value != 0;
            if (!s.panelOpen) s.captured = false;
            break;
        case CommandKind::kPause:
            s.paused = c.value != 0;
            break;
        case CommandKind::kSteps:
            s.stepsPerFrame = c.value;
            break;
        case CommandKind::kBounce:
            s.throwing.bounce = c.x;
            break;
        case CommandKind::kFriction:
            s.throwing.friction = c.x;
            break;
        case CommandKind::kDivisor:
            s.throwing.divisor = c.value;
            break;
        case CommandKind::kDraw:
            s.draw[static_cast<size_t>(c.layer)] = c.value != 0;
            break;
        case CommandKind::kCapture:
            s.captured = c.value != 0;
            break;
        case CommandKind::kTool:
            s.tool = static_cast<Tool>(c.value);
            break;
        case CommandKind::kStiffness:
            s.stickElasticity = c.x;
            break;
        case CommandKind::kHelp:
            s.help = c.value != 0;
            break;
        case CommandKind::kLook:
            s.look = static_cast<Look>(c.value);
            break;
        default:
            break;
    }
}
