#include "host/event.h"

#include <gtest/gtest.h>

#include "host/hook.h"

namespace {

TEST(EventIds, RegistryNamesTheSystemsIds) {
    const std::pair<int32_t, const char*> named[] = {
        {257, "AppSuspend"},    {259, "AppTerminate"},  {261, "AppIdle"},
        {516, "KeyRepeat"},     {1030, "MouseLeave"},   {2049, "TimerTick"},
        {8193, "GadgetAction"}, {8201, "GadgetShape"},  {16389, "WindowAccept"},
        {32769, "MenuAction"},  {65538, "StreamAvail"}, {131073, "ProcessExit"},
    };
    for (const auto& [id, name] : named) EXPECT_EQ(TEvent::DescriptionForId(id), name) << id;
    EXPECT_EQ(TEvent::DescriptionForId(12345), "Unknown Event, id=12345");
}

TEST(EventIds, UserIdsAreFreshAndCanBeNamed) {
    const int32_t a = TEvent::AllocUserId();
    const int32_t b = TEvent::AllocUserId();
    EXPECT_NE(a, b);
    EXPECT_EQ(TEvent::DescriptionForId(a).rfind("Unknown Event", 0), 0u);
    TEvent::RegisterId(a, "Ping");
    EXPECT_EQ(TEvent::DescriptionForId(a), "Ping");
    EXPECT_EQ(TEvent::Create(a, nullptr, 3, 1, -4, 5, nullptr)->ToString(),
              "Ping: data=3, mods=1, x=-4, y=5");
}

void EmitLocalEvent() {
    TEvent local;
    local.id = kEventKeyDown;
    local.data = 65;
    local.mods = kModShift;
    local.x = 3;
    local.y = -4;
    local.Emit();
}

TEST(EventQueue, OwnsACopyOfAnEventEmittedFromTheStack) {
    StartEvents();
    while (PollEvent()) {
    }
    EmitLocalEvent();  // the event is gone when this returns
    Ref<TEvent> ev = PollEvent();
    ASSERT_TRUE(ev);
    EXPECT_GT(ev.use_count(), 0);  // owned, not an alias of the dead event
    EXPECT_EQ(ev->ToString(), "KeyDown: data=65, mods=1, x=3, y=-4");
    EXPECT_FALSE(PollEvent());
}

TEST(EventQueue, KeepsTheFirst256AndDropsNewEventsWhileFull) {
    StartEvents();
    for (int32_t i = 0; i < 300; ++i) {
        TEvent::Create(kEventKeyChar, nullptr, i, 0, 0, 0, nullptr)->Emit();
    }
    ASSERT_TRUE(PeekEvent());
    EXPECT_EQ(PeekEvent()->data, 0);
    for (int32_t i = 0; i < 256; ++i) {
        Ref<TEvent> ev = PollEvent();
        ASSERT_TRUE(ev);
        EXPECT_EQ(ev->data, i);
    }
    EXPECT_FALSE(PollEvent());
    // Room again: the next event is kept.
    TEvent::Create(kEventKeyChar, nullptr, 999, 0, 0, 0, nullptr)->Emit();
    ASSERT_TRUE(PeekEvent());
    EXPECT_EQ(PollEvent()->data, 999);
}

ObjectRef Swallow(int32_t, const ObjectRef&, const ObjectRef&) { return nullptr; }

TEST(EventQueue, SitsBehindEveryOrdinaryHook) {
    StartEvents();
    while (PollEvent()) {
    }
    // A hook at priority -9999 that passes nothing on starves the queue.
    AttachHook(EventHook, Swallow, nullptr, kEventQueuePriority + 1);
    TEvent::Create(kEventKeyDown, nullptr, 65, 0, 0, 0, nullptr)->Emit();
    EXPECT_FALSE(PollEvent());
    DetachHook(EventHook, Swallow, nullptr);
    TEvent::Create(kEventKeyDown, nullptr, 65, 0, 0, 0, nullptr)->Emit();
    EXPECT_TRUE(PollEvent());
}

}  // namespace
