#pragma once
// The mapping from SDL keys onto the host's virtual-key codes (1..255; Escape 27, Space 32,
// letters 65..90, the left and right modifiers 160..165). A pure function, so it is tested
// without a window. Declared with plain integers so that this header needs no SDL.

#include <cstdint>

// keycode is an SDL_Keycode, scancode an SDL_Scancode. Returns 0 for keys without a code.
// Letters, digits and punctuation follow the keyboard layout (the keycode); keys whose layout
// character has no code (another script) and every other key go by position (the scancode).
int32_t VirtualKeyFromSdl(int32_t keycode, int32_t scancode);
