// A frame of the running program allocates nothing from the C++ heap once it is under way:
// the simulation walks its lists and arrays in place and the frame loop builds no strings.
// This binary replaces the global operator new to count.

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#include "app/controls.h"
#include "app/program.h"
#include "host/clock.h"
#include "host/sdl/sdl_host.h"
#include "tests/support/offscreen_host.h"

namespace {
std::atomic<long> g_allocations{0};

void* Allocate(std::size_t size, std::size_t alignment) noexcept {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (size == 0) size = 1;
    if (alignment <= alignof(std::max_align_t)) return std::malloc(size);
    // aligned_alloc wants a size that is a multiple of the alignment
    return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
}
void* AllocateOrThrow(std::size_t size, std::size_t alignment) {
    if (void* p = Allocate(size, alignment)) return p;
    throw std::bad_alloc();
}
}  // namespace

// Every form of the global allocation functions, so that all of them meet one allocator.
void* operator new(std::size_t n) { return AllocateOrThrow(n, 0); }
void* operator new[](std::size_t n) { return AllocateOrThrow(n, 0); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n, 0); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n, 0); }
void* operator new(std::size_t n, std::align_val_t a) {
    return AllocateOrThrow(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a) {
    return AllocateOrThrow(n, static_cast<std::size_t>(a));
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return Allocate(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return Allocate(n, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

TEST(FrameAllocations, SteadyFramesAllocateNothing) {
    DemoState state = StartDemo();
    for (int i = 0; i < 5; ++i) RunFrame(state);  // warm-up: buffers reach their working size

    const long before = g_allocations.load();
    for (int i = 0; i < 30; ++i) RunFrame(state);
    const long during = g_allocations.load() - before;
    EXPECT_EQ(during, 0) << "operator new calls in 30 frames";
}

// Holding a box with the grab tool and dragging it every frame: the hold is one more particle and
// constraint in the world, made when it starts, and the drags only move its target.
TEST(FrameAllocations, FramesWhileDraggingAHeldBoxAllocateNothing) {
    DemoState state = StartDemo();
    Controls controls(nullptr);
    state.controls = &controls;
    ControlCommand c;
    c.kind = CommandKind::kGrab;
    c.p = {101, 531, 0, 0};
    controls.Schedule(c);
    c.kind = CommandKind::kDrag;
    for (int i = 0; i < 5; ++i) {
        c.p[1] = 531 - 2 * i;
        controls.Schedule(c);
        RunFrame(state);
    }
    ASSERT_TRUE(controls.Tools().Held().Holding());

    const long before = g_allocations.load();
    for (int i = 0; i < 30; ++i) {
        c.p[1] = 521 - 2 * i;
        controls.Schedule(c);
        RunFrame(state);
    }
    const long during = g_allocations.load() - before;
    EXPECT_EQ(during, 0) << "operator new calls in 30 frames";
}

TEST(FrameAllocations, CounterSeesAnAllocation) {
    const long before = g_allocations.load();
    int* volatile p = new int(3);
    EXPECT_EQ(g_allocations.load() - before, 1);
    delete p;
}

}  // namespace
