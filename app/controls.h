#pragma once
// The sandbox's controls: what a running program lets its user change (pause, single frames,
// steps per frame, the world's gravity and relaxation passes, the bounce, friction and speed
// divisor of thrown boxes, restarting or switching scenes, debug drawing, the panel itself), the
// statistics it keeps, and the frame that honours them.
//
// Every change is a ControlCommand, applied at the start of a frame before its first step. Live,
// the panel and its keys request them; in a replay they come from the script. Each one applied
// is reported (a session recorder writes it as a script line), so a replay applies the same
// command at the same frame and the two runs stay bit for bit the same. Untouched, the controlled
// frame is exactly the program's plain frame: three steps, the mouse step, the cursor cross.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/mouse.h"
#include "app/scene_file.h"
#include "app/tools.h"

struct DemoState;
class Panel;

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
};

enum class DrawLayer { kParticles, kBoxes, kPairs, kIds };
inline constexpr int32_t kDrawLayerCount = 4;

struct ControlCommand {
    CommandKind kind = CommandKind::kRestart;
    int32_t value = 0;
    DrawLayer layer = DrawLayer::kParticles;
    float x = 0.0f;
    float y = 0.0f;
    std::string text;
    std::array<int32_t, 4> p{};  // a tool command's pixel coordinates
};

// Bounds a command's values must keep (the panel's widgets stay inside them too).
inline constexpr int32_t kMaxStepsPerFrame = 20;
inline constexpr int32_t kMaxIterations = 100;
inline constexpr int32_t kMaxThrowDivisor = 1000;
inline constexpr float kMaxGravity = 10.0f;
inline constexpr float kMaxBounceOrFriction = 10.0f;

// The command as a script line's kind and values ("gravity 0 0.07"); floats are written so that
// they read back to the same bits.
std::string CommandText(const ControlCommand& command);
// Whether `word` is a command's kind.
bool IsCommandKind(const std::string& word);
// Parses the words of a command (kind first); nothing and `error` set when they are not one.
// A scene's name is the rest of the line, `rest`, when given (it may hold spaces).
std::optional<ControlCommand> ParseCommand(const std::vector<std::string>& words,
                                           const std::string& rest, std::string& error);

struct ControlSettings {
    bool panelOpen = false;
    bool paused = false;
    bool captured = false;  // the pointer is over the panel
    int32_t stepsPerFrame = 3;
    ThrowSettings throwing;
    std::array<bool, kDrawLayerCount> draw{};
    Tool tool = Tool::kThrow;
    float stickElasticity = 1.0f;
    bool help = false;
};

// Timings of the last frames, for the panel's plots: the frame's milliseconds, and the mean
// milliseconds of its steps' phases (0 for a paused frame).
inline constexpr int32_t kStatsHistory = 300;  // five seconds at 60 frames a second
struct FrameStats {
    std::array<float, kStatsHistory> frameMs{};
    std::array<float, kStatsHistory> updateMs{};   // relaxation and integration
    std::array<float, kStatsHistory> bodiesMs{};   // the body pass
    std::array<float, kStatsHistory> collideMs{};  // collision
    int32_t next = 0;                              // the slot the next frame goes to
    int32_t count = 0;                             // frames recorded, up to kStatsHistory
    float framesPerSecond = 0.0f;
    int32_t bodies = 0, particles = 0, constraints = 0, pairsTested = 0;
};

// The body pairs whose boxes overlap, in the collision pass's order: the pairs it tests for
// contacts, given the boxes of the last body pass. Drawing and statistics only.
struct BodyPair {
    const PhysicsBody* a;
    const PhysicsBody* b;
};
void FindTestedPairs(const PhysicsWorld& world, std::vector<BodyPair>& pairs);

// Where new scenes come from: a name or a file, as given to --scene. None (and `error` set)
// when it cannot be loaded.
using SceneResolver =
    std::function<std::shared_ptr<const SceneData>(const std::string& arg, std::string& error)>;

class Controls {
  public:
    // `startScene`: the scene the program started from (none: the pyramid), kept by the caller
    // for the run.
    explicit Controls(const SceneData* startScene);

    // Live requests (panel widgets, keys): queued for the next frame's start when live input is
    // accepted, dropped otherwise (a replay takes its commands from its script alone).
    void SetLiveInput(bool live) { liveInput_ = live; }
    bool LiveInput() const { return liveInput_; }
    void Request(const ControlCommand& command);
    // Queues a command for the next frame's start whatever the source (a replay's script).
    void Schedule(const ControlCommand& command) { pending_.push_back(command); }

    void SetSceneResolver(SceneResolver resolver) { resolver_ = std::move(resolver); }
    // Told of every command applied, in order, at the start of the frame it applies to.
    void SetAppliedListener(std::function<void(const ControlCommand&)> listener) {
        applied_ = std::move(listener);
    }
    // The clock the statistics read, in nanoseconds; the steady clock unless set. A replay sets
    // its virtual clock so that pictures of the panel are the same in every run.
    void SetStatsClock(int64_t (*now)()) { now_ = now; }
    int64_t StatsNow() const { return now_(); }

    void SetPanel(Panel* panel) { panel_ = panel; }
    void SetGestures(Gestures* gestures) { gestures_ = gestures; }
    // True while a text field of the open panel has the keyboard: keys are typed, not commands.
    bool TextInput() const;
    // What the start scene is called in the panel.
    void SetStartSceneName(const std::string& name);
    // Where the pointer is, as the event chain last told: the ID layer labels the body under it
    // without a query, so that drawing takes no input in.
    void SetPointer(int32_t x, int32_t y) {
        pointerX_ = x;
        pointerY_ = y;
        havePointer_ = true;
    }

    // One frame: the pending commands, clear, the steps (none while paused), the mouse step, the
    // debug drawing, the cursor cross, the panel, present.
    void RunFrame(DemoState& state);

    const ControlSettings& Settings() const { return settings_; }
    // The settings as they will be once the queued requests are applied.
    const ControlSettings& Requested() const { return requested_; }
    const FrameStats& Stats() const { return stats_; }
    // A line said on the canvas for the next few seconds ("Saved scene-0001.json").
    void Notify(const std::string& text);

    // The tools' hold on the world.
    const ToolActions& Tools() const { return tools_; }
    // What the current scene is called ("pyramid" for the demo's own).
    const std::string& SceneName() const { return sceneName_; }
    // The last scene load that failed, for the panel; empty after a good one.
    const std::string& SceneError() const { return sceneError_; }

  private:
    void Apply(const ControlCommand& command, DemoState& state);
    void Restart(DemoState& state);
    void DrawStillWorld(PhysicsWorld& world);
    void DrawLayers(const DemoState& state);
    void DrawNotices();
    void CountScene(const DemoState& state);
    void RecordFrame(int64_t frameNs, int64_t updateNs, int64_t bodiesNs, int64_t collideNs);

    ControlSettings settings_;
    ControlSettings requested_;
    bool stepOnce_ = false;
    bool liveInput_ = true;
    std::vector<ControlCommand> pending_;
    std::vector<ControlCommand> applying_;
    const SceneData* startScene_;
    std::shared_ptr<const SceneData> loadedScene_;  // the current scene when one was loaded
    const SceneData* currentScene_;
    std::string sceneName_;
    std::string sceneError_;
    SceneResolver resolver_;
    std::function<void(const ControlCommand&)> applied_;
    int64_t (*now_)();
    Panel* panel_ = nullptr;
    Gestures* gestures_ = nullptr;
    std::string notice_;
    int32_t noticeFrames_ = 0;  // frames the notice stays on
    ToolActions tools_;
    FrameStats stats_;
    std::vector<BodyPair> pairs_;  // the last step's tested pairs, while they are wanted
    int32_t pointerX_ = 0, pointerY_ = 0;
    bool havePointer_ = false;
    int32_t lastFrameStartMs_ = 0;
    bool haveFrameStart_ = false;
};
