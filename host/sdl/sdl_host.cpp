#include "host/sdl/sdl_host.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/console.h"
#include "host/event.h"
#include "host/graphics.h"
#include "host/sdl/gl_graphics.h"
#include "host/sdl/keymap.h"
#include "host/sdl/sdl_state.h"
#include "host/sdl/sdl_system.h"
#include "runtime/error.h"

namespace {

// The OpenGL library stays loaded to the end (the GL driver holds it): unloading it would tear
// down the renderer inside SDL_Quit for nothing, just before the process ends.
void QuitSdl() {
    if (!SdlState().displayLost) SDL_Quit();
}

// Xlib ends the process with exit() when the X server goes away; the exit handlers would then
// close the window and SDL over the dead connection and wait for its replies for ever. This
// handler marks the display lost first, so that they leave it alone, and says what happened.
int OnDisplayLost(void* /*display*/) {
    SdlState().displayLost = true;
    std::fprintf(stderr, "%s: the connection to the display was lost\n",
                 program_invocation_short_name);
    std::exit(1);
}

void WatchForLostDisplay() {
    const char* video = SDL_GetCurrentVideoDriver();
    if (video == nullptr || std::strcmp(video, "x11") != 0) return;
    // SDL links Xlib; the back end takes its entry point from there rather than linking it too.
    using Handler = int (*)(void*);
    using SetHandler = Handler (*)(Handler);
    if (void* set = dlsym(RTLD_DEFAULT, "XSetIOErrorHandler")) {
        reinterpret_cast<SetHandler>(set)(&OnDisplayLost);
    }
}

Uint32 ActiveWindowId() {
    SDL_Window* window = ActiveSdlWindow();
    return window != nullptr ? SDL_GetWindowID(window) : 0;
}

void Push(SDL_Event& e) {
    e.common.timestamp = SDL_GetTicks();
    if (SDL_PushEvent(&e) < 0) {
        RuntimeThrow(std::string("Cannot queue an input event: ") + SDL_GetError());
    }
}

Uint8 SdlButton(int32_t button) {
    switch (button) {
        case 1:
            return SDL_BUTTON_LEFT;
        case 2:
            return SDL_BUTTON_RIGHT;
        case 3:
            return SDL_BUTTON_MIDDLE;
        default:
            RuntimeThrow("Mouse button out of range: " + std::to_string(button));
    }
}

// The first scancode whose key maps back onto virtualKey under the current layout.
SDL_Scancode ScancodeForKey(int32_t virtualKey) {
    for (int s = SDL_SCANCODE_UNKNOWN + 1; s < SDL_NUM_SCANCODES; ++s) {
        const auto scancode = static_cast<SDL_Scancode>(s);
        if (VirtualKeyFromSdl(SDL_GetKeyFromScancode(scancode), scancode) == virtualKey) {
            return scancode;
        }
    }
    RuntimeThrow("No key has the code " + std::to_string(virtualKey));
}

Uint16 ModifierOf(SDL_Scancode s) {
    switch (s) {
        case SDL_SCANCODE_LSHIFT:
            return KMOD_LSHIFT;
        case SDL_SCANCODE_RSHIFT:
            return KMOD_RSHIFT;
        case SDL_SCANCODE_LCTRL:
            return KMOD_LCTRL;
        case SDL_SCANCODE_RCTRL:
            return KMOD_RCTRL;
        case SDL_SCANCODE_LALT:
            return KMOD_LALT;
        case SDL_SCANCODE_RALT:
            return KMOD_RALT;
        case SDL_SCANCODE_LGUI:
            return KMOD_LGUI;
        case SDL_SCANCODE_RGUI:
            return KMOD_RGUI;
        default:
            return 0;
    }
}

void PushWheel(int32_t whole, float precise) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = ActiveWindowId();
    e.wheel.y = whole;
    e.wheel.preciseY = precise;
    e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
#if SDL_VERSION_ATLEAST(2, 26, 0)
    e.wheel.mouseX = SdlState().injected.x;
    e.wheel.mouseY = SdlState().injected.y;
#endif
    Push(e);
}

void PushWindowEvent(Uint8 event) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = ActiveWindowId();
    e.window.event = event;
    Push(e);
}

}  // namespace

void StartHost() {
    if (SdlState().started) return;
    SdlState().started = true;
    // Ctrl+C in the terminal ends the process as usual, and closing the last window is a
    // close request like any other: nothing quits on the program's behalf.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
#ifdef SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE  // SDL 2.0.22; before it a quit event also terminates
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
#endif
    const bool video = SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) == 0;
    if (!video) SDL_Init(SDL_INIT_EVENTS);
    std::atexit(QuitSdl);
    if (video) WatchForLostDisplay();

    SetSystemDriver(std::make_shared<TSDLSystemDriver>());
    StartEvents();
    StartGraphics();
    if (Ref<TGLGraphicsDriver> gl = TGLGraphicsDriver::Create()) {
        SelectGraphicsDriver(gl, kGraphicsBackBuffer);
        if (Ref<TGLLumo2DDriver> gl2d = TGLLumo2DDriver::Create(gl)) {
            SdlState().gl2dDriver = gl2d;
            SelectGraphicsDriver(gl2d, kGraphicsBackBuffer);
        }
    }
}

bool HostHasVisibleDisplay() {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return false;
    const char* video = SDL_GetCurrentVideoDriver();
    return video != nullptr && std::strcmp(video, "offscreen") != 0 &&
           std::strcmp(video, "dummy") != 0;
}

void InjectMouseMove(int32_t x, int32_t y) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = ActiveWindowId();
    e.motion.state = SdlState().injected.buttons;
    e.motion.x = x;
    e.motion.y = y;
    e.motion.xrel = x - SdlState().injected.x;
    e.motion.yrel = y - SdlState().injected.y;
    SdlState().injected.x = x;
    SdlState().injected.y = y;
    Push(e);
}

void InjectMouseButton(int32_t button, bool down) {
    const Uint8 b = SdlButton(button);
    if (down) {
        SdlState().injected.buttons |= SDL_BUTTON(b);
    } else {
        SdlState().injected.buttons &= ~SDL_BUTTON(b);
    }
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.windowID = ActiveWindowId();
    e.button.button = b;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = 1;
    e.button.x = SdlState().injected.x;
    e.button.y = SdlState().injected.y;
    Push(e);
}

void InjectKey(int32_t virtualKey, bool down, bool repeat) {
    if (virtualKey < 1 || virtualKey > 255) {
        RuntimeThrow("Key code out of range: " + std::to_string(virtualKey));
    }
    const SDL_Scancode scancode = ScancodeForKey(virtualKey);
    if (const Uint16 modifier = ModifierOf(scancode)) {
        if (down) {
            SdlState().injected.mods |= modifier;
        } else {
            SdlState().injected.mods &= static_cast<Uint16>(~modifier);
        }
    }
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = ActiveWindowId();
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = (down && repeat) ? 1 : 0;
    e.key.keysym.scancode = scancode;
    e.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
    e.key.keysym.mod = SdlState().injected.mods;
    Push(e);
}

void InjectWheel(int32_t notches) { PushWheel(notches, static_cast<float>(notches)); }

void InjectWheelPrecise(float notches) {
    // SDL's whole-notch field counts completed notches; NaN or a huge amount has none.
    const bool representable = std::fabs(notches) < 2147483520.0f;
    PushWheel(representable ? static_cast<int32_t>(notches) : 0, notches);
}

void InjectText(std::string_view utf8) {
    // An event carries at most 31 bytes; split between characters, never inside one.
    constexpr size_t kMaxBytes = sizeof(SDL_TextInputEvent::text) - 1;
    while (!utf8.empty()) {
        size_t n = std::min(utf8.size(), kMaxBytes);
        while (n < utf8.size() && n > 0 && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80) {
            --n;
        }
        if (n == 0) n = std::min(utf8.size(), kMaxBytes);  // no boundary found: malformed text
        SDL_Event e{};
        e.type = SDL_TEXTINPUT;
        e.text.windowID = ActiveWindowId();
        std::memcpy(e.text.text, utf8.data(), n);
        e.text.text[n] = '\0';
        Push(e);
        utf8.remove_prefix(n);
    }
}

void InjectText(std::u16string_view text) { InjectText(Utf8FromUtf16(text)); }

void InjectFocus(bool gained) {
    PushWindowEvent(gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST);
}

void InjectCloseRequest() { PushWindowEvent(SDL_WINDOWEVENT_CLOSE); }

bool ReadBackBuffer(std::vector<uint8_t>& rgba, int32_t& width, int32_t& height) {
    TGLLumo2DDriver* driver = CurrentGLLumo2DDriver();
    return driver != nullptr && driver->ReadBackBuffer(rgba, width, height);
}

bool IsKeyCodeOfSomeKey(int32_t virtualKey) {
    // Every code some key position maps onto; the character keys of the default layout give
    // the same codes as their positions.
    static const std::array<bool, 256> codes = [] {
        std::array<bool, 256> table{};
        for (int32_t scancode = 1; scancode < SDL_NUM_SCANCODES; ++scancode) {
            const int32_t code = VirtualKeyFromSdl(0, scancode);
            if (code >= 1 && code <= 255) table[static_cast<size_t>(code)] = true;
        }
        return table;
    }();
    return virtualKey >= 1 && virtualKey <= 255 && codes[static_cast<size_t>(virtualKey)];
}
