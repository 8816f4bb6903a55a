// Whole frames of the demo loop (clear, three simulation steps with their drawing, the mouse
// step, the cursor cross, present) through the real OpenGL back end under SDL's offscreen video
// driver, with pacing off. Items are frames.
//
//   frame/demo         the demo scene as the program starts it
//   frame/2000         the demo scene plus 2,000 boxes in a world 5 times the window's size,
//                      shown whole (a virtual resolution of the world's size), so that every
//                      constraint is drawn on screen
//   frame/stable/...   the same in the stable step (the world's stepMode set before the first
//                      frame)
//   .../physics        the same frames with the window inactive: drawing and presenting do nothing
//   .../draw           a frame's drawing and presenting alone: every constraint drawn as the
//                      simulation steps draw them, three times, then the cross and the present
//
// Each run has a fixed number of frames, so that every run times the same stretch of the
// simulation. Times are wall-clock: the renderer's own threads work while the frame waits.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/program.h"
#include "host/graphics.h"
#include "host/sdl/sdl_host.h"
#include "physics/constraint.h"
#include "physics/verlet.h"

namespace {

constexpr float kWorldScale = 5.0f;
constexpr int32_t kGridLeft = 820;  // the extra boxes stand right of the demo's pyramid
constexpr int32_t kGridSpacing = 60;

void StartOnce() {
    static bool started = false;
    if (started) return;
    started = true;
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    StartHost();
}

// The demo as the program starts it, in a window without pacing. Without drawing the window
// stays open but inactive, so that presenting neither draws nor paces.
DemoState Start(bool draw) {
    DemoState state = StartDemo();
    state.window = OpenGraphicsWindow(kWindowWidth, kWindowHeight, 0, 0, 0);
    if (!draw) ActivateGraphics(nullptr);
    return state;
}

// Boxes copied from the template in a grid right of the pyramid, in a world grown to hold them.
void AddBoxes(DemoState& state, int32_t count) {
    PhysicsWorld& world = *state.world;
    world.Width = static_cast<float>(kWindowWidth) * kWorldScale;
    world.Height = static_cast<float>(kWindowHeight) * kWorldScale;
    const int32_t columns = (static_cast<int32_t>(world.Width) - kGridLeft) / kGridSpacing;
    for (int32_t i = 0; i < count; ++i) {
        Ref<PhysicsBody> box = state.templateBox->duplicate();
        // The template's top-left corner stands at (100, 530).
        const int32_t x = kGridLeft + kGridSpacing * (i % columns);
        const int32_t y = 20 + kGridSpacing * (i / columns);
        box->Move(Vect(static_cast<float>(x - 100), static_cast<float>(y - 530)));
    }
    SetVirtualResolution(world.Width, world.Height);
}

void Finish(DemoState& state) {
    CloseGraphicsWindow();
    state = DemoState{};
    WorldList.reset();
    FunctionPtrList.reset();
}

// What a frame draws, without the simulation: the constraint pass draws every constraint where
// it stands, once per step. The constraints are gathered beforehand, so that only drawing and
// presenting are timed, not walking the world's list.
void DrawFrame(const std::vector<constraint*>& constraints) {
    ClearFrame();
    for (int32_t s = 0; s < kStepsPerFrame; ++s) {
        for (const constraint* c : constraints) {
            DrawLineSegment(c->v1->pos->x, c->v1->pos->y, c->v2->pos->x, c->v2->pos->y, 3);
        }
    }
    DrawCursorCross();
    PresentFrame(-1);
}

enum class Part { kWhole, kPhysics, kDraw };

void BM_Frame(benchmark::State& bench, int32_t boxes, Part part, StepMode mode) {
    StartOnce();
    DemoState state = Start(part != Part::kPhysics);
    if (!state.window) {
        bench.SkipWithError("no OpenGL window under the offscreen video driver");
        Finish(state);
        return;
    }
    if (boxes > 0) AddBoxes(state, boxes);
    state.world->stepMode = mode;
    std::vector<constraint*> constraints;
    for (constraint* c : state.world->ConstraintList->each<constraint>()) constraints.push_back(c);
    for (auto _ : bench) {
        if (part == Part::kDraw) {
            DrawFrame(constraints);
        } else {
            RunFrame(state);
        }
    }
    bench.SetItemsProcessed(bench.iterations());
    bench.counters["bodies"] = static_cast<double>(state.world->PhysicsBodyIDCount);
    Finish(state);
}

void Register(const char* name, int32_t boxes, Part part, int64_t frames,
              StepMode mode = StepMode::kDefault) {
    benchmark::RegisterBenchmark(name, BM_Frame, boxes, part, mode)
        ->Iterations(frames)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
}

const bool kRegistered = [] {
    Register("frame/demo", 0, Part::kWhole, 600);
    Register("frame/demo/physics", 0, Part::kPhysics, 600);
    Register("frame/demo/draw", 0, Part::kDraw, 600);
    Register("frame/2000", 2000, Part::kWhole, 60);
    Register("frame/2000/physics", 2000, Part::kPhysics, 60);
    Register("frame/2000/draw", 2000, Part::kDraw, 60);
    Register("frame/stable/demo", 0, Part::kWhole, 600, StepMode::kStable);
    Register("frame/stable/2000", 2000, Part::kWhole, 60, StepMode::kStable);
    Register("frame/stable/2000/physics", 2000, Part::kPhysics, 60, StepMode::kStable);
    return true;
}();

}  // namespace
