#include "host/input.h"

#include <gtest/gtest.h>

#include "runtime/error.h"

namespace {

void Emit(int32_t id, int32_t data = 0, int32_t x = 0, int32_t y = 0,
          const ObjectRef& source = nullptr) {
    TEvent::Create(id, source, data, 0, x, y, nullptr)->Emit();
}

class PolledInputTest : public ::testing::Test {
  protected:
    void SetUp() override { StartPolledInput(nullptr); }
    void TearDown() override { StopPolledInput(); }
};

TEST_F(PolledInputTest, HeldKeyWithRepeatsIsOneHitAndDownUntilReleased) {
    Emit(kEventKeyDown, 65);
    for (int i = 0; i < 5; ++i) Emit(kEventKeyRepeat, 65);
    EXPECT_EQ(IsKeyDown(65), 1);
    EXPECT_EQ(TakeKeyHits(65), 1);
    EXPECT_EQ(TakeKeyHits(65), 0);
    Emit(kEventKeyDown, 65);  // a second down without an up is the same press
    EXPECT_EQ(TakeKeyHits(65), 0);
    Emit(kEventKeyUp, 65);
    EXPECT_EQ(IsKeyDown(65), 0);
}

TEST_F(PolledInputTest, PressAndReleaseBetweenQueriesLeavesAHit) {
    Emit(kEventKeyDown, 32);
    Emit(kEventKeyUp, 32);
    Emit(kEventKeyDown, 32);
    Emit(kEventKeyUp, 32);
    EXPECT_EQ(IsKeyDown(32), 0);
    EXPECT_EQ(TakeKeyHits(32), 2);
    Emit(kEventMouseDown, 1);
    Emit(kEventMouseUp, 1);
    EXPECT_EQ(IsMouseDown(1), 0);
    EXPECT_EQ(TakeMouseHits(1), 1);
}

TEST_F(PolledInputTest, SuspendClearsHeldStateWithoutAnUpEvent) {
    Emit(kEventMouseDown, 1);
    Emit(kEventKeyDown, 27);
    Emit(kEventMouseWheel, 3);
    Emit(kEventMouseMove, 0, 120, 80);
    Emit(kEventAppSuspend);
    EXPECT_EQ(IsMouseDown(1), 0);
    EXPECT_EQ(TakeMouseHits(1), 0);
    EXPECT_EQ(IsKeyDown(27), 0);
    EXPECT_EQ(MouseWheelTotal(), 0);
    EXPECT_EQ(MouseCursorX(), 120);  // the position stays
    EXPECT_EQ(IsAppSuspended(), 1);
    Emit(kEventAppResume);
    EXPECT_EQ(IsAppSuspended(), 0);
}

TEST_F(PolledInputTest, TerminateIsTakenOnceAndTouchesNothingElse) {
    Emit(kEventKeyDown, 65);
    Emit(kEventAppTerminate);
    EXPECT_EQ(TakeAppTerminate(), 1);
    EXPECT_EQ(TakeAppTerminate(), 0);
    EXPECT_EQ(IsKeyDown(65), 1);
    EXPECT_EQ(IsAppSuspended(), 0);
}

TEST_F(PolledInputTest, TypedCharactersQueueUpTo256) {
    for (int32_t c = 1; c <= 300; ++c) Emit(kEventKeyChar, c);
    for (int32_t c = 1; c <= 256; ++c) ASSERT_EQ(NextTypedChar(), c);
    EXPECT_EQ(NextTypedChar(), 0);
    // The counters run on past the table size without losing order.
    for (int32_t round = 0; round < 3; ++round) {
        for (int32_t c = 0; c < 200; ++c) Emit(kEventKeyChar, 1000 + c);
        for (int32_t c = 0; c < 200; ++c) ASSERT_EQ(NextTypedChar(), 1000 + c);
    }
}

TEST_F(PolledInputTest, EachDeltaAxisHasItsOwnReference) {
    Emit(kEventMouseMove, 0, 10, 20);
    EXPECT_EQ(MouseDeltaX(), 10);
    Emit(kEventMouseMove, 0, 15, 50);
    Emit(kEventMouseMove, 0, -30, 70);
    EXPECT_EQ(MouseDeltaX(), -40);
    EXPECT_EQ(MouseDeltaY(), 70);  // never asked before: from 0
    EXPECT_EQ(MouseDeltaY(), 0);
    Emit(kEventMouseWheel, -2);
    Emit(kEventMouseWheel, 5);
    EXPECT_EQ(MouseWheelTotal(), 3);
    EXPECT_EQ(MouseDeltaWheel(), 3);
    EXPECT_EQ(MouseDeltaWheel(), 0);
}

TEST_F(PolledInputTest, QueriesOutsideTheTablesRaiseTheRuntimeError) {
    EXPECT_THROW(IsKeyDown(256), RuntimeError);
    EXPECT_THROW(IsKeyDown(-1), RuntimeError);
    EXPECT_THROW(TakeKeyHits(1000), RuntimeError);
    EXPECT_THROW(IsMouseDown(4), RuntimeError);
    EXPECT_THROW(TakeMouseHits(-1), RuntimeError);
    EXPECT_EQ(IsKeyDown(255), 0);
    EXPECT_EQ(IsMouseDown(0), 0);
}

TEST_F(PolledInputTest, EventsWithCodesOutsideTheTablesAreIgnored) {
    Emit(kEventKeyDown, 256);
    Emit(kEventKeyDown, -1);
    Emit(kEventMouseDown, 4);
    for (int32_t k = 0; k < kKeyCount; ++k) ASSERT_EQ(IsKeyDown(k), 0);
    for (int32_t b = 0; b < kButtonCount; ++b) ASSERT_EQ(IsMouseDown(b), 0);
}

TEST(PolledInput, SourceFilterPassesOtherSourcesByAndStopClearsState) {
    auto mine = std::make_shared<Object>();
    auto other = std::make_shared<Object>();
    StartPolledInput(mine);
    Emit(kEventKeyDown, 70, 0, 0, other);
    EXPECT_EQ(IsKeyDown(70), 0);
    Emit(kEventKeyDown, 70, 0, 0, mine);
    EXPECT_EQ(IsKeyDown(70), 1);
    StopPolledInput();
    EXPECT_EQ(IsKeyDown(70), 0);
    Emit(kEventKeyDown, 71, 0, 0, mine);  // not installed: nobody listens
    EXPECT_EQ(IsKeyDown(71), 0);
}

// A system driver whose pump raises a key event; the handler of that event queries again.
class EchoDriver : public TSystemDriver {
  public:
    static const ClassInfo kClass;
    EchoDriver() : TSystemDriver(kClass) {}
    void Poll() override {
        ++polls;
        TEvent::Create(kEventKeyDown, nullptr, 80, 0, 0, 0, nullptr)->Emit();
    }
    void Wait() override { Poll(); }
    void MoveMouse(int32_t, int32_t) override {}
    void SetMouseVisible(int32_t) override {}
    void Notify(const std::string&, int32_t) override {}
    int32_t Confirm(const std::string&, int32_t) override { return 0; }
    int32_t Proceed(const std::string&, int32_t) override { return 0; }
    int32_t OpenURL(const std::string&) override { return 0; }
    int polls = 0;
};
const ClassInfo EchoDriver::kClass{"EchoDriver", &TSystemDriver::kClass};

int32_t g_seenInsideHandler = -1;

ObjectRef QueryFromHandler(int32_t, const ObjectRef& data, const ObjectRef&) {
    g_seenInsideHandler = IsKeyDown(80);  // must not pump again
    return data;
}

TEST(PumpGuard, QueriesFromInsideAHandlerDoNotPumpAgain) {
    auto driver = std::make_shared<EchoDriver>();
    SetSystemDriver(driver);
    StartPolledInput(nullptr);
    AttachHook(EventHook, QueryFromHandler, nullptr, -1);  // after the polled-input hook
    driver->polls = 0;
    EXPECT_EQ(IsKeyDown(80), 1);
    EXPECT_EQ(driver->polls, 1);
    EXPECT_EQ(g_seenInsideHandler, 1);
    DetachHook(EventHook, QueryFromHandler, nullptr);
    StopPolledInput();
    SetSystemDriver(nullptr);
}

}  // namespace
