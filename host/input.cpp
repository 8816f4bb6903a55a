#include "host/input.h"

#include <array>
#include <string>

#include "runtime/error.h"

namespace {

struct PolledInput {
    std::array<int32_t, kKeyCount> keyStates{};
    std::array<int32_t, kKeyCount> keyHits{};
    std::array<int32_t, kTypedCharQueueSize> charQueue{};
    uint32_t charPut = 0;  // free-running; the slot is counter % queue size
    uint32_t charGet = 0;
    std::array<int32_t, kButtonCount> mouseStates{};
    std::array<int32_t, kButtonCount> mouseHits{};
    // x, y, wheel total; the references hold each value as of its last delta query.
    int32_t locationX = 0, locationY = 0, wheelTotal = 0;
    int32_t referenceX = 0, referenceY = 0, referenceWheel = 0;
    int32_t suspended = 0;
    int32_t terminate = 0;
    ObjectRef sourceFilter;
    bool installed = false;
};

PolledInput g_input;

size_t KeySlot(int32_t key) {
    if (key < 0 || key >= kKeyCount) RuntimeThrow("Key code out of range: " + std::to_string(key));
    return static_cast<size_t>(key);
}

size_t ButtonSlot(int32_t button) {
    if (button < 0 || button >= kButtonCount) {
        RuntimeThrow("Mouse button out of range: " + std::to_string(button));
    }
    return static_cast<size_t>(button);
}

void ClearKeys() {
    g_input.charPut = g_input.charGet = 0;
    g_input.keyStates.fill(0);
    g_input.keyHits.fill(0);
}

void ClearMouse() {
    g_input.mouseStates.fill(0);
    g_input.mouseHits.fill(0);
    g_input.wheelTotal = 0;
}

// A press counts once, however long the key is held.
void Press(int32_t& state, int32_t& hits) {
    if (state != 0) return;
    state = 1;
    ++hits;
}

ObjectRef PolledInputHook(int32_t, const ObjectRef& data, const ObjectRef&) {
    TEvent* ev = ObjectCast<TEvent>(data.get());
    if (ev == nullptr) return data;
    if (g_input.sourceFilter && ev->source != g_input.sourceFilter) return data;
    // Events may be emitted by anyone: codes outside the tables are ignored, not stored.
    const bool keyInRange = ev->data >= 0 && ev->data < kKeyCount;
    const bool buttonInRange = ev->data >= 0 && ev->data < kButtonCount;
    const auto slot = static_cast<size_t>(ev->data);
    switch (ev->id) {
        case kEventAppSuspend:
            ResetKeyState();
            ResetMouseState();
            g_input.suspended = 1;
            break;
        case kEventAppResume:
            ResetKeyState();
            ResetMouseState();
            g_input.suspended = 0;
            break;
        case kEventAppTerminate:
            g_input.terminate = 1;
            break;
        case kEventKeyDown:
            if (keyInRange) Press(g_input.keyStates[slot], g_input.keyHits[slot]);
            break;
        case kEventKeyUp:
            if (keyInRange) g_input.keyStates[slot] = 0;
            break;
        case kEventKeyChar:
            if (g_input.charPut - g_input.charGet < kTypedCharQueueSize) {
                g_input.charQueue[g_input.charPut % kTypedCharQueueSize] = ev->data;
                ++g_input.charPut;
            }
            break;
        case kEventMouseDown:
            if (buttonInRange) Press(g_input.mouseStates[slot], g_input.mouseHits[slot]);
            break;
        case kEventMouseUp:
            if (buttonInRange) g_input.mouseStates[slot] = 0;
            break;
        case kEventMouseMove:
            g_input.locationX = ev->x;
            g_input.locationY = ev->y;
            break;
        case kEventMouseWheel:
            g_input.wheelTotal = WrapAdd(g_input.wheelTotal, ev->data);
            break;
        default:  // "KeyRepeat" included: a held key is already down
            break;
    }
    return data;
}

int32_t Delta(int32_t value, int32_t& reference) {
    const int32_t delta = WrapSub(value, reference);
    reference = value;
    return delta;
}

}  // namespace

void StartPolledInput(const ObjectRef& source) {
    if (g_input.installed) return;
    StartEvents();
    g_input.sourceFilter = source;
    ResetKeyState();
    ResetMouseState();
    AttachHook(EventHook, PolledInputHook, nullptr, kPolledInputPriority);
    g_input.installed = true;
}

void StopPolledInput() {
    if (!g_input.installed) return;
    DetachHook(EventHook, PolledInputHook, nullptr);
    ResetKeyState();
    ResetMouseState();
    g_input.sourceFilter = nullptr;
    g_input.installed = false;
}

int32_t IsKeyDown(int32_t key) {
    const size_t k = KeySlot(key);
    PumpSystemEvents();
    return g_input.keyStates[k];
}

int32_t TakeKeyHits(int32_t key) {
    const size_t k = KeySlot(key);
    PumpSystemEvents();
    const int32_t hits = g_input.keyHits[k];
    g_input.keyHits[k] = 0;
    return hits;
}

int32_t NextTypedChar() {
    PumpSystemEvents();
    if (g_input.charGet == g_input.charPut) return 0;
    const int32_t c = g_input.charQueue[g_input.charGet % kTypedCharQueueSize];
    ++g_input.charGet;
    return c;
}

void ResetKeyState() {
    PumpSystemEvents();
    ClearKeys();
}

int32_t IsMouseDown(int32_t button) {
    const size_t b = ButtonSlot(button);
    PumpSystemEvents();
    return g_input.mouseStates[b];
}

int32_t TakeMouseHits(int32_t button) {
    const size_t b = ButtonSlot(button);
    PumpSystemEvents();
    const int32_t hits = g_input.mouseHits[b];
    g_input.mouseHits[b] = 0;
    return hits;
}

void ResetMouseState() {
    PumpSystemEvents();
    ClearMouse();
}

int32_t MouseCursorX() {
    PumpSystemEvents();
    return g_input.locationX;
}

int32_t MouseCursorY() {
    PumpSystemEvents();
    return g_input.locationY;
}

int32_t MouseWheelTotal() {
    PumpSystemEvents();
    return g_input.wheelTotal;
}

int32_t MouseDeltaX() {
    PumpSystemEvents();
    return Delta(g_input.locationX, g_input.referenceX);
}

int32_t MouseDeltaY() {
    PumpSystemEvents();
    return Delta(g_input.locationY, g_input.referenceY);
}

int32_t MouseDeltaWheel() {
    PumpSystemEvents();
    return Delta(g_input.wheelTotal, g_input.referenceWheel);
}

int32_t IsAppSuspended() {
    PumpSystemEvents();
    return g_input.suspended;
}

int32_t TakeAppTerminate() {
    PumpSystemEvents();
    const int32_t t = g_input.terminate;
    g_input.terminate = 0;
    return t;
}
