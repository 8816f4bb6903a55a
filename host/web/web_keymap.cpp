#include "host/web/web_keymap.h"

#include <array>
#include <iterator>

#include "host/keys.h"

namespace {

struct CodeKey {
    std::string_view code;
    int32_t key;
};

// Keys by position: the same positions, and codes, as the desktop's table.
constexpr CodeKey kByCode[] = {
    {"Backspace", 8},
    {"Tab", 9},
    {"NumpadClear", 12},
    {"Enter", 13},
    {"NumpadEnter", 13},
    {"Pause", 19},
    {"CapsLock", 20},
    {"Escape", 27},
    {"Space", 32},
    {"PageUp", 33},
    {"PageDown", 34},
    {"End", 35},
    {"Home", 36},
    {"ArrowLeft", 37},
    {"ArrowUp", 38},
    {"ArrowRight", 39},
    {"ArrowDown", 40},
    {"Select", 41},
    {"Execute", 43},
    {"PrintScreen", 44},
    {"Insert", 45},
    {"Delete", 46},
    {"Help", 47},
    {"Digit0", 48},
    {"Digit1", 49},
    {"Digit2", 50},
    {"Digit3", 51},
    {"Digit4", 52},
    {"Digit5", 53},
    {"Digit6", 54},
    {"Digit7", 55},
    {"Digit8", 56},
    {"Digit9", 57},
    {"MetaLeft", 91},
    {"MetaRight", 92},
    {"ContextMenu", 93},
    {"Sleep", 95},
    {"Numpad0", 96},
    {"Numpad1", 97},
    {"Numpad2", 98},
    {"Numpad3", 99},
    {"Numpad4", 100},
    {"Numpad5", 101},
    {"Numpad6", 102},
    {"Numpad7", 103},
    {"Numpad8", 104},
    {"Numpad9", 105},
    {"NumpadMultiply", 106},
    {"NumpadAdd", 107},
    {"NumpadComma", 108},
    {"NumpadSubtract", 109},
    {"NumpadDecimal", 110},
    {"NumpadDivide", 111},
    {"F1", 112},
    {"F2", 113},
    {"F3", 114},
    {"F4", 115},
    {"F5", 116},
    {"F6", 117},
    {"F7", 118},
    {"F8", 119},
    {"F9", 120},
    {"F10", 121},
    {"F11", 122},
    {"F12", 123},
    {"F13", 124},
    {"F14", 125},
    {"F15", 126},
    {"F16", 127},
    {"F17", 128},
    {"F18", 129},
    {"F19", 130},
    {"F20", 131},
    {"F21", 132},
    {"F22", 133},
    {"F23", 134},
    {"F24", 135},
    {"NumLock", 144},
    {"ScrollLock", 145},
    {"ShiftLeft", 160},
    {"ShiftRight", 161},
    {"ControlLeft", 162},
    {"ControlRight", 163},
    {"AltLeft", 164},
    {"AltRight", 165},
    {"BrowserBack", 166},
    {"BrowserForward", 167},
    {"BrowserRefresh", 168},
    {"BrowserStop", 169},
    {"BrowserSearch", 170},
    {"BrowserFavorites", 171},
    {"BrowserHome", 172},
    {"AudioVolumeMute", 173},
    {"AudioVolumeDown", 174},
    {"AudioVolumeUp", 175},
    {"MediaTrackNext", 176},
    {"MediaTrackPrevious", 177},
    {"MediaStop", 178},
    {"MediaPlayPause", 179},
    {"LaunchMail", 180},
    {"MediaSelect", 181},
    {"LaunchApp1", 182},
    {"LaunchApp2", 183},
    {"Semicolon", 186},
    {"Equal", 187},
    {"Comma", 188},
    {"Minus", 189},
    {"Period", 190},
    {"Slash", 191},
    {"Backquote", 192},
    {"BracketLeft", 219},
    {"Backslash", 220},
    {"BracketRight", 221},
    {"Quote", 222},
    {"IntlBackslash", 226},
};

// Letters (KeyA..KeyZ) are positions too; they are matched by their form, not the table.
int32_t KeyFromCode(std::string_view code) {
    if (code.size() == 4 && code.substr(0, 3) == "Key" && code[3] >= 'A' && code[3] <= 'Z') {
        return code[3];
    }
    for (const CodeKey& k : kByCode) {
        if (k.code == code) return k.key;
    }
    return 0;
}

// Keys that carry a character: letters, the digit row and punctuation. Everything else is
// mapped by position, so that the keypad and the editing keys keep their own codes whatever
// character the layout reports for them.
bool IsCharacterKey(int32_t byPosition, std::string_view code) {
    return (byPosition >= 'A' && byPosition <= 'Z') || (byPosition >= '0' && byPosition <= '9') ||
           (code != "NumpadComma" && byPosition >= 186 && byPosition <= 226);
}

}  // namespace

int32_t VirtualKeyFromDom(std::string_view key, std::string_view code) {
    const int32_t byPosition = KeyFromCode(code);
    if (byPosition != 0 && !IsCharacterKey(byPosition, code)) return byPosition;
    if (key.size() == 1) {
        const char c = key[0];
        if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
        if (c >= 'A' && c <= 'Z') return c;
        if (c >= '0' && c <= '9') return c;
        if (const int32_t punctuation = KeyFromPunctuation(c)) return punctuation;
    }
    return byPosition;
}

std::string_view DomCodeForKey(int32_t virtualKey) {
    static const std::array<std::string_view, 256> codes = [] {
        std::array<std::string_view, 256> table{};
        static const char* const kLetters[26] = {
            "KeyA", "KeyB", "KeyC", "KeyD", "KeyE", "KeyF", "KeyG", "KeyH", "KeyI",
            "KeyJ", "KeyK", "KeyL", "KeyM", "KeyN", "KeyO", "KeyP", "KeyQ", "KeyR",
            "KeyS", "KeyT", "KeyU", "KeyV", "KeyW", "KeyX", "KeyY", "KeyZ"};
        for (int32_t i = 0; i < 26; ++i) table[static_cast<size_t>('A' + i)] = kLetters[i];
        for (auto it = std::rbegin(kByCode); it != std::rend(kByCode); ++it) {
            table[static_cast<size_t>(it->key)] = it->code;  // the first position wins
        }
        return table;
    }();
    if (virtualKey < 1 || virtualKey > 255) return {};
    return codes[static_cast<size_t>(virtualKey)];
}
