#include "host/sdl/keymap.h"

#include <SDL.h>

#include <array>

#include "host/keys.h"

namespace {

struct ScancodeKey {
    SDL_Scancode scancode;
    int32_t key;
};

// Keys that go by position.
constexpr ScancodeKey kByScancode[] = {
    {SDL_SCANCODE_BACKSPACE, 8},
    {SDL_SCANCODE_TAB, 9},
    {SDL_SCANCODE_CLEAR, 12},
    {SDL_SCANCODE_RETURN, 13},
    {SDL_SCANCODE_KP_ENTER, 13},
    {SDL_SCANCODE_RETURN2, 13},
    {SDL_SCANCODE_PAUSE, 19},
    {SDL_SCANCODE_CAPSLOCK, 20},
    {SDL_SCANCODE_ESCAPE, 27},
    {SDL_SCANCODE_SPACE, 32},
    {SDL_SCANCODE_PAGEUP, 33},
    {SDL_SCANCODE_PAGEDOWN, 34},
    {SDL_SCANCODE_END, 35},
    {SDL_SCANCODE_HOME, 36},
    {SDL_SCANCODE_LEFT, 37},
    {SDL_SCANCODE_UP, 38},
    {SDL_SCANCODE_RIGHT, 39},
    {SDL_SCANCODE_DOWN, 40},
    {SDL_SCANCODE_SELECT, 41},
    {SDL_SCANCODE_EXECUTE, 43},
    {SDL_SCANCODE_PRINTSCREEN, 44},
    {SDL_SCANCODE_INSERT, 45},
    {SDL_SCANCODE_DELETE, 46},
    {SDL_SCANCODE_HELP, 47},
    {SDL_SCANCODE_LGUI, 91},
    {SDL_SCANCODE_RGUI, 92},
    {SDL_SCANCODE_APPLICATION, 93},
    {SDL_SCANCODE_SLEEP, 95},
    {SDL_SCANCODE_KP_0, 96},
    {SDL_SCANCODE_KP_1, 97},
    {SDL_SCANCODE_KP_2, 98},
    {SDL_SCANCODE_KP_3, 99},
    {SDL_SCANCODE_KP_4, 100},
    {SDL_SCANCODE_KP_5, 101},
    {SDL_SCANCODE_KP_6, 102},
    {SDL_SCANCODE_KP_7, 103},
    {SDL_SCANCODE_KP_8, 104},
    {SDL_SCANCODE_KP_9, 105},
    {SDL_SCANCODE_KP_MULTIPLY, 106},
    {SDL_SCANCODE_KP_PLUS, 107},
    {SDL_SCANCODE_KP_COMMA, 108},
    {SDL_SCANCODE_KP_MINUS, 109},
    {SDL_SCANCODE_KP_PERIOD, 110},
    {SDL_SCANCODE_KP_DECIMAL, 110},
    {SDL_SCANCODE_KP_DIVIDE, 111},
    {SDL_SCANCODE_NUMLOCKCLEAR, 144},
    {SDL_SCANCODE_SCROLLLOCK, 145},
    {SDL_SCANCODE_LSHIFT, 160},
    {SDL_SCANCODE_RSHIFT, 161},
    {SDL_SCANCODE_LCTRL, 162},
    {SDL_SCANCODE_RCTRL, 163},
    {SDL_SCANCODE_LALT, 164},
    {SDL_SCANCODE_RALT, 165},
    {SDL_SCANCODE_MODE, 165},  // AltGr on some layouts
    {SDL_SCANCODE_AC_BACK, 166},
    {SDL_SCANCODE_AC_FORWARD, 167},
    {SDL_SCANCODE_AC_REFRESH, 168},
    {SDL_SCANCODE_AC_STOP, 169},
    {SDL_SCANCODE_AC_SEARCH, 170},
    {SDL_SCANCODE_AC_BOOKMARKS, 171},
    {SDL_SCANCODE_AC_HOME, 172},
    {SDL_SCANCODE_MUTE, 173},
    {SDL_SCANCODE_AUDIOMUTE, 173},
    {SDL_SCANCODE_VOLUMEDOWN, 174},
    {SDL_SCANCODE_VOLUMEUP, 175},
    {SDL_SCANCODE_AUDIONEXT, 176},
    {SDL_SCANCODE_AUDIOPREV, 177},
    {SDL_SCANCODE_AUDIOSTOP, 178},
    {SDL_SCANCODE_AUDIOPLAY, 179},
    {SDL_SCANCODE_MAIL, 180},
    {SDL_SCANCODE_MEDIASELECT, 181},
    {SDL_SCANCODE_APP1, 182},
    {SDL_SCANCODE_APP2, 183},
    // Punctuation by position, for layouts whose character there has no code of its own.
    {SDL_SCANCODE_SEMICOLON, 186},
    {SDL_SCANCODE_EQUALS, 187},
    {SDL_SCANCODE_COMMA, 188},
    {SDL_SCANCODE_MINUS, 189},
    {SDL_SCANCODE_PERIOD, 190},
    {SDL_SCANCODE_SLASH, 191},
    {SDL_SCANCODE_GRAVE, 192},
    {SDL_SCANCODE_LEFTBRACKET, 219},
    {SDL_SCANCODE_BACKSLASH, 220},
    {SDL_SCANCODE_NONUSHASH, 220},  // the ISO key in the backslash position
    {SDL_SCANCODE_RIGHTBRACKET, 221},
    {SDL_SCANCODE_APOSTROPHE, 222},
    {SDL_SCANCODE_NONUSBACKSLASH, 226},
};

std::array<int32_t, SDL_NUM_SCANCODES> BuildScancodeTable() {
    std::array<int32_t, SDL_NUM_SCANCODES> table{};
    for (int32_t i = 0; i < 26; ++i) table[SDL_SCANCODE_A + i] = 'A' + i;
    // SDL numbers the digit row 1..9, 0.
    for (int32_t i = 0; i < 9; ++i) table[SDL_SCANCODE_1 + i] = '1' + i;
    table[SDL_SCANCODE_0] = '0';
    for (int32_t i = 0; i < 12; ++i) table[SDL_SCANCODE_F1 + i] = 112 + i;
    for (int32_t i = 0; i < 12; ++i) table[SDL_SCANCODE_F13 + i] = 124 + i;
    for (const ScancodeKey& k : kByScancode) table[k.scancode] = k.key;
    return table;
}

// Keys that carry a character: letters, the digit row and punctuation. Everything else is
// mapped by position before the layout's character is looked at, so that the keypad and the
// editing keys keep their own codes whatever the layout reports for them.
bool IsCharacterKey(int32_t scancode) {
    return (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_0) ||
           (scancode >= SDL_SCANCODE_MINUS && scancode <= SDL_SCANCODE_SLASH) ||
           scancode == SDL_SCANCODE_NONUSBACKSLASH;
}

}  // namespace

int32_t VirtualKeyFromSdl(int32_t keycode, int32_t scancode) {
    static const std::array<int32_t, SDL_NUM_SCANCODES> table = BuildScancodeTable();
    const bool known = scancode > SDL_SCANCODE_UNKNOWN && scancode < SDL_NUM_SCANCODES;
    const int32_t byPosition = known ? table[static_cast<size_t>(scancode)] : 0;
    if (known && !IsCharacterKey(scancode) && byPosition != 0) return byPosition;
    if (keycode >= 'a' && keycode <= 'z') return keycode - 'a' + 'A';
    if (keycode >= '0' && keycode <= '9') return keycode;
    if (const int32_t punctuation = KeyFromPunctuation(keycode)) return punctuation;
    return byPosition;
}
