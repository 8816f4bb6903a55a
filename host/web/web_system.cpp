#include "host/web/web_system.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "host/console.h"
#include "host/event.h"
#include "host/graphics.h"
#include "host/keys.h"
#include "host/web/web_keymap.h"
#include "host/web/web_state.h"

const ClassInfo TWebSystemDriver::kClass{"TWebSystemDriver", &TSystemDriver::kClass};

namespace {

void Emit(int32_t id, int32_t data, int32_t mods, int32_t x, int32_t y) {
    TEvent::Create(id, nullptr, data, mods, x, y, nullptr)->Emit();
}

// The DOM numbers the middle button 1 and the right one 2; the host the other way round.
int32_t ButtonFromDom(int32_t button) {
    switch (button) {
        case 0:
            return 1;
        case 2:
            return 2;
        case 1:
            return 3;
        default:
            return 0;
    }
}

// Whole notches, truncated toward zero: a notch is 3 lines, or 100 pixels, or a page.
int32_t WheelNotches(const WebInput& in) {
    double notches = -in.deltaY;
    if (in.deltaMode == 0) notches /= 100.0;
    if (in.deltaMode == 1) notches /= 3.0;
    if (!(std::fabs(notches) < 2147483520.0)) return 0;  // NaN or beyond int32: no notches
    return static_cast<int32_t>(std::trunc(notches));
}

// Enter/leave tracking against the canvas.
void TrackPointer(int32_t x, int32_t y) {
    WebHostState& s = WebState();
    const bool inside = x >= 0 && x < GraphicsWidth() && y >= 0 && y < GraphicsHeight();
    if (inside == s.pointerInside) return;
    s.pointerInside = inside;
    Emit(inside ? kEventMouseEnter : kEventMouseLeave, 0, 0, x, y);
}

// A key's own text, when it types one: a single character, as UTF-16 code units.
int32_t EmitTypedText(const char* key, int32_t mods) {
    const std::u16string text = Utf16FromUtf8(key);
    // Names of keys ("Enter", "Shift") are longer than one character; a surrogate pair is one.
    const bool one =
        text.size() == 1 || (text.size() == 2 && text[0] >= 0xD800 && text[0] <= 0xDBFF);
    if (!one || (mods & (kModControl | kModSystem)) != 0) return 0;
    for (char16_t unit : text) Emit(kEventKeyChar, unit, mods, 0, 0);
    return static_cast<int32_t>(text.size());
}

}  // namespace

void SetWebInputText(char (&field)[32], std::string_view text) {
    size_t n = std::min(text.size(), sizeof(field) - 1);
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

void QueueWebInput(const WebInput& input) { WebState().queue.push_back(input); }

bool EmitWebInput(const WebInput& in) {
    WebHostState& s = WebState();
    int32_t id = 0, data = 0, x = 0, y = 0;
    switch (in.kind) {
        case WebInput::Kind::kFocus:
            id = kEventAppResume;
            break;
        case WebInput::Kind::kBlur:
            id = kEventAppSuspend;
            break;
        case WebInput::Kind::kClose:
            id = kEventAppTerminate;
            break;
        case WebInput::Kind::kText: {
            const std::u16string text = Utf16FromUtf8(in.key);
            for (char16_t unit : text) Emit(kEventKeyChar, unit, in.mods, 0, 0);
            return !text.empty();
        }
        case WebInput::Kind::kKeyDown:
        case WebInput::Kind::kKeyUp: {
            data = VirtualKeyFromDom(in.key, in.code);
            if (data < 1 || data > 255) return false;
            if (in.kind == WebInput::Kind::kKeyUp) {
                Emit(kEventKeyUp, data, in.mods, 0, 0);
                return true;
            }
            Emit(in.repeat ? kEventKeyRepeat : kEventKeyDown, data, in.mods, 0, 0);
            if (in.repeat) return true;
            if (const int32_t typed = CharacterOfKey(data)) {
                Emit(kEventKeyChar, typed, in.mods, 0, 0);
            } else {
                EmitTypedText(in.key, in.mods);
            }
            return true;
        }
        case WebInput::Kind::kMove:
            x = in.x;
            y = in.y;
            s.pointerX = x;
            s.pointerY = y;
            TrackPointer(x, y);
            id = kEventMouseMove;
            break;
        case WebInput::Kind::kDown:
        case WebInput::Kind::kUp:
            data = ButtonFromDom(in.button);
            if (data == 0) return false;
            id = in.kind == WebInput::Kind::kDown ? kEventMouseDown : kEventMouseUp;
            x = in.x;
            y = in.y;
            break;
        case WebInput::Kind::kWheel:
            id = kEventMouseWheel;
            data = WheelNotches(in);
            x = in.x;
            y = in.y;
            break;
    }
    Emit(id, data, in.mods, x, y);
    return true;
}

void TWebSystemDriver::Poll() {
    WebHostState& s = WebState();
    // Records queued while these are emitted (by an event handler) wait for the next pump.
    std::swap(s.taken, s.queue);
    for (const WebInput& in : s.taken) EmitWebInput(in);
    s.taken.clear();
}

void TWebSystemDriver::Wait() { Poll(); }

// A page cannot place the pointer.
void TWebSystemDriver::MoveMouse(int32_t, int32_t) {}

void TWebSystemDriver::SetMouseVisible(int32_t) {}

void TWebSystemDriver::Notify(const std::string& text, int32_t) { PrintLine(text); }

int32_t TWebSystemDriver::Confirm(const std::string& text, int32_t) {
    PrintLine(text);
    return 0;
}

int32_t TWebSystemDriver::Proceed(const std::string& text, int32_t) {
    PrintLine(text);
    return -1;
}

int32_t TWebSystemDriver::OpenURL(const std::string&) { return 0; }
