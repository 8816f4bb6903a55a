#include "host/input.h"

#include <array>
#include <string>

#include "host/context.h"
#include "runtime/error.h"

namespace {

PolledInputState& Input() { return Host().input; }

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
    Input().charPut = Input().charGet = 0;
    Input().keyStates.fill(0);
    Input().keyHits.fill(0);
}

void ClearMouse() {
    Input().mouseStates.fill(0);
    Input().mouseHits.fill(0);
    Input().wheelTotal = 0;
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
    if (Input().sourceFilter && ev->source != Input().sourceFilter) return data;
    // Events may be emitted by anyone: codes outside the tables are ignored, not stored.
    const bool keyInRange = ev->data >= 0 && ev->data < kKeyCount;
    const bool buttonInRange = ev->data >= 0 && ev->data < kButtonCount;
    const auto slot = static_cast<size_t>(ev->data);
    switch (ev->id) {
        case kEventAppSuspend:
            ResetKeyState();
            ResetMouseState();
            Input().suspended = 1;
            break;
        case kEventAppResume:
            ResetKeyState();
            ResetMouseState();
            Input().suspended = 0;
            break;
        case kEventAppTerminate:
            Input().terminate = 1;
            break;
        case kEventKeyDown:
            if (keyInRange) Press(Input().keyStates[slot], Input().keyHits[slot]);
            break;
        case kEventKeyUp:
            if (keyInRange) Input().keyStates[slot] = 0;
            break;
        case kEventKeyChar:
            if (Input().charPut - Input().charGet < kTypedCharQueueSize) {
                Input().charQueue[Input().charPut % kTypedCharQueueSize] = ev->data;
                ++Input().charPut;
            }
            break;
        case kEventMouseDown:
            if (buttonInRange) Press(Input().mouseStates[slot], Input().mouseHits[slot]);
            break;
        case kEventMouseUp:
            if (buttonInRange) Input().mouseStates[slot] = 0;
            break;
        case kEventMouseMove:
            Input().locationX = ev->x;
            Input().locationY = ev->y;
            break;
        case kEventMouseWheel:
            Input().wheelTotal = WrapAdd(Input().wheelTotal, ev->data);
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
    if (Input().installed) return;
    StartEvents();
    Input().sourceFilter = source;
    ResetKeyState();
    ResetMouseState();
    AttachHook(EventHook, PolledInputHook, nullptr, kPolledInputPriority);
    Input().installed = true;
}

void StopPolledInput() {
    if (!Input().installed) return;
    DetachHook(EventHook, PolledInputHook, nullptr);
    ResetKeyState();
    ResetMouseState();
    Input().sourceFilter = nullptr;
    Input().installed = false;
}

int32_t IsKeyDown(int32_t key) {
    const size_t k = KeySlot(key);
    PumpSystemEvents();
    return Input().keyStates[k];
}

int32_t TakeKeyHits(int32_t key) {
    const size_t k = KeySlot(key);
    PumpSystemEvents();
    const int32_t hits = Input().keyHits[k];
    Input().keyHits[k] = 0;
    return hits;
}

int32_t NextTypedChar() {
    PumpSystemEvents();
    if (Input().charGet == Input().charPut) return 0;
    const int32_t c = Input().charQueue[Input().charGet % kTypedCharQueueSize];
    ++Input().charGet;
    return c;
}

void ResetKeyState() {
    PumpSystemEvents();
    ClearKeys();
}

int32_t IsMouseDown(int32_t button) {
    const size_t b = ButtonSlot(button);
    PumpSystemEvents();
    return Input().mouseStates[b];
}

int32_t TakeMouseHits(int32_t button) {
    const size_t b = ButtonSlot(button);
    PumpSystemEvents();
    const int32_t hits = Input().mouseHits[b];
    Input().mouseHits[b] = 0;
    return hits;
}

void ResetMouseState() {
    PumpSystemEvents();
    ClearMouse();
}

int32_t MouseCursorX() {
    PumpSystemEvents();
    return Input().locationX;
}

int32_t MouseCursorY() {
    PumpSystemEvents();
    return Input().locationY;
}

int32_t MouseWheelTotal() {
    PumpSystemEvents();
    return Input().wheelTotal;
}

int32_t MouseDeltaX() {
    PumpSystemEvents();
    return Delta(Input().locationX, Input().referenceX);
}

int32_t MouseDeltaY() {
    PumpSystemEvents();
    return Delta(Input().locationY, Input().referenceY);
}

int32_t MouseDeltaWheel() {
    PumpSystemEvents();
    return Delta(Input().wheelTotal, Input().referenceWheel);
}

MouseTables PeekMouseTables() {
    MouseTables t;
    for (int32_t b = 0; b < kButtonCount; ++b) {
        if (Input().mouseStates[static_cast<size_t>(b)] != 0) t.buttons |= 1 << b;
    }
    t.x = Input().locationX;
    t.y = Input().locationY;
    t.referenceX = Input().referenceX;
    t.referenceY = Input().referenceY;
    return t;
}

void RestoreMouseTables(const MouseTables& t) {
    for (int32_t b = 0; b < kButtonCount; ++b) {
        Input().mouseStates[static_cast<size_t>(b)] = (t.buttons >> b) & 1;
    }
    Input().locationX = t.x;
    Input().locationY = t.y;
    Input().referenceX = t.referenceX;
    Input().referenceY = t.referenceY;
}

int32_t IsAppSuspended() {
    PumpSystemEvents();
    return Input().suspended;
}

int32_t TakeAppTerminate() {
    PumpSystemEvents();
    const int32_t t = Input().terminate;
    Input().terminate = 0;
    return t;
}
