// Start-up of the web host and the helpers of host/backend.h. In a page, the browser's mouse,
// keyboard and focus events are queued as WebInput records (see web_input.h) and the 2-D layer
// draws through WebGL 2 on #canvas; under node there is no page, and the window is headless.

#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "host/backend.h"
#include "host/console.h"
#include "host/event.h"
#include "host/gl/gl_renderer.h"
#include "host/graphics.h"
#include "host/web/web_graphics.h"
#include "host/web/web_keymap.h"
#include "host/web/web_page.h"
#include "host/web/web_state.h"
#include "host/web/web_system.h"
#include "runtime/error.h"

namespace {

constexpr char kCanvas[] = "#canvas";

// True in a page that has the canvas; false under node.
EM_JS(int, PageHasCanvas, (), {
    return typeof document != "undefined" && document.querySelector("#canvas") != null ? 1 : 0;
});

// A client position in the canvas's own pixels: the page may show the canvas narrower or wider
// than its 800 x 600 pixels (a phone's screen), so the offset is scaled by the shown size.
EM_JS(void, CanvasPoint, (double clientX, double clientY, double* x, double* y), {
    var c = document.querySelector("#canvas");
    var r = c.getBoundingClientRect();
    var sx = r.width > 0 ? c.width / r.width : 1;
    var sy = r.height > 0 ? c.height / r.height : 1;
    HEAPF64[x >> 3] = (clientX - r.left) * sx;
    HEAPF64[y >> 3] = (clientY - r.top) * sy;
});

// Whether the keyboard's focus is in one of the page's controls, whose keys are their own.
EM_JS(int, FocusInControl, (), {
    var e = document.activeElement;
    return e && e.matches("input, select, textarea, button, a[href], [contenteditable]") ? 1 : 0;
});

int32_t ModsOf(bool shift, bool control, bool alt, bool meta) {
    return (shift ? kModShift : 0) | (control ? kModControl : 0) | (alt ? kModAlt : 0) |
           (meta ? kModSystem : 0);
}

// Moves and releases are followed over the whole page: while a button is held the pointer stays
// the canvas's, as a captured pointer does on the desktop. Without one, only moves over the
// canvas count.
EM_BOOL OnMouse(int type, const EmscriptenMouseEvent* e, void*) {
    WebHostState& s = WebState();
    WebInput in;
    CanvasPointOf(e->clientX, e->clientY, in.x, in.y);
    in.button = e->button;
    in.mods = ModsOf(e->shiftKey, e->ctrlKey, e->altKey, e->metaKey);
    const bool inside = in.x >= 0 && in.x < GraphicsWidth() && in.y >= 0 && in.y < GraphicsHeight();
    const int32_t bit = 1 << (e->button & 15);
    switch (type) {
        case EMSCRIPTEN_EVENT_MOUSEDOWN:
            if (!inside) return EM_FALSE;
            s.buttons |= bit;
            in.kind = WebInput::Kind::kDown;
            break;
        case EMSCRIPTEN_EVENT_MOUSEUP:
            if ((s.buttons & bit) == 0) return EM_FALSE;
            s.buttons &= ~bit;
            in.kind = WebInput::Kind::kUp;
            break;
        default:
            if (!inside && s.buttons == 0 && !s.pointerInside) return EM_FALSE;
            in.kind = WebInput::Kind::kMove;
            break;
    }
    QueueWebInput(in);
    // A press on the canvas selects no text and opens no menu.
    return type == EMSCRIPTEN_EVENT_MOUSEDOWN ? EM_TRUE : EM_FALSE;
}

EM_BOOL OnWheel(int, const EmscriptenWheelEvent* e, void*) {
    WebInput in;
    in.kind = WebInput::Kind::kWheel;
    CanvasPointOf(e->mouse.clientX, e->mouse.clientY, in.x, in.y);
    in.deltaY = e->deltaY;
    in.deltaMode = static_cast<int32_t>(e->deltaMode);
    QueueWebInput(in);
    return EM_TRUE;  // the page does not scroll under the canvas
}

EM_BOOL OnKey(int type, const EmscriptenKeyboardEvent* e, void*) {
    WebInput in;
    in.kind = type == EMSCRIPTEN_EVENT_KEYDOWN ? WebInput::Kind::kKeyDown : WebInput::Kind::kKeyUp;
    in.repeat = e->repeat != 0;
    in.mods = ModsOf(e->shiftKey, e->ctrlKey, e->altKey, e->metaKey);
    SetWebInputText(in.key, e->key);
    SetWebInputText(in.code, e->code);
    const int32_t key = VirtualKeyFromDom(in.key, in.code);
    // A key pressed in one of the page's controls (Space on a button, the arrows on a slider)
    // is the control's; Escape still ends the simulation. Releases always go through, so that
    // no key stays down in the program.
    if (in.kind == WebInput::Kind::kKeyDown && key != 27 && FocusInControl() != 0) return EM_FALSE;
    QueueWebInput(in);
    // Space and the arrows would scroll the page, Escape would leave full screen: they are the
    // program's. Every other key keeps its meaning in the browser (F5 reloads).
    return key == 27 || key == 32 || (key >= 37 && key <= 40) ? EM_TRUE : EM_FALSE;
}

EM_BOOL OnFocus(int type, const EmscriptenFocusEvent*, void*) {
    WebInput in;
    in.kind = type == EMSCRIPTEN_EVENT_FOCUS ? WebInput::Kind::kFocus : WebInput::Kind::kBlur;
    QueueWebInput(in);
    return EM_FALSE;
}

// With `on` false every listener is removed: nothing of the page's input is queued any more.
void ListenToPage(bool on) {
    const char* window = EMSCRIPTEN_EVENT_TARGET_WINDOW;
    emscripten_set_mousedown_callback(kCanvas, nullptr, EM_TRUE, on ? OnMouse : nullptr);
    emscripten_set_mousemove_callback(window, nullptr, EM_TRUE, on ? OnMouse : nullptr);
    emscripten_set_mouseup_callback(window, nullptr, EM_TRUE, on ? OnMouse : nullptr);
    emscripten_set_wheel_callback(kCanvas, nullptr, EM_TRUE, on ? OnWheel : nullptr);
    emscripten_set_keydown_callback(window, nullptr, EM_TRUE, on ? OnKey : nullptr);
    emscripten_set_keyup_callback(window, nullptr, EM_TRUE, on ? OnKey : nullptr);
    emscripten_set_focus_callback(window, nullptr, EM_TRUE, on ? OnFocus : nullptr);
    emscripten_set_blur_callback(window, nullptr, EM_TRUE, on ? OnFocus : nullptr);
}

bool InsideCanvas(int32_t x, int32_t y) {
    return x >= 0 && x < GraphicsWidth() && y >= 0 && y < GraphicsHeight();
}

int32_t ModifierBit(int32_t virtualKey) {
    switch (virtualKey) {
        case 160:
        case 161:
            return kModShift;
        case 162:
        case 163:
            return kModControl;
        case 164:
        case 165:
            return kModAlt;
        case 91:
        case 92:
            return kModSystem;
        default:
            return 0;
    }
}

}  // namespace

void StartHost() {
    WebHostState& s = WebState();
    if (s.started) return;
    s.started = true;
    s.browser = PageHasCanvas() != 0;

    SetSystemDriver(std::make_shared<TWebSystemDriver>());
    StartEvents();
    StartGraphics();
    if (s.browser) {
        // The browser calls each frame when it is time: presenting never waits.
        Host().pacing.platformPaces = true;
        SetPageInput(true);
        auto gl = std::make_shared<TWebGLGraphicsDriver>();
        SelectGraphicsDriver(gl, kGraphicsBackBuffer);
        if (Ref<TGLLumo2DDriver> gl2d = TGLLumo2DDriver::Create(gl)) {
            s.gl2dDriver = gl2d;
            SelectGraphicsDriver(gl2d, kGraphicsBackBuffer);
        }
    } else {
        SelectGraphicsDriver(std::make_shared<THeadless2DDriver>(), kGraphicsBackBuffer);
    }
}

// In a page the canvas is on screen; under node there is nothing to see.
bool HostHasVisibleDisplay() { return WebState().started && WebState().browser; }

void InjectMouseMove(int32_t x, int32_t y) {
    WebHostState& s = WebState();
    WebInput in;
    in.kind = WebInput::Kind::kMove;
    in.x = s.injectedX = x;
    in.y = s.injectedY = y;
    in.mods = s.injectedMods;
    QueueWebInput(in);
}

void InjectMouseButton(int32_t button, bool down) {
    WebHostState& s = WebState();
    WebInput in;
    switch (button) {
        case 1:
            in.button = 0;
            break;
        case 2:
            in.button = 2;
            break;
        case 3:
            in.button = 1;
            break;
        default:
            RuntimeThrow("Mouse button out of range: " + std::to_string(button));
    }
    in.kind = down ? WebInput::Kind::kDown : WebInput::Kind::kUp;
    in.x = s.injectedX;
    in.y = s.injectedY;
    in.mods = s.injectedMods;
    QueueWebInput(in);
}

void InjectKey(int32_t virtualKey, bool down, bool repeat) {
    if (virtualKey < 1 || virtualKey > 255) {
        RuntimeThrow("Key code out of range: " + std::to_string(virtualKey));
    }
    const std::string_view code = DomCodeForKey(virtualKey);
    if (code.empty()) RuntimeThrow("No key has the code " + std::to_string(virtualKey));
    WebHostState& s = WebState();
    if (const int32_t bit = ModifierBit(virtualKey)) {
        s.injectedMods = down ? (s.injectedMods | bit) : (s.injectedMods & ~bit);
    }
    WebInput in;
    in.kind = down ? WebInput::Kind::kKeyDown : WebInput::Kind::kKeyUp;
    in.repeat = down && repeat;
    in.mods = s.injectedMods;
    SetWebInputText(in.code, code);  // no layout character: the key goes by position
    QueueWebInput(in);
}

void InjectWheel(int32_t notches) { InjectWheelPrecise(static_cast<float>(notches)); }

void InjectWheelPrecise(float notches) {
    WebHostState& s = WebState();
    WebInput in;
    in.kind = WebInput::Kind::kWheel;
    in.x = s.injectedX;
    in.y = s.injectedY;
    in.deltaMode = 1;  // lines, three to the notch, away from the user negative
    in.deltaY = -3.0 * static_cast<double>(notches);
    QueueWebInput(in);
}

void InjectText(std::string_view utf8) {
    // A record holds at most 31 bytes; split between characters, never inside one.
    while (!utf8.empty()) {
        WebInput in;
        in.kind = WebInput::Kind::kText;
        in.mods = WebState().injectedMods;
        SetWebInputText(in.key, utf8);
        size_t n = std::char_traits<char>::length(in.key);
        if (n == 0) n = 1;  // no boundary found: malformed text, skipped a byte at a time
        QueueWebInput(in);
        utf8.remove_prefix(std::min(n, utf8.size()));
    }
}

void InjectText(std::u16string_view text) { InjectText(Utf8FromUtf16(text)); }

void InjectFocus(bool gained) {
    WebInput in;
    in.kind = gained ? WebInput::Kind::kFocus : WebInput::Kind::kBlur;
    QueueWebInput(in);
}

void InjectCloseRequest() {
    WebInput in;
    in.kind = WebInput::Kind::kClose;
    QueueWebInput(in);
}

bool ReadBackBuffer(std::vector<uint8_t>& rgba, int32_t& width, int32_t& height) {
    Ref<TGLLumo2DDriver> driver = WebState().gl2dDriver.lock();
    return driver && driver->ReadBackBuffer(rgba, width, height);
}

bool IsKeyCodeOfSomeKey(int32_t virtualKey) { return !DomCodeForKey(virtualKey).empty(); }

void CanvasPointOf(double clientX, double clientY, int32_t& x, int32_t& y) {
    double cx = 0.0, cy = 0.0;
    CanvasPoint(clientX, clientY, &cx, &cy);
    // Far outside, or not a number: the pointer is simply outside the canvas.
    x = std::fabs(cx) < 1e9 ? static_cast<int32_t>(std::floor(cx)) : -1;
    y = std::fabs(cy) < 1e9 ? static_cast<int32_t>(std::floor(cy)) : -1;
}

void SetPageInput(bool on) {
    WebHostState& s = WebState();
    if (!s.browser || on == s.pageInput) return;
    s.pageInput = on;
    ListenToPage(on);
    if (on) return;
    s.queue.clear();
    s.heldBack.clear();
    s.buttons = 0;
    s.contact = WebHostState::Contact::kNone;
}

bool PageInputOn() { return WebState().pageInput; }

int32_t QueuedPageInput() { return static_cast<int32_t>(WebState().queue.size()); }

namespace {

// A contact is kUndecided until it moves beyond the slop, lifts, or is held still long enough.
constexpr double kTouchSlop = 8.0;      // CSS pixels a contact may wander and still be a press
constexpr double kLongPressMs = 500.0;  // held still this long: the right button (a grab)

// Queues a contact's record, behind the held-back ones while there are any.
void PushContact(const WebInput& in) {
    WebHostState& s = WebState();
    if (s.heldBack.empty()) {
        QueueWebInput(in);
    } else {
        s.heldBack.back().push_back(in);
    }
}

// Holds `in` back until a frame has taken everything queued before it.
void PushAfterFrame(const WebInput& in) { WebState().heldBack.push_back({in}); }

// The contact becomes a press of `button` (DOM numbering) where it landed: after the move there.
void DecideContact(int32_t button) {
    WebHostState& s = WebState();
    s.contact = WebHostState::Contact::kPressed;
    s.contactButton = button;
    WebInput down;
    down.kind = WebInput::Kind::kDown;
    down.button = button;
    down.x = s.contactX;
    down.y = s.contactY;
    PushAfterFrame(down);
}

}  // namespace

void QueuePagePointer(PagePointer phase, double clientX, double clientY) {
    WebHostState& s = WebState();
    if (!s.pageInput) return;
    using Contact = WebHostState::Contact;
    WebInput in;
    CanvasPointOf(clientX, clientY, in.x, in.y);
    in.kind = WebInput::Kind::kMove;
    switch (phase) {
        case PagePointer::kPress:
            if (s.contact != Contact::kNone || !InsideCanvas(in.x, in.y)) return;
            s.contact = Contact::kUndecided;
            s.contactX = in.x;
            s.contactY = in.y;
            s.contactClientX = clientX;
            s.contactClientY = clientY;
            s.contactAt = emscripten_get_now();
            PushContact(in);
            return;
        case PagePointer::kMove: {
            if (s.contact == Contact::kNone) {
                // A pen hovering over the canvas moves the pointer as a mouse does.
                if (InsideCanvas(in.x, in.y)) PushContact(in);
                return;
            }
            if (s.contact == Contact::kUndecided) {
                const double dx = clientX - s.contactClientX, dy = clientY - s.contactClientY;
                if (dx * dx + dy * dy <= kTouchSlop * kTouchSlop) return;
                DecideContact(0);  // it moves: a drag of the left button
            }
            PushContact(in);
            return;
        }
        case PagePointer::kRelease: {
            if (s.contact == Contact::kNone) return;
            const bool tap = s.contact == Contact::kUndecided;
            if (tap) DecideContact(0);  // a click
            s.contact = Contact::kNone;
            in.kind = WebInput::Kind::kUp;
            in.button = s.contactButton;
            // A tap's release comes a frame after its press, as a click's does: a frame that
            // took both would see no button down.
            if (tap) {
                PushAfterFrame(in);
            } else {
                PushContact(in);
            }
            return;
        }
    }
}

void RepeatPagePointer() {
    WebHostState& s = WebState();
    WebInput in;
    in.kind = WebInput::Kind::kMove;
    in.x = s.pointerX;
    in.y = s.pointerY;
    s.queue.insert(s.queue.begin(), in);
}

void ReleaseHeldPagePointer() {
    WebHostState& s = WebState();
    if (!s.heldBack.empty()) {
        for (const WebInput& in : s.heldBack.front()) QueueWebInput(in);
        s.heldBack.pop_front();
    }
    if (s.contact == WebHostState::Contact::kUndecided &&
        emscripten_get_now() - s.contactAt >= kLongPressMs) {
        DecideContact(2);  // held still: the right button's press
    }
}
