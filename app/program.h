#pragma once
// The sandbox program: start-up, the demo scene and the frame loop. The interactive program and
// the headless replay tool run this very code; the replay tool only adds a callback before each
// test of the quit key, where it delivers its scripted input and ends the run.

#include <cstdint>
#include <functional>
#include <string>

#include "app/frame_stats.h"
#include "app/mouse.h"
#include "app/scene_file.h"
#include "host/graphics.h"
#include "physics/body.h"
#include "physics/world.h"

inline constexpr int32_t kWindowWidth = 800;
inline constexpr int32_t kWindowHeight = 600;
inline constexpr int32_t kWindowHertz = 60;
inline constexpr int32_t kConstraintIterations = 5;
inline constexpr int32_t kStepsPerFrame = 3;
inline constexpr int32_t kQuitKey = 27;    // Escape, held
inline constexpr int32_t kTimingKey = 32;  // space bar, held
inline constexpr int32_t kCrossArm = 5;
inline constexpr int32_t kSaveKey = 116;  // F5, pressed: saves the scene (interactive program)

class Controls;

// What the frame loop keeps between frames.
struct DemoState {
    Ref<TGraphics> window;  // none when it could not be opened
    Ref<PhysicsWorld> world;
    Ref<PhysicsBody> templateBox;
    bool held = false;             // the throw button was down at the previous frame's test
    Controls* controls = nullptr;  // none: the plain frame, which nothing can change
};

struct FrameLoopHooks {
    // Called before every test of the quit key with the number of the frame that would run next,
    // from 1; the last call (the one that sees the key down) has the count of frames run + 1.
    std::function<void(int32_t frame, DemoState& state)> beforeQuitTest;
    // Called after every frame, between frames.
    std::function<void(DemoState& state)> afterFrame;
    // Called once when the loop has ended, with the state after the last frame.
    std::function<void(DemoState& state)> afterLoop;
};

struct SandboxOptions {
    const SceneData* scene = nullptr;  // none: the pyramid, built in code
    bool interactive = false;          // a start-up line, and the save key
    Controls* controls = nullptr;      // the panel's controls; none: the plain frame
};

// The line sink the program points its worlds at: each step draws its constraints, the last pixel
// plotted (the classic look).
LineSink StepLineSink();

// Start-up after the host modules: the registries, the window, the world and the scene (the
// pyramid unless `scene` is given; a scene must come from LoadScene).
DemoState StartDemo(const SceneData* scene = nullptr);

// Gives state a new world built from `scene` (none: the pyramid) and its template box, with what
// the program sets on every world. StartDemo's, and a restart's.
void BuildDemoWorld(DemoState& state, const SceneData* scene);

// A frame loop under way, one turn per StepFrameLoop call, so that a platform that owns the
// loop (a browser's animation frames) can drive it; RunFrameLoop is those calls in a loop.
struct FrameLoop {
    DemoState* state = nullptr;
    FrameLoopHooks hooks;
    int32_t frames = 0;  // frames run so far
    bool ended = false;  // the quit key was seen
};

// A loop on state from its first frame (a throw button held before it does not count).
FrameLoop BeginFrameLoop(DemoState& state, const FrameLoopHooks& hooks = {});
// One turn: the quit test, then a frame when the quit key is up. False, with no frame run, once
// the quit key has ended the loop.
bool StepFrameLoop(FrameLoop& loop);

// Runs frames until the quit key is down at the test before a frame; returns the number of
// frames run.
int32_t RunFrameLoop(DemoState& state, const FrameLoopHooks& hooks = {});

// What one frame does that the controls can change; the defaults are the plain frame's.
struct FramePlan {
    int32_t steps = kStepsPerFrame;  // 0 while paused
    ThrowSettings throwing;
    bool captured = false;       // the pointer is over the panel: the mouse throws nothing
    StepTimes* times = nullptr;  // the steps' phases are timed into it when given
};

// One frame: clear, three simulation steps, the mouse step, the cursor cross, present. The
// controls, when the state has them, take part at fixed points (app/controls.h) and may change
// the plan; untouched, they change nothing.
void RunFrame(DemoState& state);

// One simulation step: world update, body positions, then the timed collision pass; the
// milliseconds it took are printed while the timing key is held. `times`, when given, gets the
// phases' durations added; reading its clock changes nothing else.
void SimulationStep(PhysicsWorld& world, StepTimes* times = nullptr);

// The cross at the cursor: two lines, each arm kCrossArm pixels long.
void DrawCursorCross();

// The state as a scene: the world, and the session (the controls' settings, a throw under way).
SceneData CaptureDemo(const DemoState& state);
// Takes up a scene's session on a started loop: the settings as commands at the first frame's
// start, the throw under way and the grab held at once. The state's world must be the one built
// from `scene`.
void RestoreSession(DemoState& state, const SceneData& scene);

// Saves the state to the next free scene-NNNN.json in the working folder and prints its name
// (or why it could not). The interactive program calls it when the save key is pressed.
void SaveSceneFromKey(const DemoState& state);
// The scene file's text that the save key writes (the web page's Save downloads it). Throws
// std::runtime_error when the state cannot be written.
std::string SavedSceneText(const DemoState& state);

// What the interactive program prints at start-up.
extern const char* const kStartupLine;

// The program from start-up to the end of its loop, driven a frame at a time.
struct SandboxRun {
    SandboxRun() = default;
    SandboxRun(const SandboxRun&) = delete;
    SandboxRun& operator=(const SandboxRun&) = delete;

    DemoState state;
    FrameLoopHooks hooks;  // the caller's
    FrameLoop loop;
    bool finished = false;  // afterLoop has run
};

// Starts the host modules, then StartDemo (raising a run-time error without a window, as
// RunSandbox does) and prints the start-up line when interactive, into `run`, which must stay
// where it is: its loop points into it.
void StartSandbox(SandboxRun& run, const FrameLoopHooks& hooks = {},
                  const SandboxOptions& options = {});
// One turn of the run's loop; when the loop ends, runs afterLoop and returns false.
bool StepSandbox(SandboxRun& run);

// The whole program after the process entry: starts the host modules, then StartDemo and the
// frame loop. Returns the exit status, 0. Without a window nothing could ever end the loop (the
// quit key is read from the window's input), so that raises a run-time error instead; so does an
// interactive run with no display to show its window on. Runs at most once per process; a
// second call returns 0 at once.
int RunSandbox(const FrameLoopHooks& hooks = {}, const SandboxOptions& options = {});
