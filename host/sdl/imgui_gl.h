#pragma once
// The controls panel's renderer: Dear ImGui's OpenGL 3 back end drawing into the current GL
// window. It draws after the 2-D driver has sent its batch, so the panel lies on top of the
// scene, and it saves and restores the GL state it changes (program, buffers, vertex array,
// blending, scissor, viewport), so the 2-D driver draws on as before. An ImGui context must be
// current for every call.

struct ImDrawData;

// Starts the back end on the current GL context (desktop OpenGL 3.3 or OpenGL ES 3.0); false
// when there is none or the back end cannot start.
bool StartImGuiRenderer();
void StopImGuiRenderer();
// Before ImGui::NewFrame: makes the font texture and shaders on first use.
void ImGuiRendererNewFrame();
// Sends the 2-D driver's batch, then draws the lists.
void RenderImGuiDrawData(ImDrawData* data);
