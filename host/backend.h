#pragma once
// What every platform back end provides to programs, scripts and tests: start-up, input
// injection and reading back the picture. The back end a program links (host/sdl on the
// desktop, host/web in a browser or under node) implements them.

#include <cstdint>
#include <string_view>
#include <vector>

// Runs every host module's initialiser once, in order: the platform, the system driver,
// EventHook, the general event queue, PresentHook, then the graphics drivers, the 2-D one
// selected with default flags 2. Without video the host still runs, and opening a window gives
// none (back ends may say otherwise: see their headers). Later calls do nothing.
void StartHost();

// Whether windows appear where someone can see them: false when the platform runs without video
// or on a driver that draws into memory only (which SDL falls back to by itself when no display
// can be reached).
bool HostHasVisibleDisplay();

// Input injection, for the active window: each call queues the platform's own kind of input
// event, which the normal pump then translates like any other input. Positions are client
// pixels and may lie outside the window.
void InjectMouseMove(int32_t x, int32_t y);
// button: 1 left, 2 right, 3 middle; pressed at the last injected position.
void InjectMouseButton(int32_t button, bool down);
// virtualKey: a host key code (27 Escape, 160 left shift ...). The modifier keys update the
// modifier state the following injected keys carry.
void InjectKey(int32_t virtualKey, bool down, bool repeat = false);
// Whole wheel notches (positive: away from the user).
void InjectWheel(int32_t notches);
// Wheel motion as a precise (possibly fractional) amount of notches.
void InjectWheelPrecise(float notches);
// Typed text, UTF-8 or UTF-16.
void InjectText(std::string_view utf8);
void InjectText(std::u16string_view text);
// The window gaining or losing the input focus.
void InjectFocus(bool gained);
// The close box.
void InjectCloseRequest();

// True when some key produces the virtual-key code (1..255), so that InjectKey can press it.
bool IsKeyCodeOfSomeKey(int32_t virtualKey);

// Reads the current back buffer (top row first, RGBA8); false without an open GL graphics.
// Works from a PresentHook callback, which runs before the buffers are swapped.
bool ReadBackBuffer(std::vector<uint8_t>& rgba, int32_t& width, int32_t& height);

// The controls panel's renderer: Dear ImGui's draw lists drawn over the current window after
// the 2-D layer has sent its batch, so the panel lies on top of the scene. It saves and
// restores the GL state it changes, so the 2-D layer draws on as before. An ImGui context must
// be current for every call. The back ends that draw with GL provide it (host/gl); a build
// without Dear ImGui has no panel and never calls it.
struct ImDrawData;
// Starts on the current window's context; false when there is none or the renderer cannot
// start there. Later calls return true at once.
bool StartPanelRenderer();
void StopPanelRenderer();
// Before ImGui::NewFrame: makes the font texture and shaders on first use.
void PanelRendererNewFrame();
// Sends the 2-D layer's batch, then draws the lists.
void RenderPanel(ImDrawData* data);
