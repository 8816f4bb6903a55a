#include "host/sdl/sdl_system.h"

#include <SDL.h>

#include <cmath>

#include "host/console.h"
#include "host/event.h"
#include "host/graphics.h"
#include "host/keys.h"
#include "host/sdl/gl_graphics.h"
#include "host/sdl/keymap.h"
#include "host/sdl/sdl_state.h"

const ClassInfo TSDLSystemDriver::kClass{"TSDLSystemDriver", &TSystemDriver::kClass};

namespace {

void Emit(int32_t id, int32_t data, int32_t mods, int32_t x, int32_t y,
          const ObjectRef& source = nullptr) {
    TEvent::Create(id, source, data, mods, x, y, nullptr)->Emit();
}

int32_t ModsFromSdl(Uint16 mod) {
    int32_t mods = 0;
    if (mod & KMOD_SHIFT) mods |= kModShift;
    if (mod & KMOD_CTRL) mods |= kModControl;
    if (mod & KMOD_ALT) mods |= kModAlt;
    if (mod & KMOD_GUI) mods |= kModSystem;
    return mods;
}

bool IsModifierKey(SDL_Scancode s) { return s >= SDL_SCANCODE_LCTRL && s <= SDL_SCANCODE_RGUI; }

void ApplyPointerVisibility() {
    SDL_ShowCursor(SdlState().pointerVisible || SdlState().trackedWindow == 0 ? SDL_ENABLE
                                                                              : SDL_DISABLE);
}

// Enter/leave tracking: hovered is the window the pointer is now inside (0: none); (x, y) is
// the pointer in client pixels.
void TrackPointer(Uint32 hovered, int32_t x, int32_t y) {
    if (hovered == SdlState().trackedWindow) return;
    if (SdlState().trackedWindow != 0) {
        Emit(kEventMouseLeave, 0, 0, x, y, SdlState().trackedSource);
    }
    SdlState().trackedWindow = hovered;
    SdlState().trackedSource = nullptr;
    ApplyPointerVisibility();
    if (hovered != 0) Emit(kEventMouseEnter, 0, 0, x, y);
}

// The window the pointer counts as hovering after a move to (x, y) in window id.
Uint32 HoveredWindow(Uint32 id, int32_t x, int32_t y) {
    SDL_Window* window = SDL_GetWindowFromID(id);
    if (window == nullptr) return 0;
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    return (x >= 0 && x < w && y >= 0 && y < h) ? id : 0;
}

// SDL numbers the middle button 2 and the right one 3; the host the other way round.
int32_t ButtonFromSdl(Uint8 button) {
    switch (button) {
        case SDL_BUTTON_LEFT:
            return 1;
        case SDL_BUTTON_RIGHT:
            return 2;
        case SDL_BUTTON_MIDDLE:
            return 3;
        default:
            return 0;
    }
}

// Whole notches, truncated toward zero; precise values where SDL gives them.
int32_t WheelNotches(const SDL_MouseWheelEvent& wheel) {
    float notches = wheel.preciseY;
    if (notches == 0.0f && wheel.y != 0) notches = static_cast<float>(wheel.y);
    if (wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
    if (!(std::fabs(notches) < 2147483520.0f)) return 0;  // NaN or beyond int32: no notches
    return static_cast<int32_t>(std::trunc(notches));
}

int32_t EmitText(const char* utf8) {
    int32_t count = 0;
    for (char16_t unit : Utf16FromUtf8(utf8)) {
        Emit(kEventKeyChar, unit, SdlState().mods, 0, 0);
        ++count;
    }
    return count;
}

}  // namespace

int32_t SystemModifierState() { return SdlState().mods; }

bool EmitSdlEvent(const SDL_Event& e) {
    int32_t id = 0, data = 0, x = 0, y = 0;
    int32_t typed = 0;  // a character to follow a key press
    switch (e.type) {
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
                case SDL_WINDOWEVENT_FOCUS_GAINED: {
                    SDL_Window* window = SDL_GetWindowFromID(e.window.windowID);
                    if (window && (SDL_GetWindowFlags(window) & SDL_WINDOW_MINIMIZED)) {
                        return false;
                    }
                    id = kEventAppResume;
                    break;
                }
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    id = kEventAppSuspend;
                    break;
                case SDL_WINDOWEVENT_CLOSE:
                    // Answered here: the window stays open, only the event results.
                    id = kEventAppTerminate;
                    break;
                case SDL_WINDOWEVENT_LEAVE:
                    if (e.window.windowID == SdlState().trackedWindow) {
                        TrackPointer(0, SdlState().pointerX, SdlState().pointerY);
                    }
                    return false;
                default:
                    return false;
            }
            break;
        case SDL_QUIT:
            id = kEventAppTerminate;
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            const SDL_Keysym& k = e.key.keysym;
            if (IsModifierKey(k.scancode)) SdlState().mods = ModsFromSdl(k.mod);
            data = VirtualKeyFromSdl(k.sym, k.scancode);
            if (data < 1 || data > 255) return false;
            if (e.type == SDL_KEYUP) {
                id = kEventKeyUp;
            } else {
                id = e.key.repeat ? kEventKeyRepeat : kEventKeyDown;
                typed = CharacterOfKey(data);
            }
            break;
        }
        case SDL_TEXTINPUT:
            return EmitText(e.text.text) > 0;
        case SDL_MOUSEMOTION:
            x = e.motion.x;
            y = e.motion.y;
            SdlState().pointerX = x;
            SdlState().pointerY = y;
            TrackPointer(HoveredWindow(e.motion.windowID, x, y), x, y);
            id = kEventMouseMove;
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            data = ButtonFromSdl(e.button.button);
            if (data == 0) return false;
            // While a button is down the pointer stays ours, so positions keep arriving from
            // outside the window. Capture may be unsupported (offscreen): then it is refused.
            SDL_CaptureMouse(e.type == SDL_MOUSEBUTTONDOWN ? SDL_TRUE : SDL_FALSE);
            id = e.type == SDL_MOUSEBUTTONDOWN ? kEventMouseDown : kEventMouseUp;
            x = e.button.x;
            y = e.button.y;
            break;
        case SDL_MOUSEWHEEL:
            id = kEventMouseWheel;
            data = WheelNotches(e.wheel);
#if SDL_VERSION_ATLEAST(2, 26, 0)
            x = e.wheel.mouseX;
            y = e.wheel.mouseY;
#else
            // Older SDL gives no position with the wheel: the pointer's last position stands in.
            x = SdlState().pointerX;
            y = SdlState().pointerY;
#endif
            break;
        default:
            return false;
    }
    Emit(id, data, SdlState().mods, x, y);
    if (typed != 0) Emit(kEventKeyChar, typed, SdlState().mods, 0, 0);
    return true;
}

void TSDLSystemDriver::Poll() {
    SDL_Event e;
    while (SDL_PollEvent(&e)) EmitSdlEvent(e);
}

void TSDLSystemDriver::Wait() {
    SDL_Event e;
    if (SDL_WaitEvent(&e)) EmitSdlEvent(e);
    Poll();
}

void TSDLSystemDriver::MoveMouse(int32_t x, int32_t y) {
    if (SDL_Window* window = ActiveSdlWindow()) {
        SDL_WarpMouseInWindow(window, x, y);
    } else {
        SDL_WarpMouseGlobal(x, y);
    }
}

void TSDLSystemDriver::SetMouseVisible(int32_t visible) {
    SdlState().pointerVisible = visible != 0;
    ApplyPointerVisibility();
}

void TSDLSystemDriver::Notify(const std::string& text, int32_t serious) {
    SDL_ShowSimpleMessageBox(serious ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION,
                             AppTitle().c_str(), text.c_str(), ActiveSdlWindow());
}

namespace {

int32_t AskButtons(const std::string& text, int32_t serious, bool withCancel) {
    SDL_MessageBoxButtonData buttons[3] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
        {withCancel ? 0u : static_cast<Uint32>(SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT), 0, "No"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, -1, "Cancel"},
    };
    SDL_MessageBoxData box{};
    box.flags = serious ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_INFORMATION;
    box.window = ActiveSdlWindow();
    box.title = AppTitle().c_str();
    box.message = text.c_str();
    box.numbuttons = withCancel ? 3 : 2;
    box.buttons = buttons;
    int pressed = withCancel ? -1 : 0;
    // Without a way to ask (no display), the cautious answer stands.
    if (SDL_ShowMessageBox(&box, &pressed) != 0) return withCancel ? -1 : 0;
    return !withCancel && pressed < 0 ? 0 : pressed;  // a box closed unanswered means no
}

}  // namespace

int32_t TSDLSystemDriver::Confirm(const std::string& text, int32_t serious) {
    return AskButtons(text, serious, false);
}

int32_t TSDLSystemDriver::Proceed(const std::string& text, int32_t serious) {
    return AskButtons(text, serious, true);
}

int32_t TSDLSystemDriver::OpenURL(const std::string& url) {
    return SDL_OpenURL(url.c_str()) == 0 ? 1 : 0;
}
