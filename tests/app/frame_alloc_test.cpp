// A frame of the running program allocates nothing from the C++ heap once it is under way:
// the simulation walks its lists and arrays in place and the frame loop builds no strings.
// This binary replaces the global operator new to count.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "app/program.h"
#include "host/clock.h"
#include "host/sdl/sdl_host.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(FrameAllocations, SteadyFramesAllocateNothing) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    VirtualClock clock;
    SetHostClock(&clock);
    StartHost();
    DemoState state = StartDemo();
    for (int i = 0; i < 5; ++i) RunFrame(state);  // warm-up: buffers reach their working size

    const long before = g_allocations.load();
    for (int i = 0; i < 30; ++i) RunFrame(state);
    const long during = g_allocations.load() - before;
    SetHostClock(nullptr);
    EXPECT_EQ(during, 0) << "operator new calls in 30 frames";
}

TEST(FrameAllocations, CounterSeesAnAllocation) {
    const long before = g_allocations.load();
    int* volatile p = new int(3);
    EXPECT_EQ(g_allocations.load() - before, 1);
    delete p;
}

}  // namespace
