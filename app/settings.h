#pragma once
// What a running program lets its user change, as the controls hold it (pause, steps per frame,
// the throws' settings, debug drawing, the panel, the tool in use), and the bounds each value
// keeps: a command outside them is refused, and the panel's widgets stay inside them.

#include <array>
#include <cstdint>

#include "app/mouse.h"
#include "app/tools.h"

// How the world is drawn. Classic: every constraint a white line, drawn by each step as it relaxes
// (the picture the sandbox always had). Clear: once a frame, each body filled in a colour of its
// own, immovable ones grey, pinned particles marked, springs and ropes in colours of their own, the
// throw's path and the grab's spring shown (app/look.h).
enum class Look : uint8_t { kClassic, kClear };

enum class DrawLayer { kParticles, kBoxes, kPairs, kIds };
inline constexpr int32_t kDrawLayerCount = 4;

inline constexpr int32_t kMaxStepsPerFrame = 20;
inline constexpr int32_t kMaxIterations = 100;
inline constexpr int32_t kMaxThrowDivisor = 1000;
inline constexpr float kMaxGravity = 10.0f;
inline constexpr float kMaxBounceOrFriction = 10.0f;

struct ControlSettings {
    bool panelOpen = false;
    bool paused = false;
    bool captured = false;  // the pointer is over the panel
    int32_t stepsPerFrame = 3;
    ThrowSettings throwing;
    std::array<bool, kDrawLayerCount> draw{};
    Tool tool = Tool::kThrow;
    float stickElasticity = 1.0f;
    bool help = false;  // the keys shown on the canvas
    Look look = Look::kClassic;

    bool Draws(DrawLayer layer) const { return draw[static_cast<size_t>(layer)]; }
};
