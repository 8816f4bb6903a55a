// A soak: a long session of varied throws run twice through the real program on the offscreen
// driver. The two runs must agree bit for bit at every frame, no coordinate may ever stop being
// a number, no particle may be more than 20 px past the walls at any frame, when there is room
// for the boxes every box must end with its shape, and the heap must grow with the bodies alone:
// once the throws stop it stays flat.
//
// CI runs the short form (2,000 frames, 50 throws). SOAK_FRAMES and SOAK_THROWS set a longer
// one, e.g. SOAK_FRAMES=20000 SOAK_THROWS=500 for the full soak; the figures are printed.

#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <vector>

#include "app/program.h"
#include "host/clock.h"
#include "host/input.h"
#include "host/sdl/sdl_host.h"
#include "physics/constraint.h"
#include "physics/verlet.h"
#include "tests/support/offscreen_host.h"

// Every C++ allocation of the program (the physics, the program, the host's C++ side; not the
// C libraries under it) is counted here, live blocks and their usable bytes, so that the soak
// can tell growth that follows the bodies from a leak.
namespace {
std::atomic<long long> gLiveBlocks{0};
std::atomic<long long> gLiveBytes{0};

void* Allocate(std::size_t n) noexcept {
    void* p = std::malloc(n == 0 ? 1 : n);
    if (p != nullptr) {
        gLiveBlocks += 1;
        gLiveBytes += static_cast<long long>(malloc_usable_size(p));
    }
    return p;
}
void* AllocateOrThrow(std::size_t n) {
    void* p = Allocate(n);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void Release(void* p) noexcept {
    if (p == nullptr) return;
    gLiveBlocks -= 1;
    gLiveBytes -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}
}  // namespace

void* operator new(std::size_t n) { return AllocateOrThrow(n); }
void* operator new[](std::size_t n) { return AllocateOrThrow(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

namespace {

// Room for buffers that grow by doubling (the collision pass's pair list, the line batch), which
// early bodies pay more of and which may double once more while the pile settles.
constexpr double kGrowOnce = 262144.0;

int32_t EnvInt(const char* name, int32_t fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::atoi(v) : fallback;
}

struct Heap {
    long long blocks = 0;
    long long bytes = 0;
};
Heap HeapInUse() { return {gLiveBlocks.load(), gLiveBytes.load()}; }

struct Input {
    int32_t frame;
    enum Kind { kMove, kDown, kUp } kind;
    int32_t x, y;
};

// Throws every few frames: onto the pile, beside it, and released outside the window on every
// side and past its corners, with drags of every length.
std::vector<Input> MakeSession(int32_t frames, int32_t throws) {
    std::mt19937 rng(7005);
    auto in = [&rng](int32_t lo, int32_t hi) {
        return lo + static_cast<int32_t>(rng() % static_cast<uint32_t>(hi - lo + 1));
    };
    std::vector<Input> s;
    // The first 100 frames warm the renderer up; the last 600 have no throws.
    const int32_t gap = (frames - 700) / throws;
    for (int32_t t = 0; t < throws; ++t) {
        const int32_t f = 101 + t * gap;
        const int32_t x0 = in(20, 780), y0 = in(20, 450);
        int32_t x1 = 0, y1 = 0;
        const int32_t far = in(20, 700);
        switch (t % 8) {
            case 0:  // onto the pile
            case 1:
                x1 = in(200, 600), y1 = in(20, 250);
                break;
            case 2:  // beside it
                x1 = t % 16 == 2 ? in(5, 120) : in(680, 795), y1 = in(100, 560);
                break;
            case 3:
                x1 = 800 + far, y1 = in(0, 599);
                break;
            case 4:
                x1 = -far, y1 = in(0, 599);
                break;
            case 5:
                x1 = in(0, 799), y1 = t % 16 == 5 ? -far : 600 + far;
                break;
            case 6:  // past a corner
                x1 = t % 16 == 6 ? -far : 800 + far, y1 = (t / 8) % 2 == 0 ? -far : 600 + far;
                break;
            default:  // anywhere inside
                x1 = in(0, 799), y1 = in(0, 599);
                break;
        }
        const int32_t hold = in(1, std::min(8, gap - 3));
        s.push_back({f, Input::kMove, x0, y0});
        s.push_back({f + 1, Input::kDown, 0, 0});
        s.push_back({f + 1 + hold, Input::kMove, x1, y1});
        s.push_back({f + 1 + hold, Input::kUp, 0, 0});
    }
    return s;
}

struct RunResult {
    std::vector<uint64_t> frameHashes;  // every particle's position bits, per frame
    int32_t firstNonFinite = 0;
    int32_t bodies = 0;
    std::vector<Heap> heap;  // after 100 frames and after every 500 more
    std::vector<int32_t> bodiesAt;
    Heap heapAfterThrows;  // 300 frames before the end, after the last throw
    Heap heapAtEnd;
    // How far particles went past the walls (px), leaving out a box in the frame it was thrown,
    // where the cursor put it: in the whole run, and from 300 frames before the end.
    float farthestOut = 0.0f;
    float farthestOutLate = 0.0f;
    int32_t outAtEnd = 0;  // particles more than kWallMargin outside at the end
    float minX = 0.0f, maxX = 0.0f, minY = 0.0f, maxY = 0.0f;  // at the end
    int32_t boxes = 0;
    int32_t misshapen = 0;      // boxes with a side off its rest length by more than kShapeSlack
    double lastFramesMs = 0.0;  // wall-clock time of the last 100 frames, per frame
};

// Past the walls by more than this, a particle has gone further than a step's travel.
constexpr float kWallMargin = 20.0f;
constexpr float kShapeSlack = 0.25f;  // of a side's rest length

float PastTheWalls(float x, float y) {
    return std::max({-x, x - static_cast<float>(kWindowWidth), -y,
                     y - static_cast<float>(kWindowHeight), 0.0f});
}

// Boxes whose sides are within kShapeSlack of their rest lengths, and all boxes.
void CountShapes(PhysicsWorld& world, int32_t& boxes, int32_t& misshapen) {
    boxes = misshapen = 0;
    for (PhysicsBody* b : world.PhysicsBodies->fast<PhysicsBody>()) {
        ++boxes;
        for (constraint* c : b->activeconstraints->fast<constraint>()) {
            const float dx = c->v1->pos->x - c->v2->pos->x;
            const float dy = c->v1->pos->y - c->v2->pos->y;
            const float length = std::sqrt(dx * dx + dy * dy);
            if (std::fabs(length - c->OriginalLength) > kShapeSlack * c->OriginalLength) {
                ++misshapen;
                break;
            }
        }
    }
}

uint64_t Mix(uint64_t h, float f) {
    uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof bits);
    return (h ^ bits) * 1099511628211ull;
}

RunResult RunSession(const std::vector<Input>& session, int32_t frames) {
    RunResult r;
    DemoState state = StartDemo();
    size_t next = 0;
    FrameLoopHooks hooks;
    int32_t counted = 0;  // particles at the previous frame: the ones after them were just thrown
    auto clock = std::chrono::steady_clock::now();
    hooks.beforeQuitTest = [&](int32_t frame, DemoState& s) {
        if (frame > 1) {
            uint64_t h = 14695981039346656037ull;
            bool finite = true;
            int32_t n = 0;
            float farthest = 0.0f;
            for (Verlet* v : s.world->VerletList->each<Verlet>()) {
                h = Mix(Mix(h, v->pos->x), v->pos->y);
                finite = finite && std::isfinite(v->pos->x) && std::isfinite(v->pos->y);
                if (n++ < counted)
                    farthest = std::max(farthest, PastTheWalls(v->pos->x, v->pos->y));
            }
            counted = n;
            r.frameHashes.push_back(h);
            if (!finite && r.firstNonFinite == 0) r.firstNonFinite = frame - 1;
            r.farthestOut = std::max(r.farthestOut, farthest);
            if (frame > frames - 299) r.farthestOutLate = std::max(r.farthestOutLate, farthest);
        }
        if (frame == frames - 99) clock = std::chrono::steady_clock::now();
        if (frame % 500 == 101) {  // from frame 101, after the warm-up
            r.heap.push_back(HeapInUse());
            r.bodiesAt.push_back(s.world->PhysicsBodies->Count());
        }
        for (; next < session.size() && session[next].frame <= frame; ++next) {
            const Input& in = session[next];
            if (in.kind == Input::kMove) InjectMouseMove(in.x, in.y);
            if (in.kind != Input::kMove) InjectMouseButton(1, in.kind == Input::kDown);
        }
        if (frame == frames - 299) r.heapAfterThrows = HeapInUse();
        if (frame == frames + 1) {
            r.heapAtEnd = HeapInUse();
            r.lastFramesMs =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - clock)
                    .count() /
                100.0;
            InjectKey(kQuitKey, true);
        }
    };
    EXPECT_EQ(RunFrameLoop(state, hooks), frames);
    r.bodies = state.world->PhysicsBodies->Count();
    bool first = true;
    for (Verlet* v : state.world->VerletList->each<Verlet>()) {
        const float x = v->pos->x, y = v->pos->y;
        if (PastTheWalls(x, y) > kWallMargin) ++r.outAtEnd;
        r.minX = first ? x : std::min(r.minX, x);
        r.maxX = first ? x : std::max(r.maxX, x);
        r.minY = first ? y : std::min(r.minY, y);
        r.maxY = first ? y : std::max(r.maxY, y);
        first = false;
    }
    CountShapes(*state.world, r.boxes, r.misshapen);
    InjectKey(kQuitKey, false);
    IsKeyDown(kQuitKey);
    return r;
}

TEST(Soak, VariedThrowsTwiceGiveTheSameBitsStayInsideKeepTheirShapesAndKeepTheHeapFlat) {
    const int32_t frames = EnvInt("SOAK_FRAMES", 2000);
    const int32_t throws = EnvInt("SOAK_THROWS", 50);
    ASSERT_GE(frames, 1000);
    ASSERT_GE((frames - 700) / throws, 5) << "too many throws for the frames";
    const std::vector<Input> session = MakeSession(frames, throws);

    const RunResult a = RunSession(session, frames);
    const RunResult b = RunSession(session, frames);

    EXPECT_EQ(a.firstNonFinite, 0)
        << "a coordinate stopped being a number at frame " << a.firstNonFinite;
    EXPECT_EQ(a.bodies, 46 + throws);
    std::printf(
        "soak: at the end %d of %d boxes misshapen, %d particles more than %.0f px outside the "
        "walls, x %.0f..%.0f, y %.0f..%.0f, %.1f ms a frame over the last 100; farthest outside "
        "%.1f px in the run, %.1f px over the last 300 frames\n",
        a.misshapen, a.boxes, a.outAtEnd, kWallMargin, a.minX, a.maxX, a.minY, a.maxY,
        a.lastFramesMs, a.farthestOut, a.farthestOutLate);
    // The walls hold however full the window gets (a box counts from the frame after its
    // throw). Boxes keep their shapes when there is room for them: when their area at rest is at
    // most two thirds of the window's. More than that, the pile is pressed out of shape by its
    // own weight.
    EXPECT_LE(a.farthestOut, kWallMargin) << "particles were outside the walls";
    const bool room = 3.0 * (a.boxes - 1) * 50.0 * 50.0 <= 2.0 * kWindowWidth * kWindowHeight;
    if (room) {
        EXPECT_EQ(a.misshapen, 0) << "boxes ended out of shape";
    }
    ASSERT_EQ(a.frameHashes.size(), b.frameHashes.size());
    for (size_t i = 0; i < a.frameHashes.size(); ++i) {
        ASSERT_EQ(a.frameHashes[i], b.frameHashes[i]) << "the runs part at frame " << i + 1;
    }

    // The heap grows with the bodies thrown and with nothing else: per body it stays about
    // the same all through the session, and once the throws stop it stays where it is.
    // The C++ heap grows with the bodies thrown and with nothing else: per body it stays about
    // the same all through the session, and once the throws stop no block is added at all (a
    // buffer may still move to a larger block, which keeps the count).
    ASSERT_GE(a.heap.size(), 3u);
    const double grownAll = static_cast<double>(a.heap.back().bytes - a.heap[0].bytes);
    const double bytesPerBody = grownAll / (a.bodiesAt.back() - a.bodiesAt[0]);
    std::printf(
        "soak: %d frames, %d throws, %d bodies; C++ heap %lld -> %lld bytes in %lld -> "
        "%lld blocks, %.0f bytes per body thrown\n",
        frames, throws, a.bodies, a.heap[0].bytes, a.heap.back().bytes, a.heap[0].blocks,
        a.heap.back().blocks, bytesPerBody);
    RecordProperty("bytes_per_body", static_cast<int>(bytesPerBody));
    for (size_t i = 1; i < a.heap.size(); ++i) {
        const double grown = static_cast<double>(a.heap[i].bytes - a.heap[0].bytes);
        const double bodies = a.bodiesAt[i] - a.bodiesAt[0];
        EXPECT_LE(grown, bodies * bytesPerBody * 1.25 + kGrowOnce)
            << "heap at frame " << 100 + i * 500 << " is " << a.heap[i].bytes << " bytes";
    }
    EXPECT_EQ(a.heapAtEnd.blocks, a.heapAfterThrows.blocks)
        << "blocks were added over the last 300 frames, with no new body";
    EXPECT_LE(static_cast<double>(a.heapAtEnd.bytes - a.heapAfterThrows.bytes), kGrowOnce)
        << "the heap grew from " << a.heapAfterThrows.bytes << " to " << a.heapAtEnd.bytes
        << " bytes over the last 300 frames, with no new body";
}

}  // namespace
