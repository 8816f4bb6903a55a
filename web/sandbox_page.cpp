// The sandbox in a web page: the pyramid (or any scene) on an 800 x 600 canvas, a frame at a
// time from the browser's animation frames, with the desktop's controls as the page's own HTML.
// Drag and release the left button (or a finger, or a pen) to throw a box or use the chosen
// tool, drag with the right button (or after a long press) to grab, hold Space for collision
// timings (printed to the page's console panel and the browser's console), hold Escape to end
// the simulation; the page then offers to start it again.
//
// The page drives the program through the functions below (exported to JavaScript). Everything
// that changes the run is a control command, the same text as a replay script's, applied at the
// start of the next frame, so that a recording of a page session replays on the desktop.
// The page learns how the run goes through Module.sandboxStatus(frames, bodies, stopped,
// frameMs), called after every frame, and Module.sandboxError(text) if the program fails.

#include <emscripten.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/builtin_scenes.h"
#include "app/controls.h"
#include "app/look.h"
#include "app/program.h"
#include "app/scene_file.h"
#include "app/scene_source.h"
#include "app/session_record.h"
#include "app/tools.h"
#include "app/trace.h"
#include "host/input.h"
#include "host/web/web_page.h"
#include "physics/body.h"
#include "web/sha256.h"

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

// The mean of the last `n` values of a statistics ring.
float RecentMean(const std::array<float, kStatsHistory>& ring, const FrameStats& stats, int32_t n) {
    n = std::min(n, stats.count);
    if (n <= 0) return 0.0f;
    float sum = 0.0f;
    for (int32_t i = 1; i <= n; ++i) {
        sum += ring[static_cast<size_t>((stats.next - i + kStatsHistory) % kStatsHistory)];
    }
    return sum / static_cast<float>(n);
}

// Numbers as JSON: text that reads back to the same double (and so the same float), or null.
std::string Number(double v) {
    if (!std::isfinite(v)) return "null";
    char text[32];
    std::snprintf(text, sizeof(text), "%.17g", v);
    return text;
}

// A flat JSON object for the page's script, built field by field.
class JsonObject {
  public:
    void Add(const char* name, const std::string& value, bool raw = false) {
        Key(name);
        if (raw) {
            text_ += value;
            return;
        }
        text_ += '"';
        for (unsigned char c : value) {
            if (c == '"' || c == '\\') {
                text_ += '\\';
                text_ += static_cast<char>(c);
            } else if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
                text_ += escaped;
            } else {
                text_ += static_cast<char>(c);
            }
        }
        text_ += '"';
    }
    void Add(const char* name, const char* value) { Add(name, std::string(value)); }
    void Add(const char* name, bool value) { Add(name, value ? "true" : "false", true); }
    void Add(const char* name, int32_t value) { Add(name, std::to_string(value), true); }
    void Add(const char* name, double value) { Add(name, Number(value), true); }
    void Add(const char* name, float value) { Add(name, Number(value), true); }
    std::string Text() const { return text_ + "}"; }

  private:
    void Key(const char* name) {
        text_ += text_.empty() ? "{\"" : ",\"";
        text_ += name;
        text_ += "\":";
    }
    std::string text_;
};

// A session being recorded: the script, as the desktop's --record writes it, and the hash of
// the trace a replay of it writes (--trace), frame by frame.
struct Recording {
    std::FILE* out = nullptr;
    char* text = nullptr;  // open_memstream's buffer
    size_t size = 0;
    std::unique_ptr<SessionRecorder> recorder;
    int32_t base = 0;    // the page's frames before the recording's first
    int32_t frames = 0;  // frames recorded
    Sha256 trace;

    ~Recording() {
        recorder.reset();
        if (out != nullptr) std::fclose(out);
        std::free(text);
    }
};

// The page's program, for the page's life: the run, its controls, and what the page asked for.
// The desktop's pace, 60 frames a second, on displays of any rate: an animation frame runs a
// frame of the program when the next one is due (with 2 ms of slack for the browser's jitter),
// and a late one is not made up later.
struct Page {
    Controls controls{nullptr};
    Gestures gestures{controls};  // presses and drags into tool commands, keys 1 to 7
    SandboxRun run;
    double due = 0.0;  // ms, on emscripten_get_now's clock
    bool stopped = false;
    double pageMs = 0.0;  // the page's own time per frame, smoothed
    std::unique_ptr<Recording> recording;
    std::string script;     // the last recording's script, once it has ended
    std::string traceHash;  // and the hash of its trace
    int32_t recordedFrames = 0;
    bool sceneLoaded = false;  // a scene command has replaced the program's own pyramid
    std::string result;        // what the last call returns to JavaScript
    std::string error;         // why the last call that can fail failed
};

Page* ThePage = nullptr;

// Tells the controls where the pointer is, as the desktop's panel does from the event chain:
// the ID layer labels the body under it.
ObjectRef WatchPointer(int32_t, const ObjectRef& data, const ObjectRef&) {
    if (const TEvent* ev = ObjectCast<TEvent>(data.get())) {
        if (ev->id == kEventMouseMove) ThePage->controls.SetPointer(ev->x, ev->y);
    }
    return data;
}

constexpr double kFramePeriodMs = 1000.0 / kWindowHertz;
constexpr double kSlackMs = 2.0;

void FinishRecording(Page& p) {
    if (!p.recording) return;
    Recording& r = *p.recording;
    r.recorder->Stop();
    r.recorder->Finish(r.frames);
    r.recorder.reset();
    std::fflush(r.out);
    p.script.assign(r.text, r.size);
    p.traceHash = r.trace.Hex();
    p.recordedFrames = r.frames;
    p.recording.reset();
}

void Stop(Page& p) {
    emscripten_cancel_main_loop();
    p.stopped = true;
    FinishRecording(p);
    // The run is over: the page takes no more input until it is started again.
    SetPageInput(false);
}

void Frame(void*) {
    Page& p = *ThePage;
    try {
        const double start = emscripten_get_now();
        if (start < p.due - kSlackMs) return;
        p.due += kFramePeriodMs;
        if (p.due < start) p.due = start + kFramePeriodMs;
        const bool going = StepSandbox(p.run);
        if (going) ReleaseHeldPagePointer();
        const double ms = emscripten_get_now() - start;
        ReportStatus(p.run.loop.frames, CountBodies(*p.run.state.world), going ? 0 : 1, ms);
        const double total = emscripten_get_now() - start;
        p.pageMs = p.pageMs == 0.0 ? total : p.pageMs * 0.95 + total * 0.05;
        if (!going) Stop(p);
    } catch (const std::exception& e) {
        ReportError(e.what());
        Stop(p);
    }
}

FrameLoopHooks PageHooks(Page& p) {
    FrameLoopHooks hooks;
    hooks.beforeQuitTest = [&p](int32_t frame, DemoState&) {
        if (p.recording) p.recording->recorder->BeginFrame(frame - p.recording->base);
    };
    hooks.afterFrame = [&p](DemoState& state) {
        if (!p.recording) return;
        Recording& r = *p.recording;
        ++r.frames;
        // The trace's lines for this frame, hashed and dropped.
        char* text = nullptr;
        size_t size = 0;
        std::FILE* f = open_memstream(&text, &size);
        if (f == nullptr) return;
        WriteTraceFrame(f, r.frames, *state.world);
        std::fclose(f);
        r.trace.Add(std::string_view(text, size));
        std::free(text);
    };
    return hooks;
}

ControlCommand Command(CommandKind kind, int32_t value = 0) {
    ControlCommand c;
    c.kind = kind;
    c.value = value;
    return c;
}

// A file name that a script line can carry and the desktop can open: letters, digits, '.',
// '-' and '_' (others become '_'), ending in .json.
std::string PlainFileName(const std::string& name) {
    std::string out;
    for (char c : name.substr(name.find_last_of("/\\") + 1)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        out += plain ? c : '_';
    }
    if (out.empty() || out[0] == '.') out = "scene" + out;
    if (out.size() < 5 || out.compare(out.size() - 5, 5, ".json") != 0) out += ".json";
    return out;
}

}  // namespace

extern "C" {

// Requests a control command given as a script line's text ("gravity 0 0.1", "scene chain");
// returns "" when it was queued for the next frame, else why not.
EMSCRIPTEN_KEEPALIVE const char* sandbox_command(const char* text) {
    Page& p = *ThePage;
    const std::string line = text;
    std::vector<std::string> words;
    size_t restAt = std::string::npos;
    for (size_t i = 0; i < line.size();) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        const size_t end = std::min(line.find_first_of(" \t", i), line.size());
        if (words.size() == 1) restAt = i;
        words.push_back(line.substr(i, end - i));
        i = end;
    }
    std::string rest;
    if (restAt != std::string::npos) {
        rest = line.substr(restAt);
        rest.erase(rest.find_last_not_of(" \t") + 1);
    }
    p.result.clear();
    if (p.stopped) {
        p.result = "the simulation has ended";
    } else if (std::optional<ControlCommand> c = ParseCommand(words, rest, p.result)) {
        p.controls.Request(*c);
    }
    return p.result.c_str();
}

// The run's state, as JSON: the settings as they will be at the next frame, the world's, the
// scene, the statistics, the recording.
EMSCRIPTEN_KEEPALIVE const char* sandbox_state() {
    Page& p = *ThePage;
    const ControlSettings& s = p.controls.Requested();
    const FrameStats& st = p.controls.Stats();
    const PhysicsWorld& world = *p.run.state.world;
    constexpr int32_t kRecent = 30;  // half a second
    JsonObject j;
    j.Add("frames", p.run.loop.frames);
    j.Add("stopped", p.stopped);
    j.Add("queued", QueuedPageInput());
    j.Add("scene", p.controls.SceneName());
    j.Add("sceneError", p.controls.SceneError());
    j.Add("paused", s.paused);
    j.Add("steps", s.stepsPerFrame);
    j.Add("bounce", s.throwing.bounce);
    j.Add("friction", s.throwing.friction);
    j.Add("divisor", s.throwing.divisor);
    j.Add("tool", ToolName(s.tool));
    j.Add("stiffness", s.stickElasticity);
    j.Add("draw",
          "[" + std::string(s.draw[0] ? "true" : "false") + "," + (s.draw[1] ? "true" : "false") +
              "," + (s.draw[2] ? "true" : "false") + "," + (s.draw[3] ? "true" : "false") + "]",
          true);
    j.Add("look", LookName(s.look));
    j.Add("gravity", "[" + Number(world.gravity->x) + "," + Number(world.gravity->y) + "]", true);
    j.Add("iterations", world.CONSTRAINT_ITERATIONS);
    j.Add("stable", world.stepMode == StepMode::kStable);
    j.Add("damping", world.contactDamping);
    j.Add("bodies", CountBodies(world));
    j.Add("particles", world.VerletArray->last);
    j.Add("constraints", world.ConstraintArray->last);
    j.Add("fps", st.framesPerSecond);
    j.Add("frameMs", RecentMean(st.frameMs, st, kRecent));
    j.Add("updateMs", RecentMean(st.updateMs, st, kRecent));
    j.Add("bodiesMs", RecentMean(st.bodiesMs, st, kRecent));
    j.Add("collideMs", RecentMean(st.collideMs, st, kRecent));
    j.Add("pageMs", p.pageMs);
    j.Add("recording", p.recording != nullptr);
    j.Add("recordingFrames", p.recording ? p.recording->frames : 0);
    j.Add("recorded", !p.script.empty());
    j.Add("recordedFrames", p.recordedFrames);
    j.Add("traceHash", p.traceHash);
    p.result = j.Text();
    return p.result.c_str();
}

// The statistics' rings of the last frames' milliseconds, for the page's plot, into `out`: the
// rings' length, the slot the next frame goes to, the count of frames kept, then the addresses
// (in the page's memory) of the rings of the frame and of a step's collision.
EMSCRIPTEN_KEEPALIVE void sandbox_stats_rings(uintptr_t* out) {
    const FrameStats& st = ThePage->controls.Stats();
    out[0] = static_cast<uintptr_t>(kStatsHistory);
    out[1] = static_cast<uintptr_t>(st.next);
    out[2] = static_cast<uintptr_t>(st.count);
    out[3] = reinterpret_cast<uintptr_t>(st.frameMs.data());
    out[4] = reinterpret_cast<uintptr_t>(st.collideMs.data());
}

// The built-in scenes' names, comma-separated.
EMSCRIPTEN_KEEPALIVE const char* sandbox_scenes() {
    ThePage->result = BuiltinSceneList();
    return ThePage->result.c_str();
}

// The scene as it stands, as the JSON text the desktop saves; "" and the reason in
// sandbox_error() when it cannot be written.
EMSCRIPTEN_KEEPALIVE const char* sandbox_save() {
    Page& p = *ThePage;
    p.error.clear();
    try {
        p.result = SavedSceneText(p.run.state);
    } catch (const std::exception& e) {
        p.result.clear();
        p.error = std::string("Cannot save the scene: ") + e.what();
    }
    return p.result.c_str();
}

EMSCRIPTEN_KEEPALIVE const char* sandbox_error() { return ThePage->error.c_str(); }

// Opens a scene file's `size` bytes at `bytes`, named `name` as the user's file was: checked
// as the desktop checks --scene (its error text, "" when good), then kept in the page's files
// under a plain name and started at the next frame.
EMSCRIPTEN_KEEPALIVE const char* sandbox_open(const char* name, const char* bytes, int size) {
    Page& p = *ThePage;
    const std::string file = PlainFileName(name);
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes, size);
        if (!out) {
            p.result = "'" + file + "' cannot be kept in the page";
            return p.result.c_str();
        }
    }
    SceneLoad load = ReadSceneArgument(file);
    p.result = load.scene ? "" : load.error;
    if (load.scene && !p.stopped) {
        ControlCommand c = Command(CommandKind::kScene);
        c.text = file;
        p.controls.Request(c);
    }
    if (!load.scene) std::remove(file.c_str());
    return p.result.c_str();
}

// Starts recording from the next frame: the current scene from its start, with the settings
// as they are, and every input and command after that. 0 when a recording is already going.
EMSCRIPTEN_KEEPALIVE int sandbox_record_start() {
    Page& p = *ThePage;
    if (p.recording || p.stopped) return 0;
    auto r = std::make_unique<Recording>();
    r->out = open_memstream(&r->text, &r->size);
    if (r->out == nullptr) return 0;
    r->recorder = std::make_unique<SessionRecorder>(
        r->out,
        "a session of the sandbox's page; run it again with: sandbox-replay --input FILE "
        "--frames N (N: the frame count at the end)");
    r->base = p.run.loop.frames;
    r->recorder->Start();
    p.recording = std::move(r);
    p.script.clear();
    p.traceHash.clear();
    p.recordedFrames = 0;

    // A replay starts from the program's defaults: the settings that differ are set again, and
    // the scene starts afresh, at the first frame.
    const ControlSettings& s = p.controls.Requested();
    const ControlSettings defaults;
    std::vector<ControlCommand> setup;
    if (s.stepsPerFrame != defaults.stepsPerFrame) {
        setup.push_back(Command(CommandKind::kSteps, s.stepsPerFrame));
    }
    if (s.throwing.divisor != defaults.throwing.divisor) {
        setup.push_back(Command(CommandKind::kDivisor, s.throwing.divisor));
    }
    if (s.throwing.bounce != defaults.throwing.bounce) {
        setup.push_back(Command(CommandKind::kBounce));
        setup.back().x = s.throwing.bounce;
    }
    if (s.throwing.friction != defaults.throwing.friction) {
        setup.push_back(Command(CommandKind::kFriction));
        setup.back().x = s.throwing.friction;
    }
    if (s.tool != defaults.tool) setup.push_back(Command(CommandKind::kTool, int32_t(s.tool)));
    if (s.stickElasticity != defaults.stickElasticity) {
        setup.push_back(Command(CommandKind::kStiffness));
        setup.back().x = s.stickElasticity;
    }
    for (int32_t i = 0; i < kDrawLayerCount; ++i) {
        if (s.draw[static_cast<size_t>(i)]) {
            setup.push_back(Command(CommandKind::kDraw, 1));
            setup.back().layer = static_cast<DrawLayer>(i);
        }
    }
    if (s.paused) setup.push_back(Command(CommandKind::kPause, 1));
    // The program's own pyramid is a restart; any other scene is loaded again by its name.
    if (!p.sceneLoaded) {
        setup.push_back(Command(CommandKind::kRestart));
    } else {
        setup.push_back(Command(CommandKind::kScene));
        setup.back().text = p.controls.SceneName();
    }
    for (const ControlCommand& c : setup) p.controls.Request(c);
    // The pointer where the page has it: a replay's starts at the window's corner.
    RepeatPagePointer();
    return 1;
}

// Ends the recording; its script and trace hash are then sandbox_recording()'s and in the state.
EMSCRIPTEN_KEEPALIVE void sandbox_record_stop() { FinishRecording(*ThePage); }

// The last recording's script, "" when there is none.
EMSCRIPTEN_KEEPALIVE const char* sandbox_recording() { return ThePage->script.c_str(); }

// A touch or pen on the canvas (0 press, 1 move, 2 release), in client coordinates.
EMSCRIPTEN_KEEPALIVE void sandbox_pointer(int phase, double clientX, double clientY) {
    if (phase < 0 || phase > 2) return;
    QueuePagePointer(static_cast<PagePointer>(phase), clientX, clientY);
}

// After Escape ended the simulation: the current scene from its start, taking input again.
EMSCRIPTEN_KEEPALIVE void sandbox_start_again() {
    Page& p = *ThePage;
    if (!p.stopped) return;
    p.stopped = false;
    SetPageInput(true);
    // Escape was down when the run ended; its release was never taken in.
    ResetKeyState();
    ResetMouseState();
    p.run.loop.ended = false;
    p.run.finished = false;
    p.run.state.held = false;
    p.controls.Request(Command(CommandKind::kRestart));
    p.due = emscripten_get_now();
    emscripten_set_main_loop_arg(Frame, nullptr, 0, 0);
}

}  // extern "C"

int main() {
    ThePage = new Page();  // for the page's life
    Page& p = *ThePage;
    p.controls.SetSceneResolver(&ResolveSceneArgument);
    p.controls.SetAppliedListener([&p](const ControlCommand& c) {
        if (c.kind == CommandKind::kScene) p.sceneLoaded = true;
        if (p.recording) p.recording->recorder->Command(c);
    });
    SandboxOptions options;
    options.controls = &p.controls;
    try {
        StartSandbox(p.run, PageHooks(p), options);
        AttachHook(EventHook, &WatchPointer, nullptr, 1);
        p.gestures.Start();
    } catch (const std::exception& e) {
        ReportError(e.what());
        return 1;
    }
    ReportStatus(0, CountBodies(*p.run.state.world), 0, 0.0);
    p.due = emscripten_get_now();
    // 0 frames a second: called on every animation frame.
    emscripten_set_main_loop_arg(Frame, nullptr, 0, 0);
    return 0;
}
