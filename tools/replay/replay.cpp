#include "tools/replay/replay.h"

#include <unistd.h>
#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/controls.h"
#include "app/message.h"
#include "app/output_file.h"
#include "app/panel.h"
#include "app/program.h"
#include "app/scene_file.h"
#include "app/scene_source.h"
#include "app/tools.h"
#include "app/trace.h"
#include "host/backend.h"
#include "host/clock.h"
#include "host/graphics.h"
#include "host/hook.h"
#include "host/system.h"
#include "physics/verlet.h"
#include "tools/replay/output_check.h"
#include "tools/replay/png_writer.h"

namespace {

void Deliver(const ScriptEvent& e) {
    switch (e.kind) {
        case ScriptKind::kMove:
            InjectMouseMove(e.a, e.b);
            break;
        case ScriptKind::kDown:
            InjectMouseButton(e.a, true);
            break;
        case ScriptKind::kUp:
            InjectMouseButton(e.a, false);
            break;
        case ScriptKind::kKeyDown:
            InjectKey(e.a, true);
            break;
        case ScriptKind::kKeyUp:
            InjectKey(e.a, false);
            break;
        case ScriptKind::kWheel:
            InjectWheel(e.a);
            break;
        case ScriptKind::kFocus:
            InjectFocus(e.a != 0);
            break;
        case ScriptKind::kCommand:
            break;  // applied by the controls at the frame's start
    }
}

// Hands the script to the program where it belongs: commands to the controls for the start of
// their frame, events to SDL's queue just before the input query that is to take them in.
class ScriptFeed {
  public:
    ScriptFeed(const std::vector<ScriptEvent>& events, Controls& controls)
        : events_(events), controls_(controls) {}

    // Before frame F's quit test, its first query: what is due by then.
    void BeginFrame(int32_t frame) {
        frame_ = frame;
        pump_ = 0;
        while (next_ < events_.size() &&
               (events_[next_].frame < frame ||
                (events_[next_].frame == frame && events_[next_].pump <= 1))) {
            Take(events_[next_++]);
        }
    }

    static void OnPump(void* self) { static_cast<ScriptFeed*>(self)->Pump(); }

  private:
    void Pump() {
        ++pump_;
        // The quit test's query is served by BeginFrame, except before the first frame.
        if (frame_ > 0 && pump_ <= 1) return;
        while (next_ < events_.size() && events_[next_].frame == frame_ &&
               events_[next_].pump <= pump_) {
            Take(events_[next_++]);
        }
    }

    void Take(const ScriptEvent& e) {
        if (e.kind == ScriptKind::kCommand) {
            controls_.Schedule(e.command);
        } else {
            Deliver(e);
        }
    }

    const std::vector<ScriptEvent>& events_;
    Controls& controls_;
    size_t next_ = 0;
    int32_t frame_ = 0;  // 0: start-up, before the first frame
    int32_t pump_ = 0;
};

// Whether standard error is a terminal. Under node the C library takes every standard stream for
// one (a file or a pipe too), so node is asked.
bool StandardErrorIsTerminal() {
#ifdef __EMSCRIPTEN__
    return EM_ASM_INT({ return process.stderr.isTTY ? 1 : 0; }) == 1;
#else
    return isatty(STDERR_FILENO) == 1;
#endif
}

// A long run's progress on one updating line of standard error, when that is a terminal (a
// user watching); nothing otherwise, so that logs and pipes get the tool's messages alone.
class Progress {
  public:
    explicit Progress(int32_t frames) : frames_(frames), on_(StandardErrorIsTerminal()) {}
    ~Progress() {
        if (shown_) std::fputs("\r\x1b[K", stderr);  // the line goes when the run ends
    }

    void Frame(int32_t done) {
        if (!on_ || done < 1) return;
        const auto now = Clock::now();
        if (done == 1) {
            start_ = last_ = now;
            return;
        }
        if (now - last_ < std::chrono::milliseconds(250)) return;
        last_ = now;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double fps = seconds > 0.0 ? (done - 1) / seconds : 0.0;
        const double left = fps > 0.0 ? (frames_ - done) / fps : 0.0;
        std::fprintf(stderr, "\rframe %d of %d, %.0f frames a second, %.0f s left\x1b[K", done,
                     frames_, fps, left);
        std::fflush(stderr);
        shown_ = true;
    }

  private:
    using Clock = std::chrono::steady_clock;
    const int32_t frames_;
    const bool on_;
    bool shown_ = false;
    Clock::time_point start_{};
    Clock::time_point last_{};
};

// The statistics' clock in a replay: the host's, which is virtual, so that what the panel shows
// is the same in every run.
int64_t VirtualNanos() { return static_cast<int64_t>(ElapsedMs()) * 1000000; }

// Records each frame at its presentation: the particle trace, and the picture when one is due.
// It is the context object of its present hook.
class Recorder : public Object {
  public:
    static const ClassInfo kClass;

    // lastFrame: the frame the run is expected to draw last, whose picture --png asks for.
    Recorder(const ReplayOptions& options, std::unique_ptr<OutputFile> trace,
             std::unique_ptr<OutputFile> save, int32_t lastFrame)
        : Object(kClass),
          options_(options),
          trace_(std::move(trace)),
          save_(std::move(save)),
          lastFrame_(lastFrame) {}

    // The scene after the last frame, kept for Finish.
    void KeepScene(const DemoState& state) {
        if (!save_) return;
        try {
            sceneText_ = SavedSceneText(state);
        } catch (const std::exception& e) {
            Fail(std::string("--save: ") + e.what());
        }
    }

    void BeginFrame(int32_t frame, const DemoState* state) {
        frame_ = frame;
        state_ = state;
    }

    // Writes the last picture and commits the trace; throws std::runtime_error when either
    // cannot be written, or when the run did not end at the frame whose picture was kept.
    void Finish() {
        if (!error_.empty()) throw std::runtime_error(error_);
        if (!options_.pngPath.empty()) {
            if (drawn_ != lastFrame_ || lastPixels_.empty()) {
                throw std::runtime_error("--png: the run ended after frame " +
                                         std::to_string(drawn_) + ", not after frame " +
                                         std::to_string(lastFrame_) +
                                         " as its script foretold; no picture written");
            }
            WritePng(options_.pngPath, lastPixels_, lastWidth_, lastHeight_);
        }
        if (trace_) trace_->Commit();
        if (save_) {
            if (std::fputs(sceneText_.c_str(), save_->stream()) == EOF) {
                throw std::runtime_error("--save: cannot write '" + Shown(save_->path()) + "'");
            }
            save_->Commit();
        }
    }

    static ObjectRef OnPresent(int32_t, const ObjectRef& data, const ObjectRef& context) {
        static_cast<Recorder*>(context.get())->Record();
        return data;
    }

  private:
    void Record() {
        // The window's opening presents too, before the first frame: nothing to record then.
        if (frame_ < 1 || frame_ > options_.frames || state_ == nullptr) return;
        drawn_ = frame_;
        if (trace_) WriteTrace();
        const bool last = frame_ == lastFrame_ && !options_.pngPath.empty();
        const bool series = options_.pngEvery > 0 && frame_ % options_.pngEvery == 0;
        if (last || series) Capture(last, series);
    }

    // The world as it is now: a restart in this frame has replaced the one it began with.
    void WriteTrace() { WriteTraceFrame(trace_->stream(), frame_, *state_->world); }

    void Capture(bool last, bool series) {
        int32_t w = 0, h = 0;
        if (!ReadBackBuffer(pixels_, w, h)) {
            Fail("frame " + std::to_string(frame_) + ": cannot read the presented picture");
            return;
        }
        if (last) {
            // Written when the run is over and has been seen to end here.
            lastPixels_ = pixels_;
            lastWidth_ = w;
            lastHeight_ = h;
        }
        if (!series) return;
        try {
            char name[32];
            std::snprintf(name, sizeof(name), "frame-%06d.png", frame_);
            WritePng((std::filesystem::path(options_.pngDir) / name).string(), pixels_, w, h);
        } catch (const std::exception& e) {
            Fail(e.what());
        }
    }

    // Keeps the first failure for Finish; the run goes on so that the program ends its own way.
    void Fail(const std::string& message) {
        if (error_.empty()) error_ = message;
    }

    const ReplayOptions& options_;
    std::unique_ptr<OutputFile> trace_;
    std::unique_ptr<OutputFile> save_;
    std::string sceneText_;
    const int32_t lastFrame_;
    int32_t frame_ = 0;
    int32_t drawn_ = 0;  // the last frame presented
    const DemoState* state_ = nullptr;
    std::vector<uint8_t> pixels_;
    std::vector<uint8_t> lastPixels_;
    int32_t lastWidth_ = 0, lastHeight_ = 0;
    std::string error_;
};

const ClassInfo Recorder::kClass{"Recorder", &Object::kClass};

// The frame the run draws last: the script may hold Escape before the run's end.
int32_t LastFrame(const ReplayOptions& options, const std::vector<ScriptEvent>& events) {
    const ScriptQuit quit = FindScriptQuit(events, options.frames);
    return quit.frame > 0 ? quit.frame - 1 : options.frames;
}

}  // namespace

void CheckRun(const ReplayOptions& options, const std::vector<ScriptEvent>& events) {
    if (!options.pngPath.empty()) {
        if (options.frames < 1) throw UsageError("--png needs at least one frame");
        const ScriptQuit quit = FindScriptQuit(events, options.frames);
        if (quit.frame == 1) {
            throw UsageError("--png: the script holds Escape from frame 1 (" +
                             Shown(options.inputPath) + ":" + std::to_string(quit.line) +
                             "), so no frame is drawn");
        }
    }
    CheckOutputs(options, events);
}

ScriptScenes LoadScriptScenes(const std::vector<ScriptEvent>& events, const std::string& name) {
    ScriptScenes scenes;
    for (const ScriptEvent& e : events) {
        if (e.kind != ScriptKind::kCommand || e.command.kind != CommandKind::kScene) continue;
        if (scenes.count(e.command.text) != 0) continue;
        SceneLoad load = ReadSceneArgument(e.command.text);
        if (!load.scene) {
            throw UsageError(Shown(name) + ":" + std::to_string(e.line) + ": " + load.error);
        }
        scenes.emplace(e.command.text, std::make_shared<const SceneData>(std::move(*load.scene)));
    }
    return scenes;
}

int RunReplay(const ReplayOptions& options, const std::vector<ScriptEvent>& events,
              const SceneData* scene, const ScriptScenes& scenes) {
    if (options.pngEvery > 0) PreparePictureDirectory(options.pngDir);
    std::unique_ptr<OutputFile> trace;
    if (!options.tracePath.empty()) trace = std::make_unique<OutputFile>(options.tracePath);
    std::unique_ptr<OutputFile> save;
    if (!options.savePath.empty()) save = std::make_unique<OutputFile>(options.savePath);

    // Headless and on virtual time: pacing advances the clock instead of sleeping.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    VirtualClock clock;
    SetHostClock(&clock);

    auto recorder = std::make_shared<Recorder>(options, std::move(trace), std::move(save),
                                               LastFrame(options, events));
    // The controls as the live program has them, but taking commands from the script alone:
    // the panel shows, and its widgets and keys change nothing.
    Controls controls(scene);
    controls.SetLiveInput(false);
    controls.SetStatsClock(&VirtualNanos);
    if (!options.scene.empty()) controls.SetStartSceneName(options.scene);
    if (options.look != Look::kClassic) controls.Schedule(LookCommand(options.look));
    controls.SetSceneResolver([&scenes](const std::string& arg, std::string& error) {
        const auto found = scenes.find(arg);
        if (found != scenes.end()) return found->second;
        error = "'" + Shown(arg) + "' was not loaded before the run";
        return std::shared_ptr<const SceneData>();
    });
    StartHost();
    Panel panel(controls);
    panel.Start();
    Gestures gestures(controls);
    gestures.Start();
    ScriptFeed feed(events, controls);
    SetPumpListener(&ScriptFeed::OnPump, &feed);
    Progress progress(options.frames);
    FrameLoopHooks hooks;
    hooks.beforeQuitTest = [&](int32_t frame, DemoState& state) {
        progress.Frame(frame - 1);
        if (frame == 1) AttachHook(PresentHook, &Recorder::OnPresent, recorder, 0);
        recorder->BeginFrame(frame, &state);
        feed.BeginFrame(frame);
        // The program ends its own way: Escape held at the test after the last frame.
        if (frame - 1 == options.frames) InjectKey(kQuitKey, true);
    };
    hooks.afterLoop = [&](DemoState& state) { recorder->KeepScene(state); };
    SandboxOptions sandbox;
    sandbox.scene = scene;
    sandbox.controls = &controls;
    int status = 0;
    auto unhook = [&] {
        SetPumpListener(nullptr, nullptr);
        DetachHook(PresentHook, &Recorder::OnPresent, recorder);
        SetHostClock(nullptr);
    };
    try {
        status = RunSandbox(hooks, sandbox);
    } catch (...) {
        // Unhook the recorder so that it goes, and with it the unfinished trace file.
        unhook();
        throw;
    }
    unhook();
    recorder->Finish();
    return status;
}
