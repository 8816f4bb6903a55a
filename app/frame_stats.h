#pragma once
// The statistics the controls panel shows: the frame rate, the last frames' timings (the frame
// and its steps' phases) for its plots, and the scene's counts.

#include <array>
#include <cstdint>

class PhysicsWorld;

// Where a step's time went, in the units of `now` (the statistics' clock), added up over steps.
struct StepTimes {
    int64_t (*now)() = nullptr;
    int64_t update = 0;   // world.Update: relaxation and integration
    int64_t bodies = 0;   // the body pass
    int64_t collide = 0;  // the collision pass
};

inline constexpr int32_t kStatsHistory = 300;  // five seconds at 60 frames a second

// Rings of the last kStatsHistory frames: the frame's milliseconds and the mean milliseconds of
// its steps' phases (0 for a paused frame).
struct FrameStats {
    std::array<float, kStatsHistory> frameMs{};
    std::array<float, kStatsHistory> updateMs{};   // relaxation and integration
    std::array<float, kStatsHistory> bodiesMs{};   // the body pass
    std::array<float, kStatsHistory> collideMs{};  // collision
    int32_t next = 0;                              // the slot the next frame goes to
    int32_t count = 0;                             // frames recorded, up to kStatsHistory
    float framesPerSecond = 0.0f;
    int32_t bodies = 0, particles = 0, constraints = 0, pairsTested = 0;

    // A frame starts at `startMs` on the host's millisecond clock: the smoothed frame rate.
    void FrameStarted(int32_t startMs);
    // A frame of `frameNs` ran `steps` steps (0 while paused) that took `times`.
    void FrameEnded(int64_t frameNs, const StepTimes& times, int32_t steps);
    void CountScene(const PhysicsWorld& world, int32_t pairs);

  private:
    int32_t lastStartMs_ = 0;
    bool haveStart_ = false;
};
