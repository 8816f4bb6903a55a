#pragma once
// Key codes every back end shares: what a platform's key event becomes does not depend on the
// platform once the key's character or code is known.

#include <cstdint>

// The code of the punctuation key that types `character` on the user's layout (186 for ';',
// 222 for '\'', ...); 0 for any other character.
int32_t KeyFromPunctuation(int32_t character);

// The character a key types on its own, with no text-input event to carry it (Backspace, Tab,
// Enter, Escape); 0 for every other key.
int32_t CharacterOfKey(int32_t key);
