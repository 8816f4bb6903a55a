#include "app/frame_stats.h"

#include "host/clock.h"
#include "physics/body.h"
#include "physics/world.h"

namespace {

float Ms(int64_t ns) { return static_cast<float>(static_cast<double>(ns) / 1e6); }

}  // namespace

void FrameStats::FrameStarted(int32_t startMs) {
    if (haveStart_) {
        const int32_t dt = WrapSub(startMs, lastStartMs_);
        const float fps = dt > 0 ? 1000.0f / static_cast<float>(dt) : 0.0f;
        // Smoothed over about half a second, so that the number can be read.
        framesPerSecond = framesPerSecond == 0.0f ? fps : framesPerSecond * 0.97f + fps * 0.03f;
    }
    lastStartMs_ = startMs;
    haveStart_ = true;
}

void FrameStats::FrameEnded(int64_t frameNs, const StepTimes& times, int32_t steps) {
    // The phases per step, so that the numbers keep their meaning when steps per frame change.
    const int64_t per = steps > 0 ? steps : 1;
    const auto i = static_cast<size_t>(next);
    frameMs[i] = Ms(frameNs);
    updateMs[i] = Ms(times.update / per);
    bodiesMs[i] = Ms(times.bodies / per);
    collideMs[i] = Ms(times.collide / per);
    next = (next + 1) % kStatsHistory;
    if (count < kStatsHistory) ++count;
}

void FrameStats::CountScene(const PhysicsWorld& world, int32_t pairs) {
    int32_t n = 0;
    for ([[maybe_unused]] PhysicsBody* b : world.PhysicsBodies->fast<PhysicsBody>()) ++n;
    bodies = n;
    particles = world.VerletArray->last;
    constraints = world.ConstraintArray->last;
    pairsTested = pairs;
}
