#include "host/sdl/keymap.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace {

struct Case {
    SDL_Keycode keycode;
    SDL_Scancode scancode;
    int32_t key;
};

class KeyMap : public ::testing::TestWithParam<Case> {};

TEST_P(KeyMap, MapsToTheVirtualKey) {
    const Case& c = GetParam();
    EXPECT_EQ(VirtualKeyFromSdl(c.keycode, c.scancode), c.key) << SDL_GetScancodeName(c.scancode);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyMap,
    ::testing::Values(
        Case{SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, 27}, Case{SDLK_SPACE, SDL_SCANCODE_SPACE, 32},
        Case{SDLK_RETURN, SDL_SCANCODE_RETURN, 13}, Case{SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, 13},
        Case{SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE, 8}, Case{SDLK_TAB, SDL_SCANCODE_TAB, 9},
        Case{SDLK_a, SDL_SCANCODE_A, 65}, Case{SDLK_z, SDL_SCANCODE_Z, 90},
        Case{SDLK_0, SDL_SCANCODE_0, 48}, Case{SDLK_9, SDL_SCANCODE_9, 57},
        Case{SDLK_F1, SDL_SCANCODE_F1, 112}, Case{SDLK_F12, SDL_SCANCODE_F12, 123},
        Case{SDLK_LEFT, SDL_SCANCODE_LEFT, 37}, Case{SDLK_UP, SDL_SCANCODE_UP, 38},
        Case{SDLK_RIGHT, SDL_SCANCODE_RIGHT, 39}, Case{SDLK_DOWN, SDL_SCANCODE_DOWN, 40},
        Case{SDLK_INSERT, SDL_SCANCODE_INSERT, 45}, Case{SDLK_DELETE, SDL_SCANCODE_DELETE, 46},
        Case{SDLK_HOME, SDL_SCANCODE_HOME, 36}, Case{SDLK_END, SDL_SCANCODE_END, 35},
        Case{SDLK_PAGEUP, SDL_SCANCODE_PAGEUP, 33}, Case{SDLK_PAGEDOWN, SDL_SCANCODE_PAGEDOWN, 34},
        Case{SDLK_KP_0, SDL_SCANCODE_KP_0, 96}, Case{SDLK_KP_9, SDL_SCANCODE_KP_9, 105},
        Case{SDLK_KP_MULTIPLY, SDL_SCANCODE_KP_MULTIPLY, 106},
        Case{SDLK_KP_PLUS, SDL_SCANCODE_KP_PLUS, 107},
        Case{SDLK_KP_MINUS, SDL_SCANCODE_KP_MINUS, 109},
        Case{SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD, 110},
        Case{SDLK_KP_DIVIDE, SDL_SCANCODE_KP_DIVIDE, 111},
        Case{SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, 160}, Case{SDLK_RSHIFT, SDL_SCANCODE_RSHIFT, 161},
        Case{SDLK_LCTRL, SDL_SCANCODE_LCTRL, 162}, Case{SDLK_RCTRL, SDL_SCANCODE_RCTRL, 163},
        Case{SDLK_LALT, SDL_SCANCODE_LALT, 164}, Case{SDLK_RALT, SDL_SCANCODE_RALT, 165},
        Case{SDLK_SEMICOLON, SDL_SCANCODE_SEMICOLON, 186},
        Case{SDLK_SLASH, SDL_SCANCODE_SLASH, 191}));

// Layouts: the character on the key decides for letters and digits, the position for keys
// whose character has no code, and the position always for the keypad.
INSTANTIATE_TEST_SUITE_P(
    Layouts, KeyMap,
    ::testing::Values(Case{SDLK_z, SDL_SCANCODE_Y, 90},     // German: Z where US has Y
                      Case{SDLK_a, SDL_SCANCODE_Q, 65},     // French: A where US has Q
                      Case{'&', SDL_SCANCODE_1, 49},        // French digit row
                      Case{0x0439, SDL_SCANCODE_Q, 81},     // Russian: a Cyrillic letter on Q
                      Case{SDLK_1, SDL_SCANCODE_KP_1, 97},  // keypad reported as its character
                      Case{'*', SDL_SCANCODE_KP_MULTIPLY, 106}));

TEST(KeyMapNoCode, KeysWithoutACodeGiveZero) {
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_UNKNOWN, SDL_SCANCODE_UNKNOWN), 0);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_KBDILLUMUP, SDL_SCANCODE_KBDILLUMUP), 0);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_UNKNOWN, -3), 0);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_UNKNOWN, static_cast<SDL_Scancode>(SDL_NUM_SCANCODES)), 0);
    // The plain modifier codes never appear.
    for (int s = 0; s < SDL_NUM_SCANCODES; ++s) {
        const auto scancode = static_cast<SDL_Scancode>(s);
        const int32_t key = VirtualKeyFromSdl(SDL_GetKeyFromScancode(scancode), scancode);
        EXPECT_TRUE(key != 16 && key != 17 && key != 18) << SDL_GetScancodeName(scancode);
        EXPECT_TRUE(key >= 0 && key <= 255);
    }
}

}  // namespace
