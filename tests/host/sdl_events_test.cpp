// Event translation through the real pump: the helpers push genuine SDL events, the queries
// pump them through the SDL system driver, the hook chain and the polled-input tables.
#include <SDL.h>
#include <signal.h>
#include <unistd.h>

#include "host/sdl/gl_graphics.h"
#include "tests/host/window_fixture.h"

namespace {

struct Seen {
    int32_t id, data, mods, x, y;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> g_seen;

ObjectRef RecordEvent(int32_t, const ObjectRef& data, const ObjectRef&) {
    if (auto* ev = ObjectCast<TEvent>(data.get())) {
        g_seen.push_back({ev->id, ev->data, ev->mods, ev->x, ev->y});
    }
    return data;
}

class SdlEventTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        PumpSystemEvents();  // whatever opening the window queued
        g_seen.clear();
        AttachHook(EventHook, RecordEvent, nullptr, 100);
    }
    void TearDown() override {
        DetachHook(EventHook, RecordEvent, nullptr);
        WindowTest::TearDown();
    }
    std::vector<int32_t> Ids() const {
        std::vector<int32_t> ids;
        for (const Seen& s : g_seen) ids.push_back(s.id);
        return ids;
    }
};

TEST_F(SdlEventTest, HeldKeyRepeatsButCountsOneHit) {
    InjectKey(65, true);
    for (int i = 0; i < 3; ++i) InjectKey(65, true, true);
    EXPECT_EQ(IsKeyDown(65), 1);
    EXPECT_EQ(TakeKeyHits(65), 1);
    EXPECT_EQ(Ids(), (std::vector<int32_t>{kEventKeyDown, kEventKeyRepeat, kEventKeyRepeat,
                                           kEventKeyRepeat}));
    InjectKey(65, false);
    EXPECT_EQ(IsKeyDown(65), 0);
    EXPECT_EQ(TakeKeyHits(65), 0);
}

TEST_F(SdlEventTest, PressAndReleaseBetweenTwoQueries) {
    EXPECT_EQ(IsKeyDown(32), 0);
    InjectKey(32, true);
    InjectKey(32, false);
    EXPECT_EQ(IsKeyDown(32), 0);
    EXPECT_EQ(TakeKeyHits(32), 1);
}

TEST_F(SdlEventTest, ModifierKeysHaveLeftAndRightCodesAndSetTheModifierBits) {
    const std::pair<int32_t, int32_t> keys[] = {{160, kModShift},   {161, kModShift},
                                                {162, kModControl}, {163, kModControl},
                                                {164, kModAlt},     {165, kModAlt}};
    for (const auto& [key, bit] : keys) {
        g_seen.clear();
        InjectKey(key, true);
        InjectKey(90, true);
        InjectKey(90, false);
        InjectKey(key, false);
        PumpSystemEvents();
        ASSERT_EQ(g_seen.size(), 4u) << key;
        EXPECT_EQ(g_seen[0], (Seen{kEventKeyDown, key, bit, 0, 0}));
        EXPECT_EQ(g_seen[1], (Seen{kEventKeyDown, 90, bit, 0, 0}));
        EXPECT_EQ(g_seen[3], (Seen{kEventKeyUp, key, 0, 0, 0}));
    }
    InjectKey(160, true);
    InjectKey(162, true);
    InjectKey(65, true);
    PumpSystemEvents();
    EXPECT_EQ(g_seen.back().mods, kModShift | kModControl);
    for (const Seen& s : g_seen) {
        EXPECT_TRUE(s.data != 16 && s.data != 17 && s.data != 18) << s.data;
    }
    InjectKey(65, false);
    InjectKey(162, false);
    InjectKey(160, false);
}

TEST_F(SdlEventTest, KeysTypeTheirControlCharactersAndTextArrivesAsUtf16Units) {
    InjectKey(13, true);
    InjectKey(13, false);
    InjectKey(8, true);
    InjectText(u"\u00E9\U0001F600");
    InjectText("ok");
    EXPECT_EQ(NextTypedChar(), 13);
    EXPECT_EQ(NextTypedChar(), 8);
    EXPECT_EQ(NextTypedChar(), 0xE9);
    EXPECT_EQ(NextTypedChar(), 0xD83D);
    EXPECT_EQ(NextTypedChar(), 0xDE00);
    EXPECT_EQ(NextTypedChar(), 'o');
    EXPECT_EQ(NextTypedChar(), 'k');
    EXPECT_EQ(NextTypedChar(), 0);
    EXPECT_EQ(g_seen[0].id, kEventKeyDown);
    EXPECT_EQ(g_seen[1], (Seen{kEventKeyChar, 13, 0, 0, 0}));
    InjectKey(8, false);
}

TEST_F(SdlEventTest, ButtonsAreNumberedLeftRightMiddle) {
    InjectMouseMove(30, 40);
    for (int32_t button = 1; button <= 3; ++button) {
        InjectMouseButton(button, true);
        InjectMouseButton(button, false);
    }
    EXPECT_EQ(TakeMouseHits(1), 1);
    EXPECT_EQ(TakeMouseHits(2), 1);
    EXPECT_EQ(TakeMouseHits(3), 1);
    std::vector<int32_t> downs;
    for (const Seen& s : g_seen) {
        if (s.id == kEventMouseDown) {
            downs.push_back(s.data);
            EXPECT_EQ(s.x, 30);
            EXPECT_EQ(s.y, 40);
        }
    }
    EXPECT_EQ(downs, (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(SdlEventTest, DragOutsideTheWindowKeepsReportingPositions) {
    InjectMouseMove(400, 300);
    EXPECT_EQ(MouseDeltaX(), 400 - 0);
    InjectMouseButton(1, true);
    InjectMouseMove(-20, 650);
    EXPECT_EQ(IsMouseDown(1), 1);
    EXPECT_EQ(MouseCursorX(), -20);
    EXPECT_EQ(MouseCursorY(), 650);
    InjectMouseMove(1000, -5);
    InjectMouseButton(1, false);
    EXPECT_EQ(IsMouseDown(1), 0);
    EXPECT_EQ(MouseCursorX(), 1000);
    EXPECT_EQ(MouseDeltaX(), 600);  // the whole drag
    EXPECT_EQ(g_seen.back(), (Seen{kEventMouseUp, 1, 0, 1000, -5}));
}

TEST_F(SdlEventTest, PointerEntersAndLeavesTheClientArea) {
    InjectMouseMove(10, 10);
    InjectMouseMove(20, 10);
    InjectMouseMove(805, 10);
    PumpSystemEvents();
    EXPECT_EQ(Ids(), (std::vector<int32_t>{kEventMouseEnter, kEventMouseMove, kEventMouseMove,
                                           kEventMouseLeave, kEventMouseMove}));
    EXPECT_EQ(g_seen[0], (Seen{kEventMouseEnter, 0, 0, 10, 10}));
    EXPECT_EQ(g_seen[3], (Seen{kEventMouseLeave, 0, 0, 805, 10}));
}

TEST_F(SdlEventTest, LosingFocusClearsAHeldButtonWithoutAnUpEvent) {
    InjectMouseMove(100, 100);
    InjectMouseButton(1, true);
    InjectKey(65, true);
    EXPECT_EQ(IsMouseDown(1), 1);
    InjectFocus(false);
    EXPECT_EQ(IsMouseDown(1), 0);
    EXPECT_EQ(IsKeyDown(65), 0);
    EXPECT_EQ(IsAppSuspended(), 1);
    for (const Seen& s : g_seen) EXPECT_NE(s.id, kEventMouseUp);
    EXPECT_EQ(g_seen.back().id, kEventAppSuspend);
    InjectFocus(true);
    EXPECT_EQ(IsAppSuspended(), 0);
    EXPECT_EQ(g_seen.back().id, kEventAppResume);
}

TEST_F(SdlEventTest, WheelCountsWholeNotchesTruncatedTowardZero) {
    const std::pair<float, int32_t> turns[] = {
        {-0.99f, 0}, {-2.0f, -2}, {1.7f, 1}, {-1.5f, -1}, {0.4f, 0}};
    for (const auto& [amount, notches] : turns) {
        g_seen.clear();
        InjectWheelPrecise(amount);
        PumpSystemEvents();
        ASSERT_EQ(g_seen.size(), 1u);
        EXPECT_EQ(g_seen[0].data, notches) << amount;
    }
    InjectWheel(3);
    EXPECT_EQ(MouseWheelTotal(), 0 - 2 + 1 - 1 + 0 + 3);
}

TEST_F(SdlEventTest, CloseRequestOnlySetsTheTerminateFlag) {
    InjectKey(65, true);
    EXPECT_EQ(IsKeyDown(65), 1);
    g_seen.clear();
    InjectCloseRequest();
    EXPECT_EQ(TakeAppTerminate(), 1);
    EXPECT_EQ(Ids(), (std::vector<int32_t>{kEventAppTerminate}));
    EXPECT_EQ(TakeAppTerminate(), 0);
    EXPECT_EQ(IsKeyDown(65), 1);
    EXPECT_EQ(IsAppSuspended(), 0);
    EXPECT_TRUE(ActiveGraphics());
    ASSERT_NE(ActiveSdlWindow(), nullptr);
    EXPECT_NE(SDL_GetWindowFlags(ActiveSdlWindow()) & SDL_WINDOW_SHOWN, 0u);
    // The process's quit request means the same.
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    EXPECT_EQ(TakeAppTerminate(), 1);
    InjectKey(65, false);
}

TEST(SdlHost, InterruptFromTheTerminalStillEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("SDL_VIDEODRIVER", "offscreen", 1);
            StartHost();
            raise(SIGINT);
            _exit(0);  // reached only when something caught the signal
        },
        ::testing::KilledBySignal(SIGINT), "");
}

}  // namespace
