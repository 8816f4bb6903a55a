#include "app/controls.h"

#include <chrono>
#include <string>

#include "app/canvas_text.h"
#include "app/debug_view.h"
#include "app/look.h"
#include "app/panel.h"
#include "host/clock.h"
#include "host/graphics.h"
#include "physics/body.h"
#include "physics/constraint.h"
#include "physics/debug_draw.h"
#include "physics/verlet.h"

namespace {

int64_t SteadyNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Each world registers its passes in the program-wide FunctionPtrList, which a lookup walks from
// the front: an entry behind an earlier one for the same function can never be found again.
// Dropping those keeps a restart's new world from growing the list, and changes no lookup.
void ForgetShadowedFunctionPtrs() {
    if (!FunctionPtrList) return;
    for (FunctionPtr* fp : FunctionPtrList->each<FunctionPtr>()) {
        if (GetFunctionPtr(fp->func).get() != fp) FunctionPtrList->Remove(fp);
    }
}

constexpr float kIdScale = 10.0f / 6.0f;  // a body's ID is 10 pixels tall

}  // namespace

Controls::Controls(const SceneData* startScene)
    : currentScene_(startScene),
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

void Controls::ResumeGrab(const Ref<Verlet>& particle, const Ref<Verlet>& anchor,
                          const Ref<constraint>& spring, float x, float y) {
    tools_.Resume(particle, anchor, spring, x, y);
    if (!tools_.Held().Holding()) return;
    ControlCommand release;
    release.kind = CommandKind::kRelease;
    Request(release);
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
        case CommandKind::kMode:
            state.world->stepMode = c.value != 0 ? StepMode::kStable : StepMode::kDefault;
            break;
        case CommandKind::kDamping:
            state.world->contactDamping = c.x;
            break;
        case CommandKind::kCapture:
            if (c.value != 0) state.held = false;  // a press on the panel throws nothing
            break;
        case CommandKind::kHelp:
            break;
        case CommandKind::kLook:
            UseLook(state);
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
    if (settings_.look != Look::kClassic) UseLook(state);
    // The old world goes, with everything in it: restarts do not pile up worlds.
    if (WorldList) WorldList->Remove(old.get());
    ForgetShadowedFunctionPtrs();
}

FramePlan Controls::BeginFrame(DemoState& state) {
    applying_.swap(pending_);
    for (const ControlCommand& c : applying_) Apply(c, state);
    applying_.clear();
    requested_ = settings_;

    stats_.FrameStarted(ElapsedMs());
    frameStart_ = now_();
    times_ = StepTimes{};
    times_.now = now_;
    steps_ = !settings_.paused || stepOnce_ ? settings_.stepsPerFrame : 0;
    stepOnce_ = false;
    if (steps_ > 0) tools_.BeforeSteps(steps_);

    FramePlan plan;
    plan.steps = steps_;
    plan.throwing = settings_.throwing;
    // The left button throws only with the Throw tool.
    plan.captured = settings_.captured || settings_.tool != Tool::kThrow;
    plan.times = &times_;
    return plan;
}

void Controls::AfterSteps(DemoState& state) {
    if (settings_.look == Look::kClear) {
        DrawClearWorld(*state.world, tools_.Held());
    } else if (steps_ == 0) {
        DrawStillWorld(*state.world);
    }
}

void Controls::UseLook(DemoState& state) {
    // Only the classic look draws in the steps; the others draw once a frame, after them.
    state.world->lineSink = settings_.look == Look::kClassic ? StepLineSink() : LineSink{};
    UseLookBackground(settings_.look);
}

void Controls::EndFrame(DemoState& state) {
    if (gestures_ != nullptr) gestures_->Draw(settings_, *state.world);
    DrawNotices();
    if (settings_.panelOpen) {
        stats_.CountScene(*state.world, TestedPairCount(*state.world));
        if (panel_ != nullptr) panel_->Draw(state);
    }
    stats_.FrameEnded(now_() - frameStart_, times_, steps_);
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
    if (paused) DrawCanvasText("PAUSED", (kWindowWidth - CanvasTextWidth("PAUSED")) / 2.0f, 12.0f);
    if (noticeFrames_ > 0) {
        DrawCanvasText(notice_, (kWindowWidth - CanvasTextWidth(notice_)) / 2.0f, 12.0f + line);
        --noticeFrames_;
    }
    if (settings_.help) {
        float y = 12.0f + 2.0f * line;  // below PAUSED and the notice
        for (const char* text : kHelp) {
            DrawCanvasText(text, kWindowWidth - 12.0f - CanvasTextWidth(text), y);
            y += line;
        }
    }
    SetColor(255, 255, 255);
}

void Controls::DrawStillWorld(PhysicsWorld& world) {
    // What the constraint pass would draw, once: the world does not move while paused.
    if (world.lineSink.draw == nullptr) return;
    HostDebugDraw host;
    DrawWorld(world, host, DebugLayer::kConstraints);
}

void Controls::DrawLayers(const DemoState& state) {
    const auto& draw = settings_.draw;
    if (!(draw[0] || draw[1] || draw[2] || draw[3])) return;
    const PhysicsWorld& world = *state.world;
    DebugLayer layers = DebugLayer::kNone;
    if (draw[size_t(DrawLayer::kBoxes)]) layers = layers | DebugLayer::kBoxes;
    if (draw[size_t(DrawLayer::kPairs)]) layers = layers | DebugLayer::kPairs;
    if (draw[size_t(DrawLayer::kParticles)]) layers = layers | DebugLayer::kParticles;
    if (layers != DebugLayer::kNone) {
        HostDebugDraw host;  // puts the colour back before the IDs are drawn
        DrawWorld(world, host, layers);
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
            DrawCanvasText(std::to_string(under->ID), px + 10.0f, py - 16.0f, kIdScale);
        }
    }
    SetColor(255, 255, 255);
}
