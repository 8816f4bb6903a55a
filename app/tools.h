#pragma once
// The tools a user acts on the world with, and the gestures that use them. Every action is a
// command (app/command.h) applied at the start of a frame, so that recordings, replays and saves
// see the same actions at the same places: the gestures only request commands, and ToolActions
// applies them to the world through the physics library's calls (physics/edit.h).
//
// The left button uses the chosen tool, Throw (the demo's own) unless another is chosen; the
// right button always grabs and the middle button always cuts. Keys 1 to 7 choose: 1 Throw,
// 2 Grab, 3 Cut, 4 Pin, 5 Box (5 again: Ball), 6 Rope (6 again: Stick), 7 Erase. H shows the keys
// and L changes the look (app/look.h); both are commands too.
//
// The gestures watch the host's event chain, as the panel does, and take no input in themselves:
// with the Throw tool and no other button pressed, a frame asks for the same input in the same
// order as without them, and draws the same picture.

#include <cstdint>
#include <string_view>

#include "physics/edit.h"
#include "runtime/object.h"

class Controls;
struct ControlCommand;
struct ControlSettings;

enum class Tool : uint8_t { kThrow, kGrab, kCut, kPin, kBox, kBall, kRope, kStick, kErase };
inline constexpr int32_t kToolCount = 9;

// "throw", "grab", "cut", "pin", "box", "ball", "rope", "stick", "erase": the names scripts use.
const char* ToolName(Tool tool);
bool ToolFromName(std::string_view name, Tool& tool);
// The key that chooses a tool ('1' .. '7'), and the tool that key chooses while `current` is in
// use (the keys of two tools alternate between them); false for a key that chooses none.
int32_t ToolKey(Tool tool);
bool ToolForKey(int32_t key, Tool current, Tool& chosen);

inline constexpr int32_t kHelpKey = 72;      // H: the keys, shown on the canvas or hidden
inline constexpr int32_t kGrabButton = 2;    // right
inline constexpr int32_t kCutButton = 3;     // middle
inline constexpr float kPickRadius = 15.0f;  // how near a particle a press must land to take it
inline constexpr int32_t kMaxToolCoordinate = 100000;
inline constexpr float kMinStickElasticity = 0.01f;

// What the tool commands do to a world, and the hold that lasts between them.
class ToolActions {
  public:
    // Applies one of grab, drag, release, cut, pin, erase, box, ball, rope and stick to world;
    // sticks drawn get `stickElasticity`. Other commands are left alone.
    void Apply(const ControlCommand& command, PhysicsWorld& world, float stickElasticity);
    // Before a frame's steps: the held particle glides towards the pointer over them.
    void BeforeSteps(int32_t steps) { grab_.Advance(steps); }
    // The world is about to be replaced: the hold ends.
    void Forget() { grab_.Release(); }
    // A hold saved with the world is held again (Grab::Resume).
    void Resume(const Ref<Verlet>& particle, const Ref<Verlet>& anchor,
                const Ref<constraint>& spring, float x, float y) {
        grab_.Resume(particle, anchor, spring, x, y);
    }
    const Grab& Held() const { return grab_; }

  private:
    Grab grab_;
};

// Turns presses, drags and the tool keys into tool commands requested from the controls, and
// draws the gesture under way and the name of the chosen tool by the pointer.
class Gestures {
  public:
    explicit Gestures(Controls& controls);
    ~Gestures();
    Gestures(const Gestures&) = delete;
    Gestures& operator=(const Gestures&) = delete;

    // Hooks onto the event chain; the host must have started.
    void Start();
    void Stop();

    // The gesture under way (a rectangle, a circle, a line; in the clear look also a throw's path)
    // and, when a tool other than Throw is chosen, its name by the pointer. Draws nothing
    // otherwise.
    void Draw(const ControlSettings& settings, const PhysicsWorld& world) const;

  private:
    class Input;
    static ObjectRef OnEvent(int32_t id, const ObjectRef& data, const ObjectRef& context);
    void Take(int32_t id, int32_t data, int32_t x, int32_t y);
    void Press(int32_t button);
    void Drag();
    void Lift(int32_t button);
    void Cancel();

    Controls& controls_;
    Ref<Object> hookContext_;
    bool hooked_ = false;
    int32_t pointerX_ = 0, pointerY_ = 0;
    bool havePointer_ = false;
    int32_t button_ = 0;  // the button of the gesture under way; 0: none
    Tool tool_ = Tool::kThrow;
    int32_t startX_ = 0, startY_ = 0;
    int32_t lastX_ = 0, lastY_ = 0;
    // A throw under way (the left button pressed with the Throw tool, off the panel), from where.
    bool throwing_ = false;
    int32_t throwX_ = 0, throwY_ = 0;
};
