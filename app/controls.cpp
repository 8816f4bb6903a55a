#include "app/controls.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "app/canvas_text.h"
#include "app/panel.h"
#include "app/program.h"
#include "host/graphics.h"
#include "host/input.h"
#include "physics/body.h"
#include "physics/collision.h"
#include "physics/constraint.h"
#include "physics/verlet.h"

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

int64_t SteadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
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

// The same test as the collision pass's: strictly inside the other's extent on an axis.
bool StrictlyBetween(float v, float lo, float hi) { return v > lo && v < hi; }
bool AxesOverlap(float aMin, float aMax, float bMin, float bMax) {
    return StrictlyBetween(aMax, bMin, bMax) || StrictlyBetween(aMin, bMin, bMax) ||
           StrictlyBetween(bMax, aMin, aMax);
}

// Seven-segment digits for body IDs: bits a (top) .. g (middle), clockwise from the top.
constexpr uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
constexpr float kDigitW = 6.0f, kDigitH = 10.0f, kDigitGap = 3.0f;

void DrawDigit(int32_t digit, float x, float y) {
    const uint8_t s = kSegments[digit];
    const float w = kDigitW, h = kDigitH, m = kDigitH / 2.0f;
    if (s & 0x01) DrawLineSegment(x, y, x + w, y, 1);
    if (s & 0x02) DrawLineSegment(x + w, y, x + w, y + m, 1);
    if (s & 0x04) DrawLineSegment(x + w, y + m, x + w, y + h, 1);
    if (s & 0x08) DrawLineSegment(x, y + h, x + w, y + h, 1);
    if (s & 0x10) DrawLineSegment(x, y + m, x, y + h, 1);
    if (s & 0x20) DrawLineSegment(x, y, x, y + m, 1);
    if (s & 0x40) DrawLineSegment(x, y + m, x + w, y + m, 1);
}

void DrawNumber(int32_t n, float x, float y) {
    const std::string text = std::to_string(n);
    for (char c : text) {
        if (c == '-') {
            DrawLineSegment(x, y + kDigitH / 2.0f, x + kDigitW, y + kDigitH / 2.0f, 1);
        } else {
            DrawDigit(c - '0', x, y);
        }
        x += kDigitW + kDigitGap;
    }
}

float Ms(int64_t ns) { return static_cast<float>(static_cast<double>(ns) / 1e6); }

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
        case CommandKind::kScene:
            text += " " + c.text;
            break;
        case CommandKind::kGravity:
            text += " " + SceneFloatText(c.x) + " " + SceneFloatText(c.y);
            break;
        case CommandKind::kBounce:
        case CommandKind::kFriction:
        case CommandKind::kStiffness:
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
        case CommandKind::kStiffness:
            ok = args == 1 && ParseReal(words[1], 1.0f, c.x) && c.x >= kMinStickElasticity;
            if (!ok) error = "'stiffness' takes a number in 0.01..1";
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

namespace {

// The part of a command that lives in the settings (the rest acts on the world).
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
        default:
            break;
    }
}

}  // namespace

Controls::Controls(const SceneData* startScene)
    : startScene_(startScene),
      currentScene_(startScene),
      sceneName_(startScene != nullptr ? "the --scene scene" : "pyramid"),
      now_(&SteadyNow) {}

void Controls::Request(const ControlCommand& command) {
    if (!liveInput_) return;
    // Of a held particle's moves in one frame only the last counts: one is enough in the script.
    if (command.kind == CommandKind::kDrag && !pending_.empty() &&
        pending_.back().kind == CommandKind::kDrag) {
        pending_.back() = command;
        return;
    }
    pending_.push_back(command);
    ApplyToSettings(requested_, command);
}

void Controls::SetStartSceneName(const std::string& name) { sceneName_ = name; }

void Controls::Apply(const ControlCommand& c, DemoState& state) {
    ApplyToSettings(settings_, c);
    switch (c.kind) {
        case CommandKind::kStep:
            stepOnce_ = true;
            break;
        case CommandKind::kRestart:
            Restart(state);
            break;
        case CommandKind::kScene: {
            std::string error;
            std::shared_ptr<const SceneData> scene = resolver_ ? resolver_(c.text, error) : nullptr;
            if (!scene) {
                sceneError_ = resolver_ ? error : "no scenes can be loaded here";
                return;  // nothing changed: not applied
            }
            sceneError_.clear();
            loadedScene_ = std::move(scene);
            currentScene_ = loadedScene_.get();
            sceneName_ = c.text;
            Restart(state);
            break;
        }
        case CommandKind::kGravity:
            state.world->gravity->set(c.x, c.y);
            break;
        case CommandKind::kIterations:
            state.world->CONSTRAINT_ITERATIONS = c.value;
            break;
        case CommandKind::kCapture:
            if (c.value != 0) state.held = false;  // a press on the panel throws nothing
            break;
        case CommandKind::kHelp:
            break;
        case CommandKind::kTool:
            // A throw begun with the left button ends unthrown when another tool takes it over.
            if (static_cast<Tool>(c.value) != Tool::kThrow) state.held = false;
            break;
        default:
            tools_.Apply(c, *state.world, settings_.stickElasticity);
            break;
    }
    if (applied_) applied_(c);
}

bool Controls::TextInput() const {
    return panel_ != nullptr && requested_.panelOpen && panel_->WantsText();
}

void Controls::Restart(DemoState& state) {
    tools_.Forget();
    const Ref<PhysicsWorld> old = state.world;
    BuildDemoWorld(state, currentScene_);
    // The old world goes, with everything in it: restarts do not pile up worlds.
    if (WorldList) WorldList->Remove(old.get());
}

void Controls::RunFrame(DemoState& state) {
    applying_.swap(pending_);
    for (const ControlCommand& c : applying_) Apply(c, state);
    applying_.clear();
    requested_ = settings_;

    const int32_t startMs = ElapsedMs();
    if (haveFrameStart_) {
        const int32_t dt = WrapSub(startMs, lastFrameStartMs_);
        const float fps = dt > 0 ? 1000.0f / static_cast<float>(dt) : 0.0f;
        // Smoothed over about half a second, so that the number can be read.
        stats_.framesPerSecond =
            stats_.framesPerSecond == 0.0f ? fps : stats_.framesPerSecond * 0.97f + fps * 0.03f;
    }
    lastFrameStartMs_ = startMs;
    haveFrameStart_ = true;

    const int64_t frameStart = now_();
    ClearFrame();
    StepTimes times;
    times.now = now_;
    const bool run = !settings_.paused || stepOnce_;
    stepOnce_ = false;
    if (run) {
        tools_.BeforeSteps(settings_.stepsPerFrame);
        for (int32_t i = 0; i < settings_.stepsPerFrame; ++i) SimulationStep(*state.world, &times);
    } else {
        DrawStillWorld(*state.world);
    }
    // The pairs of the last step's collision pass, before a throw adds a body it never saw.
    const bool counting = settings_.panelOpen || settings_.draw[size_t(DrawLayer::kPairs)];
    if (counting) FindTestedPairs(*state.world, pairs_);
    // The left button throws only with the Throw tool.
    if (settings_.captured || settings_.tool != Tool::kThrow) {
        MouseStepCaptured(state.held);
    } else {
        MouseStep(*state.templateBox, state.held, settings_.throwing);
    }
    DrawLayers(state);
    DrawCursorCross();
    if (gestures_ != nullptr) gestures_->Draw(settings_);
    DrawNotices();
    if (settings_.panelOpen) CountScene(state);
    if (panel_ != nullptr && settings_.panelOpen) panel_->Draw(state);
    // The phases per step, so that the numbers keep their meaning when steps per frame change.
    const int64_t steps = run ? settings_.stepsPerFrame : 1;
    RecordFrame(now_() - frameStart, times.update / steps, times.bodies / steps,
                times.collide / steps);
    PresentFrame(-1);
}

void Controls::DrawStillWorld(PhysicsWorld& world) {
    // What the constraint pass would draw, once: the world does not move while paused.
    const LineSink sink = world.lineSink;
    if (sink.draw == nullptr) return;
    for (constraint* c : world.ConstraintList->fast<constraint>()) {
        sink.draw(sink.context, c->v1->pos->x, c->v1->pos->y, c->v2->pos->x, c->v2->pos->y);
    }
}

void Controls::DrawLayers(const DemoState& state) {
    const auto& draw = settings_.draw;
    const bool any = draw[0] || draw[1] || draw[2] || draw[3];
    if (!any) return;
    const PhysicsWorld& world = *state.world;
    if (draw[size_t(DrawLayer::kBoxes)]) {
        SetColor(0, 170, 0);
        for (PhysicsBody* b : world.PhysicsBodies->fast<PhysicsBody>()) {
            const float x0 = b->minxy->x, y0 = b->minxy->y, x1 = b->maxxy->x, y1 = b->maxxy->y;
            DrawLineSegment(x0, y0, x1, y0, 0);
            DrawLineSegment(x1, y0, x1, y1, 0);
            DrawLineSegment(x1, y1, x0, y1, 0);
            DrawLineSegment(x0, y1, x0, y0, 1);
        }
    }
    if (draw[size_t(DrawLayer::kPairs)]) {
        SetColor(255, 70, 70);
        for (const BodyPair& p : pairs_) {
            DrawLineSegment(p.a->Pos->x, p.a->Pos->y, p.b->Pos->x, p.b->Pos->y, 1);
        }
    }
    if (draw[size_t(DrawLayer::kParticles)]) {
        SetColor(255, 210, 0);
        for (Verlet* v : world.VerletList->fast<Verlet>()) {
            const float x = v->pos->x, y = v->pos->y;
            DrawLineSegment(x - 2.0f, y, x + 2.0f, y, 1);
            DrawLineSegment(x, y - 2.0f, x, y + 2.0f, 1);
        }
    }
    if (draw[size_t(DrawLayer::kIds)] && havePointer_) {
        // The last body in list order whose box holds the pointer: drawn last, so on top.
        const PhysicsBody* under = nullptr;
        const auto px = static_cast<float>(pointerX_), py = static_cast<float>(pointerY_);
        for (PhysicsBody* b : world.PhysicsBodies->fast<PhysicsBody>()) {
            if (px >= b->minxy->x && px <= b->maxxy->x && py >= b->minxy->y && py <= b->maxxy->y) {
                under = b;
            }
        }
        if (under != nullptr) {
            SetColor(0, 220, 255);
            DrawNumber(under->ID, px + 10.0f, py - 16.0f);
        }
    }
    SetColor(255, 255, 255);
}

void Controls::Notify(const std::string& text) {
    notice_ = text;
    noticeFrames_ = 3 * kWindowHertz;
}

void Controls::DrawNotices() {
    static constexpr const char* kHelp[] = {
        "LEFT DRAG: THROW, OR THE TOOL",
        "RIGHT DRAG: GRAB   MIDDLE DRAG: CUT",
        "1 THROW  2 GRAB  3 CUT  4 PIN",
        "5 BOX/BALL  6 ROPE/STICK  7 ERASE",
        "F1 PANEL  P PAUSE  N STEP  R RESTART",
        "F5 SAVE  SPACE TIMINGS  ESC QUIT",
        "H HIDES THIS",
    };
    const bool paused = settings_.paused;
    if (!paused && noticeFrames_ == 0 && !settings_.help) return;
    SetColor(255, 200, 60);
    const float line = CanvasTextHeight() + 8.0f;
    float y = 12.0f;
    if (paused) {
        DrawCanvasText("PAUSED", (kWindowWidth - CanvasTextWidth("PAUSED")) / 2.0f, y);
        y += line;
    }
    if (noticeFrames_ > 0) {
        DrawCanvasText(notice_, (kWindowWidth - CanvasTextWidth(notice_)) / 2.0f, y);
        --noticeFrames_;
    }
    if (settings_.help) {
        float hy = 12.0f + 2.0f * line;  // below PAUSED and the notice
        for (const char* text : kHelp) {
            DrawCanvasText(text, kWindowWidth - 12.0f - CanvasTextWidth(text), hy);
            hy += line;
        }
    }
    SetColor(255, 255, 255);
}

void Controls::CountScene(const DemoState& state) {
    const PhysicsWorld& world = *state.world;
    int32_t bodies = 0;
    for ([[maybe_unused]] PhysicsBody* b : world.PhysicsBodies->fast<PhysicsBody>()) ++bodies;
    stats_.bodies = bodies;
    stats_.particles = world.VerletArray->last;
    stats_.constraints = world.ConstraintArray->last;
    stats_.pairsTested = static_cast<int32_t>(pairs_.size());
}

void Controls::RecordFrame(int64_t frameNs, int64_t updateNs, int64_t bodiesNs, int64_t collideNs) {
    const auto i = static_cast<size_t>(stats_.next);
    stats_.frameMs[i] = Ms(frameNs);
    stats_.updateMs[i] = Ms(updateNs);
    stats_.bodiesMs[i] = Ms(bodiesNs);
    stats_.collideMs[i] = Ms(collideNs);
    stats_.next = (stats_.next + 1) % kStatsHistory;
    if (stats_.count < kStatsHistory) ++stats_.count;
}

void FindTestedPairs(const PhysicsWorld& world, std::vector<BodyPair>& pairs) {
    pairs.clear();
    int32_t i = 0;
    for (PhysicsBody* a : world.PhysicsBodies->fast<PhysicsBody>()) {
        ++i;
        int32_t j = 0;
        for (PhysicsBody* b : world.PhysicsBodies->fast<PhysicsBody>()) {
            if (++j <= i) continue;
            if (AxesOverlap(a->minxy->x, a->maxxy->x, b->minxy->x, b->maxxy->x) &&
                AxesOverlap(a->minxy->y, a->maxxy->y, b->minxy->y, b->maxxy->y)) {
                pairs.push_back({a, b});
            }
        }
    }
}
