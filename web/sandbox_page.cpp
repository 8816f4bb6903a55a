// The sandbox in a web page: the pyramid on an 800 x 600 canvas, a frame at a time from the
// browser's animation frames.
// Drag and release the left button to throw a box, hold Space for collision timings (printed to
// the page's console panel and the browser's console), hold Escape to end the simulation.
//
// The page learns how the run goes through Module.sandboxStatus(frames, bodies, stopped,
// frameMs), called after every frame, and Module.sandboxError(text) if the program fails.

#include <emscripten.h>

#include <exception>
#include <memory>
#include <string>

#include "app/program.h"
#include "physics/body.h"

namespace {

EM_JS(void, ReportStatus, (int frames, int bodies, int stopped, double frameMs), {
    if (Module.sandboxStatus) Module.sandboxStatus(frames, bodies, stopped != 0, frameMs);
});

EM_JS(void, ReportError, (const char* text), {
    if (Module.sandboxError) Module.sandboxError(UTF8ToString(text));
});

int32_t CountBodies(const PhysicsWorld& world) {
    int32_t n = 0;
    for (PhysicsBody* b : world.PhysicsBodies->each<PhysicsBody>()) {
        if (b != nullptr) ++n;
    }
    return n;
}

// The desktop's pace, 60 frames a second, on displays of any rate: an animation frame runs a
// frame of the program when the next one is due (with 2 ms of slack for the browser's jitter),
// and a late one is not made up later.
struct PageLoop {
    SandboxRun run;
    double due = 0.0;  // ms, on emscripten_get_now's clock
};

constexpr double kFramePeriodMs = 1000.0 / kWindowHertz;
constexpr double kSlackMs = 2.0;

void Stop(PageLoop* loop) {
    emscripten_cancel_main_loop();
    delete loop;  // the run is over: its window and world go with it
}

void Frame(void* arg) {
    auto* loop = static_cast<PageLoop*>(arg);
    SandboxRun* run = &loop->run;
    try {
        const double start = emscripten_get_now();
        if (start < loop->due - kSlackMs) return;
        loop->due += kFramePeriodMs;
        if (loop->due < start) loop->due = start + kFramePeriodMs;
        const bool going = StepSandbox(*run);
        const double ms = emscripten_get_now() - start;
        ReportStatus(run->loop.frames, CountBodies(*run->state.world), going ? 0 : 1, ms);
        if (!going) Stop(loop);
    } catch (const std::exception& e) {
        ReportError(e.what());
        Stop(loop);
    }
}

}  // namespace

int main() {
    auto loop = std::make_unique<PageLoop>();
    try {
        StartSandbox(loop->run);
    } catch (const std::exception& e) {
        ReportError(e.what());
        return 1;
    }
    ReportStatus(0, CountBodies(*loop->run.state.world), 0, 0.0);
    loop->due = emscripten_get_now();
    // 0 frames a second: called on every animation frame. The main loop owns the run.
    emscripten_set_main_loop_arg(Frame, loop.release(), 0, 0);
    return 0;
}
