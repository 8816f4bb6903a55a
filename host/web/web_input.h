#pragma once
// The browser's input as the web back end queues it: one record per DOM event, kept as the
// browser gave it (button numbers, key names, wheel deltas) and translated into the host's
// events when the program pumps, just as the desktop translates SDL's queued events. Scripts and
// tests queue the same records, so injected input takes the very path a user's does.

#include <cstdint>
#include <string_view>

struct WebInput {
    // kText (typed text in key) and kClose (a close request) come from injection only: a page
    // types through its key events and has no close box.
    enum class Kind : uint8_t {
        kMove,
        kDown,
        kUp,
        kKeyDown,
        kKeyUp,
        kWheel,
        kFocus,
        kBlur,
        kText,
        kClose
    };
    Kind kind = Kind::kMove;
    int32_t x = 0, y = 0;   // canvas pixels
    int32_t button = 0;     // DOM numbering: 0 left, 1 middle, 2 right
    bool repeat = false;    // a key held down
    int32_t mods = 0;       // kModShift ... from the event's modifier flags
    char key[32] = {};      // KeyboardEvent key, NUL-terminated
    char code[32] = {};     // KeyboardEvent code
    double deltaY = 0.0;    // WheelEvent deltaY (positive: towards the user)
    int32_t deltaMode = 0;  // 0 pixels, 1 lines, 2 pages
};

// Queues one record for the next pump.
void QueueWebInput(const WebInput& input);

// Translates one record and emits what it yields; true when it yielded an event. A key press
// may also emit the character it types ("KeyChar", one per UTF-16 code unit).
bool EmitWebInput(const WebInput& input);

// Copies text into a record's fixed field, cut at a character boundary.
void SetWebInputText(char (&field)[32], std::string_view text);
