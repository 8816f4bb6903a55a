// The sandbox: a pyramid of boxes to knock over, or any scene file. Drag and release the left
// mouse button to throw a box, press F5 to save the scene, hold Space to print how long each
// collision pass takes, F1 for the controls panel, hold Escape to quit.
//
//   sandbox [--scene FILE|NAME] [--record FILE] [--trace FILE] [--look classic|clear]
//
// A bad command line, scene or output is reported before anything starts, with exit status 2;
// a run that cannot start (no display) or fails ends with status 1, and one ended with Escape
// with 0. Ctrl+C, SIGTERM and a closed terminal end the session between two frames: the
// recording and the trace hold every frame run, then the process ends by that signal.

#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/controls.h"
#include "app/message.h"
#include "app/output_file.h"
#include "app/panel.h"
#include "app/program.h"
#include "app/scene_source.h"
#include "app/session_record.h"
#include "app/tools.h"
#include "app/trace.h"
#include "host/backend.h"
#include "runtime/error.h"

namespace {

constexpr char kName[] = "sandbox";

int Fail(const std::string& message, int status) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", kName, Printable(message).c_str());
    return status;
}

// The outputs, made under their temporary names before anything starts; throws UsageError.
struct Outputs {
    std::unique_ptr<OutputFile> record, trace;
};
Outputs OpenOutputs(const SandboxCommandLine& cl) {
    Outputs out;
    const auto open = [](const char* option, const std::string& path) {
        std::unique_ptr<OutputFile> file;
        if (path.empty()) return file;
        try {
            file = std::make_unique<OutputFile>(path);
        } catch (const std::exception& e) {
            throw UsageError(option + std::string(": ") + e.what());
        }
        return file;
    };
    out.record = open("--record", cl.recordPath);
    out.trace = open("--trace", cl.tracePath);
    return out;
}

void Commit(OutputFile* file, const char* option) {
    if (file == nullptr) return;
    try {
        file->Commit();
    } catch (const std::exception& e) {
        RuntimeThrow(option + std::string(": ") + e.what());
    }
}

int RunSession(const SandboxCommandLine& cl, SandboxOptions& options, Outputs& out) {
    StartHost();
    if (!HostHasVisibleDisplay()) return RunSandbox({}, options);  // says why, and ends
    Controls controls(options.scene);
    controls.SetSceneResolver(&ResolveSceneArgument);  // the same rules as --scene
    if (!cl.scene.empty()) controls.SetStartSceneName(cl.scene);
    if (cl.look != Look::kClassic) controls.Schedule(LookCommand(cl.look));
    Panel panel(controls);
    panel.Start();
    Gestures gestures(controls);
    gestures.Start();
    std::unique_ptr<SessionRecorder> recorder;
    if (out.record) {
        std::string note = "sandbox session; run it again with: sandbox-replay --input FILE";
        if (!cl.scene.empty()) note += " --scene " + cl.scene;
        note += " --frames N (N: the frame count at the end)";
        recorder = std::make_unique<SessionRecorder>(out.record->stream(), note);
        recorder->Start();
        controls.SetAppliedListener([&](const ControlCommand& c) { recorder->Command(c); });
    }
    int32_t frames = 0;
    bool ending = false;
    FrameLoopHooks hooks;
    hooks.beforeQuitTest = [&](int32_t frame, DemoState&) {
        if (recorder) recorder->BeginFrame(frame);
        // A signal ends the session as a held Escape does, at this very test, so that the
        // recording holds the press and replays to this frame.
        if (!ending && SessionEndSignal() != 0) {
            ending = true;
            InjectKey(kQuitKey, true);
        }
    };
    hooks.afterFrame = [&](DemoState& state) {
        ++frames;
        if (out.trace && !WriteTraceFrame(out.trace->stream(), frames, *state.world)) {
            RuntimeThrow("--trace: cannot write '" + Shown(cl.tracePath) + "'");
        }
        if (recorder && !recorder->Flush()) {
            RuntimeThrow("--record: cannot write '" + Shown(cl.recordPath) + "'");
        }
    };
    options.controls = &controls;
    const int status = RunSandbox(hooks, options);
    if (recorder) {
        recorder->Stop();
        if (!recorder->Finish(frames)) {
            RuntimeThrow("--record: cannot write '" + Shown(cl.recordPath) + "'");
        }
    }
    Commit(out.record.get(), "--record");
    Commit(out.trace.get(), "--trace");
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // First of all: a signal from here on ends the session between frames.
    InstallSessionEndSignals();
    SandboxCommandLine cl;
    SandboxOptions options;
    options.interactive = true;
    SceneLoad load;
    Outputs out;
    try {
        cl = ParseSandboxCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (cl.help) {
            std::fputs(SandboxUsage().c_str(), stdout);
            return 0;
        }
        out = OpenOutputs(cl);
    } catch (const UsageError& e) {
        return Fail(std::string(e.what()) + " (--help for usage)", 2);
    }
    if (!cl.scene.empty()) {
        // Read and checked in full before anything starts: a bad file opens no window.
        load = ReadSceneArgument(cl.scene);
        for (const std::string& w : load.warnings) {
            std::fprintf(stderr, "%s: warning: %s\n", kName, Printable(w).c_str());
        }
        if (!load.scene) return Fail(load.error, 2);
        options.scene = &*load.scene;
    }
    int status = 0;
    try {
        status = RunSession(cl, options, out);
    } catch (const std::exception& e) {
        return Fail(e.what(), 1);
    }
    ReraiseSessionEndSignal();
    return status;
}
