#pragma once
// Polled input: a hook on the event chain keeps key and mouse tables that the program reads
// with the queries below. Every query first pumps the platform's pending messages, so two
// queries in one frame may see different values. The tables exist while polled input is
// installed (a graphics window is open); before that they read 0.
//
// This header also brings in the rest of the input side: hook chains, events, the system
// driver's pump, the clock and the console.

#include <cstdint>

#include "host/clock.h"
#include "host/console.h"
#include "host/event.h"
#include "host/hook.h"
#include "host/system.h"
#include "runtime/object.h"

inline constexpr int32_t kKeyCount = 256;   // key codes 0..255
inline constexpr int32_t kButtonCount = 4;  // buttons 1 left, 2 right, 3 middle; 0 unused
inline constexpr int32_t kTypedCharQueueSize = 256;
inline constexpr int32_t kPolledInputPriority = 0;

// Installs the polled-input hook; events whose source is not `source` are left alone (none:
// every source). Nothing when already installed.
void StartPolledInput(const ObjectRef& source);
void StopPolledInput();

// Keys: out-of-range codes raise a runtime error.
int32_t IsKeyDown(int32_t key);
// Presses since the last call for that key; clears them.
int32_t TakeKeyHits(int32_t key);
// The next typed character (a UTF-16 code unit), 0 when none is queued.
int32_t NextTypedChar();
// Clears key states, hits and the typed-character queue.
void ResetKeyState();

// Buttons: out-of-range buttons raise a runtime error.
int32_t IsMouseDown(int32_t button);
int32_t TakeMouseHits(int32_t button);
// Clears button states, hits and the wheel total; the position and delta references stay.
void ResetMouseState();

// Last pointer position in client pixels (may lie outside the window while captured).
int32_t MouseCursorX();
int32_t MouseCursorY();
int32_t MouseWheelTotal();
// Change since the previous call of the same query; each axis keeps its own reference.
int32_t MouseDeltaX();
int32_t MouseDeltaY();
int32_t MouseDeltaWheel();

// The pointer's tables as they stand, read and set without taking pending events in, so that a
// saved scene can carry a gesture under way: the buttons held (bit b for button b), the cursor,
// and where the next MouseDeltaX/Y measure from.
struct MouseTables {
    int32_t buttons = 0;
    int32_t x = 0, y = 0;
    int32_t referenceX = 0, referenceY = 0;
};
MouseTables PeekMouseTables();
void RestoreMouseTables(const MouseTables& tables);

// 1 while the application is switched away from.
int32_t IsAppSuspended();
// 1 once a close request has arrived; taking it clears it.
int32_t TakeAppTerminate();
