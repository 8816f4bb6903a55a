#pragma once
// The sandbox's controls: what a running program lets its user change (app/settings.h), through
// commands (app/command.h), the tools' hold on the world (app/tools.h), and the parts of the
// program's frame that honour them.
//
// Every change is a ControlCommand, applied at the start of a frame before its first step. Live,
// the panel and its keys request them; in a replay they come from the script. Each one applied
// is reported (a session recorder writes it as a script line), so a replay applies the same
// command at the same frame and the two runs stay bit for bit the same. The frame itself is the
// program's one frame (RunFrame, app/program.h), which calls the controls at four points;
// untouched, it does exactly what it does without them.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/command.h"
#include "app/frame_stats.h"
#include "app/program.h"
#include "app/scene_file.h"
#include "app/settings.h"
#include "app/tools.h"

class Panel;

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

    // The frame's parts, in the order the frame calls them. Before the picture is cleared: the
    // pending commands, the statistics' start, and what this frame does.
    FramePlan BeginFrame(DemoState& state);
    // After the steps, before the mouse step: the world in the clear look, or a paused frame's
    // picture of it in the classic one.
    void AfterSteps(DemoState& state);
    // After the mouse step, before the cursor cross: the debug drawing.
    void DrawLayers(const DemoState& state);
    // After the cursor cross, before presenting: the gesture under way, the statistics and the
    // panel.
    void EndFrame(DemoState& state);

    const ControlSettings& Settings() const { return settings_; }
    // The settings as they will be once the queued requests are applied.
    const ControlSettings& Requested() const { return requested_; }
    const FrameStats& Stats() const { return stats_; }
    // A line said on the canvas for the next few seconds ("Saved scene-0001.json").
    void Notify(const std::string& text);

    // The tools' hold on the world.
    const ToolActions& Tools() const { return tools_; }
    // Holds again what a saved scene held (Grab::Resume). A replay goes on with it as its script
    // says; live, where no button holds it any more, it is let go at the first frame (a `release`
    // command, so that a recording of the session replays the same).
    void ResumeGrab(const Ref<Verlet>& particle, const Ref<Verlet>& anchor,
                    const Ref<constraint>& spring, float x, float y);
    // What the current scene is called ("pyramid" for the demo's own).
    const std::string& SceneName() const { return sceneName_; }
    // The last scene load that failed, for the panel; empty after a good one.
    const std::string& SceneError() const { return sceneError_; }

  private:
    void Apply(const ControlCommand& command, DemoState& state);
    void Restart(DemoState& state);
    // Points the world's line sink and the background at the look in force.
    void UseLook(DemoState& state);
    void DrawStillWorld(PhysicsWorld& world);
    void DrawNotices();

    ControlSettings settings_;
    ControlSettings requested_;
    bool stepOnce_ = false;
    bool liveInput_ = true;
    std::vector<ControlCommand> pending_;
    std::vector<ControlCommand> applying_;
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
    int64_t frameStart_ = 0;
    StepTimes times_;
    int32_t steps_ = 0;  // the steps this frame runs
    int32_t pointerX_ = 0, pointerY_ = 0;
    bool havePointer_ = false;
};
