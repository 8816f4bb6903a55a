#pragma once
// The controls' commands and their text, the form a recorded session and a replay script give
// them: `gravity 0 0.07`, `draw boxes 1`, `scene my file.json`. Every change a user makes to a
// running program is one of these, applied at the start of a frame, so that a replay applies the
// same command at the same frame.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/settings.h"

enum class CommandKind {
    kPanel,       // value: 1 open, 0 closed (closing also ends the panel's hold on the mouse)
    kPause,       // value: 1 paused, 0 running
    kStep,        // one frame's steps while paused
    kSteps,       // value: steps per frame
    kRestart,     // the current scene from its start
    kScene,       // text: a built-in scene's name or a scene file; becomes the current scene
    kGravity,     // x, y: the world's gravity, pixels per step per step
    kIterations,  // value: the world's CONSTRAINT_ITERATIONS
    kBounce,      // x: bounce of boxes thrown from now on
    kFriction,    // x: friction of boxes thrown from now on
    kDivisor,     // value: the throw's speed divisor
    kDraw,        // layer, value: a debug drawing layer on (1) or off (0)
    kCapture,     // value: 1 while the pointer is over the panel: the mouse throws nothing
    kTool,        // value: the Tool the left button uses (app/tools.h)
    kStiffness,   // x: the elasticity of sticks drawn from now on (1 a stick, below a spring)
    kGrab,        // p: x, y: takes hold of the particle there (ParticleToHold)
    kDrag,        // p: x, y: the held particle's new target
    kRelease,     // lets the held particle go
    kCut,         // p: a stroke x0, y0, x1, y1: breaks the constraints it crosses
    kPin,         // p: x, y: pins the particle there, or unpins it
    kErase,       // p: x, y: removes the body there
    kBox,         // p: two corners x0, y0, x1, y1
    kBall,        // p: centre x, y and radius
    kRope,        // p: from x0, y0 to x1, y1
    kStick,       // p: between the particles at x0, y0 and at x1, y1
    kHelp,        // value: 1 shows the keys on the canvas, 0 hides them
    kMode,        // value: the world's step mode, 0 the default step, 1 the stable one
    kLook,        // value: the Look the world is drawn in
    kDamping,     // x: the world's contact damping, 0..1 (read by the stable step only)
};

struct ControlCommand {
    CommandKind kind = CommandKind::kRestart;
    int32_t value = 0;
    DrawLayer layer = DrawLayer::kParticles;
    float x = 0.0f;
    float y = 0.0f;
    std::string text;
    std::array<int32_t, 4> p{};  // a tool command's pixel coordinates
};

// The command as a script line's kind and values ("gravity 0 0.07"); floats are written so that
// they read back to the same bits.
std::string CommandText(const ControlCommand& command);
// Whether `word` is a command's kind.
bool IsCommandKind(const std::string& word);
// Parses the words of a command (kind first); nothing and `error` set when they are not one.
// A scene's name is the rest of the line, `rest`, when given (it may hold spaces).
std::optional<ControlCommand> ParseCommand(const std::vector<std::string>& words,
                                           const std::string& rest, std::string& error);

// `look NAME`: what --look asks for at the first frame's start.
ControlCommand LookCommand(Look look);

// The part of a command that lives in the settings; the rest acts on the world.
void ApplyToSettings(ControlSettings& settings, const ControlCommand& command);
