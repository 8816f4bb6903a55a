#include "host/sdl/imgui_gl.h"

#include <SDL.h>
#include <backends/imgui_impl_opengl3.h>
#include <imgui.h>

#include "host/sdl/gl_graphics.h"

namespace {

bool g_started = false;

}  // namespace

bool StartImGuiRenderer() {
    if (g_started) return true;
    if (SDL_GL_GetCurrentContext() == nullptr) return false;
    int profile = 0;
    SDL_GL_GetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, &profile);
    const bool es = profile == SDL_GL_CONTEXT_PROFILE_ES;
    g_started = ImGui_ImplOpenGL3_Init(es ? "#version 300 es" : "#version 330 core");
    return g_started;
}

void StopImGuiRenderer() {
    if (!g_started) return;
    ImGui_ImplOpenGL3_Shutdown();
    g_started = false;
}

void ImGuiRendererNewFrame() {
    if (g_started) ImGui_ImplOpenGL3_NewFrame();
}

void RenderImGuiDrawData(ImDrawData* data) {
    if (!g_started || data == nullptr) return;
    if (TGLLumo2DDriver* driver = CurrentGLLumo2DDriver()) driver->Flush();
    ImGui_ImplOpenGL3_RenderDrawData(data);
}
