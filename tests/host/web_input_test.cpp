// The browser back end's key mapping and input translation, checked natively: both are plain
// C++. The desktop's key mapping is the reference, so that a script presses the same keys in
// both builds.

#include "host/web/web_input.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/backend.h"
#include "host/input.h"
#include "host/web/web_keymap.h"
#include "host/web/web_system.h"

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

namespace {

// The page's input records through the web system driver's pump into the polled tables, as the
// browser and replay.js deliver them.
class WebInputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetSystemDriver(std::make_shared<TWebSystemDriver>());
        StartPolledInput(nullptr);
    }
    void TearDown() override {
        StopPolledInput();
        SetSystemDriver(nullptr);
    }

    static WebInput Key(WebInput::Kind kind, const char* key, const char* code) {
        WebInput in;
        in.kind = kind;
        SetWebInputText(in.key, key);
        SetWebInputText(in.code, code);
        return in;
    }
};

TEST_F(WebInputTest, ButtonsMoveAndWheelReachTheTablesWithTheDesktopsNumbers) {
    WebInput in;
    in.kind = WebInput::Kind::kMove;
    in.x = 300;
    in.y = -20;  // outside the canvas while a button is held
    QueueWebInput(in);
    in.kind = WebInput::Kind::kDown;
    in.button = 2;  // the DOM's right button is the host's 2 ...
    QueueWebInput(in);
    in.button = 1;  // ... and its middle one the host's 3
    QueueWebInput(in);
    EXPECT_EQ(IsMouseDown(2), 1);
    EXPECT_EQ(IsMouseDown(3), 1);
    EXPECT_EQ(IsMouseDown(1), 0);
    EXPECT_EQ(MouseCursorY(), -20);
    in.kind = WebInput::Kind::kUp;
    QueueWebInput(in);
    EXPECT_EQ(IsMouseDown(3), 0);

    // A notch is three lines or 100 pixels, away from the user positive; parts of one count
    // nothing, and what no number can hold gives no notches.
    in.kind = WebInput::Kind::kWheel;
    const struct {
        int32_t mode;
        double deltaY;
    } wheels[] = {{1, -6.0}, {0, 250.0}, {0, 99.0}, {2, -1.0}, {1, 1e300}};
    for (const auto& w : wheels) {
        in.deltaMode = w.mode;
        in.deltaY = w.deltaY;
        QueueWebInput(in);
    }
    EXPECT_EQ(MouseWheelTotal(), 2 - 2 + 0 + 1 + 0);
}

TEST_F(WebInputTest, KeysPressByCodeTypeTheirCharacterAndBlurLetsGo) {
    QueueWebInput(Key(WebInput::Kind::kKeyDown, "q", "KeyA"));
    QueueWebInput(Key(WebInput::Kind::kKeyDown, "Escape", "Escape"));
    WebInput repeat = Key(WebInput::Kind::kKeyDown, "q", "KeyA");
    repeat.repeat = true;
    QueueWebInput(repeat);
    EXPECT_EQ(IsKeyDown('Q'), 1);
    EXPECT_EQ(TakeKeyHits('Q'), 1);  // the repeat is no new press
    EXPECT_EQ(IsKeyDown(27), 1);
    EXPECT_EQ(NextTypedChar(), 'q');
    EXPECT_EQ(NextTypedChar(), 27);
    EXPECT_EQ(NextTypedChar(), 0);  // nor does it type again
    QueueWebInput(Key(WebInput::Kind::kKeyUp, "q", "KeyA"));
    EXPECT_EQ(IsKeyDown('Q'), 0);

    WebInput blur;
    blur.kind = WebInput::Kind::kBlur;
    QueueWebInput(blur);
    EXPECT_EQ(IsKeyDown(27), 0);  // released with no key-up: the page lost the keyboard
    EXPECT_EQ(IsAppSuspended(), 1);
}

}  // namespace
