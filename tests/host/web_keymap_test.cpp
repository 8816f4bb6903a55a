// The browser's key mapping, checked natively: it is plain C++. The desktop's mapping is the
// reference, so that a script presses the same keys in both builds.

#include "host/web/web_keymap.h"

#include <gtest/gtest.h>

#include <string>

#include "host/backend.h"

namespace {

// Every code the desktop can press, the page can too and no other; pressing it by position
// (as injection does) gives that code back.
TEST(WebKeyMap, SameCodesAsTheDesktopAndEachComesBackFromItsPosition) {
    for (int32_t key = 0; key <= 256; ++key) {
        const std::string code(DomCodeForKey(key));
        EXPECT_EQ(!code.empty(), IsKeyCodeOfSomeKey(key)) << "key " << key << " (" << code << ")";
        if (!code.empty()) {
            EXPECT_EQ(VirtualKeyFromDom("", code), key) << code;
        }
    }
}

struct Case {
    const char* key;
    const char* code;
    int32_t expected;
};

class WebKeyMapCases : public ::testing::TestWithParam<Case> {};

TEST_P(WebKeyMapCases, MapsToTheVirtualKey) {
    const Case& c = GetParam();
    EXPECT_EQ(VirtualKeyFromDom(c.key, c.code), c.expected) << c.key << " at " << c.code;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, WebKeyMapCases,
    ::testing::Values(
        // Letters, digits and punctuation follow the layout's character ...
        Case{"a", "KeyA", 'A'}, Case{"Q", "KeyA", 'Q'}, Case{"z", "KeyW", 'Z'},
        Case{"1", "Digit1", '1'}, Case{",", "KeyM", 188}, Case{";", "Comma", 186},
        // ... unless it has no code (another script, a dead key): then the position counts.
        Case{"\xD1\x84", "KeyA", 'A'}, Case{"Dead", "BracketLeft", 219}, Case{"&", "Digit1", '1'},
        // Every other key goes by position, whatever the layout reports.
        Case{"1", "Numpad1", 97}, Case{",", "NumpadComma", 108}, Case{".", "NumpadDecimal", 110},
        Case{"Escape", "Escape", 27}, Case{" ", "Space", 32}, Case{"Enter", "NumpadEnter", 13},
        Case{"Shift", "ShiftRight", 161}, Case{"Control", "ControlLeft", 162},
        Case{"AltGraph", "AltRight", 165}, Case{"F5", "F5", 116}, Case{"F24", "F24", 135},
        // Keys with no code.
        Case{"Unidentified", "", 0}, Case{"Fn", "Fn", 0}, Case{"", "KeyAA", 0}));

}  // namespace
