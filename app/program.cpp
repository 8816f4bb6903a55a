#include "app/program.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "app/controls.h"
#include "app/mouse.h"
#include "app/scene.h"
#include "app/scene_source.h"
#include "host/backend.h"
#include "host/console.h"
#include "host/graphics.h"
#include "host/input.h"
#include "physics/edit.h"
#include "physics/stable_step.h"
#include "runtime/error.h"
#include "runtime/text.h"

const char* const kStartupLine =
    "Verlet Sandbox: drag and release the left button to throw a box, drag with the right button "
    "to grab and the middle one to cut, keys 1 to 7 choose a tool, H shows the keys; F5 saves "
    "the scene (scene-0001.json, ...), hold Space for collision timings, hold Escape to quit; F1 "
    "opens the controls panel (R restarts, P pauses, N steps a paused frame).";

namespace {

// The world's line sink: constraints are drawn with the last pixel plotted.
void DrawConstraintLine(void* /*context*/, float x0, float y0, float x1, float y1) {
    DrawLineSegment(x0, y0, x1, y1, 3);
}

// The scene's particle or constraint k, found in the world built from it: a scene's k-th slot
// entry is made in the world's k-th slot.
template <class T>
Ref<T> MadeFrom(const Array& slots, const std::vector<int32_t>& sceneSlots, int32_t k) {
    const auto at = std::find(sceneSlots.begin(), sceneSlots.end(), k);
    if (k < 0 || at == sceneSlots.end()) return nullptr;
    const auto slot = static_cast<int32_t>(at - sceneSlots.begin());
    if (slot >= slots.last) return nullptr;
    return ObjectCast<T>(slots.a[static_cast<size_t>(slot)]);
}

// Holds again what the scene's session held (the world is the one built from the scene).
void ResumeGrab(const PhysicsWorld& world, const SceneData& scene, Controls& controls) {
    const SceneSession& t = scene.session;
    const Array& particles = *world.VerletArray;
    const Array& constraints = *world.ConstraintArray;
    controls.ResumeGrab(MadeFrom<Verlet>(particles, scene.particleSlots, t.grabParticle),
                        MadeFrom<Verlet>(particles, scene.particleSlots, t.grabAnchor),
                        MadeFrom<constraint>(constraints, scene.constraintSlots, t.grabSpring),
                        t.grabTarget.x, t.grabTarget.y);
}

}  // namespace

LineSink StepLineSink() { return {&DrawConstraintLine, nullptr}; }

DemoState StartDemo(const SceneData* scene) {
    // The program's classes (constraint, Verlet, Vect, PhysicsBody, the render attachments,
    // PhysicsWorld, FunctionPtr, Array) need no registration: their class records are static.
    DemoState state;
    WorldList = std::make_shared<TList>();
    state.window = OpenGraphicsWindow(kWindowWidth, kWindowHeight, 0, kWindowHertz, 0);
    FunctionPtrList = std::make_shared<TList>();
    BuildDemoWorld(state, scene);
    return state;
}

void BuildDemoWorld(DemoState& state, const SceneData* scene) {
    if (scene != nullptr) {
        SceneWorld built = BuildSceneWorld(*scene);
        state.world = built.world;
        state.templateBox = built.templateBody;
    } else {
        state.world = PhysicsWorld::Create(static_cast<float>(kWindowWidth),
                                           static_cast<float>(kWindowHeight), 1);
        state.world->CONSTRAINT_ITERATIONS = kConstraintIterations;
        state.templateBox = BuildScene(*state.world);
    }
    // What the program sets on its world belongs here, after either way of making it, so that a
    // loaded scene's world gets it too.
    state.world->lineSink = StepLineSink();
}

void SimulationStep(PhysicsWorld& world, StepTimes* times) {
    const int64_t start = times != nullptr ? times->now() : 0;
    const bool stable = world.stepMode == StepMode::kStable;
    // The stable step is one pass, its contacts included: its time counts as the update's.
    if (stable) {
        StableStep(world);
    } else {
        world.Update();
    }
    const int64_t updated = times != nullptr ? times->now() : 0;
    if (!stable) PhysicsBody::UpdateAllPositions(&world);
    const int64_t placed = times != nullptr ? times->now() : 0;
    const int32_t t0 = ElapsedMs();
    if (!stable) PhysicsBody::CollideAll(&world);
    if (times != nullptr) {
        const int64_t collided = times->now();
        times->update += updated - start;
        times->bodies += placed - updated;
        times->collide += collided - placed;
    }
    // The clock is an int32 that wraps around; the difference is taken modulo 2^32.
    const int32_t dt =
        static_cast<int32_t>(static_cast<uint32_t>(ElapsedMs()) - static_cast<uint32_t>(t0));
    if (IsKeyDown(kTimingKey) != 0) PrintLine(DecimalText(dt));
}

void DrawCursorCross() {
    // Each coordinate asks for the cursor anew, last argument first; the cursor may move between
    // the queries because every query takes in pending events.
    {
        const float y2 = static_cast<float>(MouseCursorY());
        const float x2 = static_cast<float>(MouseCursorX() + kCrossArm);
        const float y1 = static_cast<float>(MouseCursorY());
        const float x1 = static_cast<float>(MouseCursorX() - kCrossArm);
        DrawLineSegment(x1, y1, x2, y2, 1);
    }
    {
        const float y2 = static_cast<float>(MouseCursorY() + kCrossArm);
        const float x2 = static_cast<float>(MouseCursorX());
        const float y1 = static_cast<float>(MouseCursorY() - kCrossArm);
        const float x1 = static_cast<float>(MouseCursorX());
        DrawLineSegment(x1, y1, x2, y2, 1);
    }
}

void RunFrame(DemoState& state) {
    Controls* const controls = state.controls;
    const FramePlan plan = controls != nullptr ? controls->BeginFrame(state) : FramePlan{};
    ClearFrame();
    for (int32_t i = 0; i < plan.steps; ++i) SimulationStep(*state.world, plan.times);
    if (controls != nullptr) controls->AfterSteps(state);
    if (plan.captured) {
        MouseStepCaptured(state.held);
    } else {
        MouseStep(*state.templateBox, state.held, plan.throwing);
    }
    if (controls != nullptr) controls->DrawLayers(state);
    DrawCursorCross();
    if (controls != nullptr) controls->EndFrame(state);
    PresentFrame(-1);
}

FrameLoop BeginFrameLoop(DemoState& state, const FrameLoopHooks& hooks) {
    state.held = false;
    FrameLoop loop;
    loop.state = &state;
    loop.hooks = hooks;
    return loop;
}

bool StepFrameLoop(FrameLoop& loop) {
    if (loop.ended) return false;
    if (loop.hooks.beforeQuitTest) loop.hooks.beforeQuitTest(loop.frames + 1, *loop.state);
    if (IsKeyDown(kQuitKey) != 0) {
        loop.ended = true;
        return false;
    }
    RunFrame(*loop.state);
    if (loop.hooks.afterFrame) loop.hooks.afterFrame(*loop.state);
    // The count stops short of overflowing (after more than a year at 60 frames a second).
    if (loop.frames < INT32_MAX - 1) ++loop.frames;
    return true;
}

int32_t RunFrameLoop(DemoState& state, const FrameLoopHooks& hooks) {
    FrameLoop loop = BeginFrameLoop(state, hooks);
    while (StepFrameLoop(loop)) {
    }
    return loop.frames;
}

SceneData CaptureDemo(const DemoState& state) {
    SceneData scene = CaptureScene(*state.world, *state.templateBox);
    SceneSession& t = scene.session;
    if (state.controls != nullptr) {
        const ControlSettings& c = state.controls->Settings();
        t.stepsPerFrame = c.stepsPerFrame;
        t.paused = c.paused;
        t.captured = c.captured;
        t.throwDivisor = c.throwing.divisor;
        t.throwBounce = c.throwing.bounce;
        t.throwFriction = c.throwing.friction;
        // The hold is its particles' and spring's places among the world's (the scene numbers
        // the world's particles and constraints first, in slot order).
        const Grab& g = state.controls->Tools().Held();
        if (g.Holding() && InWorld(*g.Particle())) {
            t.grabParticle = g.Particle()->index;
            if (g.Anchor() && g.Spring() && InWorld(*g.Anchor()) && InWorld(*g.Spring())) {
                t.grabAnchor = g.Anchor()->index;
                t.grabSpring = g.Spring()->index;
            }
            t.grabTarget = {g.TargetX(), g.TargetY()};
        }
    }
    // Read from the tables as they stand: a save takes no input in.
    const MouseTables m = PeekMouseTables();
    auto inRange = [](int32_t v) { return std::clamp(v, -kMaxSceneCursor, kMaxSceneCursor); };
    t.held = state.held;
    t.buttons = m.buttons;
    t.cursorX = inRange(m.x);
    t.cursorY = inRange(m.y);
    t.dragX = inRange(m.referenceX);
    t.dragY = inRange(m.referenceY);
    return scene;
}

void RestoreSession(DemoState& state, const SceneData& scene) {
    const SceneSession& t = scene.session;
    if (Controls* controls = state.controls) {
        const ControlSettings& now = controls->Settings();
        auto set = [controls](CommandKind kind, int32_t value, float x = 0.0f) {
            ControlCommand c;
            c.kind = kind;
            c.value = value;
            c.x = x;
            controls->Schedule(c);
        };
        if (t.stepsPerFrame != now.stepsPerFrame) set(CommandKind::kSteps, t.stepsPerFrame);
        if (t.paused != now.paused) set(CommandKind::kPause, t.paused ? 1 : 0);
        if (t.captured != now.captured) set(CommandKind::kCapture, t.captured ? 1 : 0);
        if (t.throwDivisor != now.throwing.divisor) set(CommandKind::kDivisor, t.throwDivisor);
        if (t.throwBounce != now.throwing.bounce) set(CommandKind::kBounce, 0, t.throwBounce);
        if (t.throwFriction != now.throwing.friction) {
            set(CommandKind::kFriction, 0, t.throwFriction);
        }
        if (t.grabParticle >= 0) ResumeGrab(*state.world, scene, *controls);
    }
    if (t.held || t.buttons != 0) {
        state.held = t.held;
        RestoreMouseTables({t.buttons, t.cursorX, t.cursorY, t.dragX, t.dragY});
    }
}

std::string SavedSceneText(const DemoState& state) { return WriteScene(CaptureDemo(state)); }

void SaveSceneFromKey(const DemoState& state) {
    // Said on the canvas and on standard error: standard output carries the timings alone.
    std::string said;
    try {
        said = "Saved " + SaveSceneNumbered(SavedSceneText(state), ".").filename().string();
        std::fprintf(stderr, "%s\n", said.c_str());
    } catch (const std::exception& e) {
        said = std::string("Cannot save the scene: ") + e.what();
        std::fprintf(stderr, "sandbox: %s\n", said.c_str());
    }
    if (state.controls != nullptr) state.controls->Notify(said);
}

void StartSandbox(SandboxRun& run, const FrameLoopHooks& hooks, const SandboxOptions& options) {
    StartHost();  // every host module, once
    if (options.interactive && !HostHasVisibleDisplay()) {
        // SDL falls back on drawing into memory when it reaches no display: a window nobody
        // sees, whose Escape nobody could press.
        RuntimeThrow("Cannot open the " + std::to_string(kWindowWidth) + " x " +
                     std::to_string(kWindowHeight) +
                     " window: no display to show it on (DISPLAY unset or unreachable); "
                     "sandbox-replay runs without one");
    }
    run.state = StartDemo(options.scene);
    run.state.controls = options.controls;
    if (!run.state.window) {
        RuntimeThrow("Cannot open the " + std::to_string(kWindowWidth) + " x " +
                     std::to_string(kWindowHeight) + " window (no usable display or OpenGL)");
    }
    run.hooks = hooks;
    FrameLoopHooks loopHooks = hooks;
    // A run with controls reads the save key as the interactive program does, saving only when
    // interactive, so that a replay of a recorded session takes input in at the same queries.
    if (options.interactive || options.controls != nullptr) {
        if (options.interactive) std::fprintf(stderr, "%s\n", kStartupLine);
        TakeKeyHits(kSaveKey);  // presses before the first frame do not count
        const FrameLoopHooks* callers = &run.hooks;
        const bool save = options.interactive;
        loopHooks.afterFrame = [callers, save](DemoState& s) {
            if (callers->afterFrame) callers->afterFrame(s);
            if (TakeKeyHits(kSaveKey) > 0 && save) SaveSceneFromKey(s);
        };
    }
    run.loop = BeginFrameLoop(run.state, loopHooks);
    if (options.scene != nullptr) RestoreSession(run.state, *options.scene);
}

bool StepSandbox(SandboxRun& run) {
    if (StepFrameLoop(run.loop)) return true;
    if (!run.finished) {
        run.finished = true;
        if (run.hooks.afterLoop) run.hooks.afterLoop(run.state);
    }
    return false;
}

int RunSandbox(const FrameLoopHooks& hooks, const SandboxOptions& options) {
    static bool ran = false;
    if (ran) return 0;
    ran = true;

    SandboxRun run;
    StartSandbox(run, hooks, options);
    while (StepSandbox(run)) {
    }
    return 0;
}
