#pragma once
// The mapping from a browser's key events onto the host's virtual-key codes (1..255; Escape 27,
// Space 32, letters 65..90, the left and right modifiers 160..165), the same codes the desktop
// gives for the same keys. Pure functions, so they are tested without a browser.

#include <cstdint>
#include <string_view>

// key and code are a KeyboardEvent's key (the layout's character or the key's name) and code
// (the key's position). Letters, digits and punctuation follow the layout (key); keys whose
// character has no code (another script) and every other key go by position (code). 0 for keys
// without a code.
int32_t VirtualKeyFromDom(std::string_view key, std::string_view code);

// The position (a KeyboardEvent code) of the first key that gives virtualKey; empty when none.
std::string_view DomCodeForKey(int32_t virtualKey);
