// The sandbox: a pyramid of boxes to knock over, or any scene file. Drag and release the left
// mouse button to throw a box, press F5 to save the scene, hold Space to print how long each
// collision pass takes, F1 for the controls panel, hold Escape to quit.
//
//   sandbox [--scene FILE|NAME] [--record FILE] [--trace FILE]

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/controls.h"
#include "app/panel.h"
#include "app/program.h"
#include "app/scene_source.h"
#include "app/session_record.h"
#include "app/tools.h"
#include "app/trace.h"
#include "host/backend.h"
#include "runtime/error.h"
#include "runtime/text.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens an output before anything starts; an empty path gives none.
bool OpenOutput(const std::string& path, const char* option, File& file) {
    if (path.empty()) return true;
    file.reset(std::fopen(path.c_str(), "w"));
    if (file) return true;
    std::fprintf(stderr, "sandbox: %s: cannot write '%s': %s\n", option,
                 MessageText(path, 100).c_str(), std::strerror(errno));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    SandboxCommandLine cl;
    try {
        cl = ParseSandboxCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const CommandLineError& e) {
        std::fprintf(stderr, "sandbox: %s (--help for usage)\n", e.what());
        return 2;
    }
    if (cl.help) {
        std::fputs(SandboxUsage().c_str(), stdout);
        return 0;
    }
    SandboxOptions options;
    options.interactive = true;
    SceneLoad load;
    if (!cl.scene.empty()) {
        // Read and checked in full before anything starts: a bad file opens no window.
        load = ReadSceneArgument(cl.scene);
        for (const std::string& w : load.warnings) {
            std::fprintf(stderr, "sandbox: warning: %s\n", w.c_str());
        }
        if (!load.scene) {
            std::fprintf(stderr, "sandbox: %s\n", load.error.c_str());
            return 2;
        }
        options.scene = &*load.scene;
    }
    return RunGuarded([&] {
        StartHost();
        if (!HostHasVisibleDisplay()) return RunSandbox({}, options);  // says why, and ends
        File record, trace;
        if (!OpenOutput(cl.recordPath, "--record", record)) return 2;
        if (!OpenOutput(cl.tracePath, "--trace", trace)) return 2;

        Controls controls(options.scene);
        controls.SetSceneResolver(&ResolveSceneArgument);  // the same rules as --scene
        if (!cl.scene.empty()) controls.SetStartSceneName(cl.scene);
        Panel panel(controls);
        panel.Start();
        Gestures gestures(controls);
        gestures.Start();
        std::unique_ptr<SessionRecorder> recorder;
        if (record) {
            std::string note = "sandbox session; run it again with: sandbox-replay --input FILE";
            if (!cl.scene.empty()) note += " --scene " + cl.scene;
            note += " --frames N (N: the frame count at the end)";
            recorder = std::make_unique<SessionRecorder>(record.get(), note);
            recorder->Start();
            controls.SetAppliedListener([&](const ControlCommand& c) { recorder->Command(c); });
        }
        int32_t frames = 0;
        FrameLoopHooks hooks;
        hooks.beforeQuitTest = [&](int32_t frame, DemoState&) {
            if (recorder) recorder->BeginFrame(frame);
        };
        hooks.afterFrame = [&](DemoState& state) {
            ++frames;
            if (trace && !WriteTraceFrame(trace.get(), frames, *state.world)) {
                RuntimeThrow("--trace: cannot write '" + MessageText(cl.tracePath, 100) + "'");
            }
            if (recorder && !recorder->Flush()) {
                RuntimeThrow("--record: cannot write '" + MessageText(cl.recordPath, 100) + "'");
            }
        };
        options.controls = &controls;
        const int status = RunSandbox(hooks, options);
        if (recorder) {
            recorder->Stop();
            if (!recorder->Finish(frames)) {
                RuntimeThrow("--record: cannot write '" + MessageText(cl.recordPath, 100) + "'");
            }
        }
        if (trace && std::fflush(trace.get()) != 0) {
            RuntimeThrow("--trace: cannot write '" + MessageText(cl.tracePath, 100) + "'");
        }
        return status;
    });
}
