// The sandbox in a web page: the pyramid on an 800 x 600 canvas, one frame per animation frame.
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

void Stop(SandboxRun* run) {
    emscripten_cancel_main_loop();
    delete run;  // the run is over: its window and world go with it
}

void Frame(void* arg) {
    auto* run = static_cast<SandboxRun*>(arg);
    try {
        const double start = emscripten_get_now();
        const bool going = StepSandbox(*run);
        const double ms = emscripten_get_now() - start;
        ReportStatus(run->loop.frames, CountBodies(*run->state.world), going ? 0 : 1, ms);
        if (!going) Stop(run);
    } catch (const std::exception& e) {
        ReportError(e.what());
        Stop(run);
    }
}

}  // namespace

int main() {
    std::unique_ptr<SandboxRun> run;
    try {
        run = StartSandbox();
    } catch (const std::exception& e) {
        ReportError(e.what());
        return 1;
    }
    ReportStatus(0, CountBodies(*run->state.world), 0, 0.0);
    // 0 frames a second: the browser's animation frames set the pace. The loop owns the run.
    emscripten_set_main_loop_arg(Frame, run.release(), 0, 0);
    return 0;
}
