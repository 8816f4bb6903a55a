// The controls panel's renderer (host/backend.h): Dear ImGui's OpenGL 3 renderer, which draws
// with what OpenGL 3.3 core and OpenGL ES 3.0 share, so any back end that draws through the GL
// 2-D driver can host it. Whether it has started lives in the host's context.

#include <backends/imgui_impl_opengl3.h>
#include <imgui.h>

#include "host/backend.h"
#include "host/context.h"
#include "host/gl/gl_renderer.h"

namespace {

// The GL 2-D driver drawing now, or null when the 2-D graphics draws some other way.
TGLLumo2DDriver* CurrentGLDriver() {
    return ObjectCast<TGLLumo2DDriver>(Host().graphics.currentDriver2d);
}

}  // namespace

bool StartPanelRenderer() {
    bool& started = Host().graphics.panelRendererStarted;
    if (started) return true;
    const TGLLumo2DDriver* driver = CurrentGLDriver();
    const TGLSurface* surface = driver != nullptr ? driver->CurrentSurface() : nullptr;
    if (surface == nullptr) return false;
    started =
        ImGui_ImplOpenGL3_Init(surface->Pipeline().es ? "#version 300 es" : "#version 330 core");
    return started;
}

void StopPanelRenderer() {
    bool& started = Host().graphics.panelRendererStarted;
    if (!started) return;
    ImGui_ImplOpenGL3_Shutdown();
    started = false;
}

void PanelRendererNewFrame() {
    if (Host().graphics.panelRendererStarted) ImGui_ImplOpenGL3_NewFrame();
}

void RenderPanel(ImDrawData* data) {
    if (!Host().graphics.panelRendererStarted || data == nullptr) return;
    if (TGLLumo2DDriver* driver = CurrentGLDriver()) driver->Flush();
    ImGui_ImplOpenGL3_RenderDrawData(data);
}
