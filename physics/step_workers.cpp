#include "physics/internal/step_workers.h"

#include <cstdlib>
#include <string>

#include "runtime/error.h"

int32_t EnvironmentStepThreads() {
#if SANDBOX_STEP_THREADS
    static const int32_t threads = [] {
        const char* text = std::getenv("SANDBOX_THREADS");
        if (text == nullptr) return 0;
        char* end = nullptr;
        const long value = std::strtol(text, &end, 10);
        if (*text == '\0' || *end != '\0' || value < 1 || value > kMaxStepThreads) {
            RuntimeThrow("SANDBOX_THREADS=" + std::string(text) +
                         ": expected a whole number from 1 to " + std::to_string(kMaxStepThreads));
        }
        return static_cast<int32_t>(value);
    }();
    return threads;
#else
    return 1;
#endif
}

int32_t CoreStepThreads() {
#if SANDBOX_STEP_THREADS
    const auto cores = static_cast<int32_t>(std::thread::hardware_concurrency());
    if (cores < 1) return 1;
    return cores < kDefaultStepThreadLimit ? cores : kDefaultStepThreadLimit;
#else
    return 1;
#endif
}

#if SANDBOX_STEP_THREADS

namespace {

// How long a thread waiting for the others checks in a loop before it sleeps (a pause is 10 ns
// or more, so 0.2 ms or more): longer than the step's gaps between Runs, so that its rapid Runs
// do not pay for waking a sleeper each time, while a thread left waiting through the step's
// one-thread stretches gives its core back.
constexpr int32_t kSpins = 20000;

}  // namespace

StepWorkers::StepWorkers(int32_t threads) : threads_(threads < 1 ? 1 : threads) {
    helpers_.reserve(static_cast<size_t>(threads_ - 1));
    for (int32_t i = 1; i < threads_; ++i) helpers_.emplace_back([this, i] { Serve(i == 1); });
}

StepWorkers::~StepWorkers() {
    stop_.store(true, std::memory_order_relaxed);
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    for (std::thread& t : helpers_) t.join();
}

void StepWorkers::Serve(bool fromBack) {
    uint32_t seen = 0;
    for (;;) {
        uint32_t now = generation_.load(std::memory_order_acquire);
        for (int32_t i = 0; now == seen && i < kSpins; ++i) {
            SpinPause();
            now = generation_.load(std::memory_order_acquire);
        }
        while (now == seen) {
            generation_.wait(seen, std::memory_order_acquire);
            now = generation_.load(std::memory_order_acquire);
        }
        seen = now;
        if (stop_.load(std::memory_order_relaxed)) return;
        Work(now, fromBack);
    }
}

// Takes pieces of Run `generation` until none is left (or a later Run has begun): the first one
// left, or the last.
void StepWorkers::Work(uint32_t generation, bool fromBack) {
    for (;;) {
        uint64_t claim = claim_.load(std::memory_order_acquire);
        int32_t piece = 0;
        for (;;) {
            const auto front = static_cast<int32_t>(claim & 0xfffu);
            const auto back = static_cast<int32_t>((claim >> 12) & 0xfffu);
            if (static_cast<uint32_t>(claim >> 32) != generation || front >= back) return;
            piece = fromBack ? back - 1 : front;
            const uint64_t taken = fromBack ? claim - (uint64_t{1} << 12) : claim + 1;
            if (claim_.compare_exchange_weak(claim, taken, std::memory_order_acq_rel,
                                             std::memory_order_acquire)) {
                break;
            }
        }
        // The piece taken belongs to this Run, which cannot end (nor task_ change) before it is
        // done.
        const auto pieces = static_cast<int32_t>((claim >> 24) & 0xffu);
        task_(context_, piece, pieces);
        if (done_.fetch_add(1, std::memory_order_acq_rel) + 1 == pieces) done_.notify_one();
    }
}

void StepWorkers::Run(Task task, void* context, int32_t pieces) {
    if (pieces < 1) return;
    if (threads_ == 1) {
        for (int32_t p = 0; p < pieces; ++p) task(context, p, pieces);
        return;
    }
    // Everything the pieces read is written before the Run's claim is published (release).
    ++runs_;
    if (runs_ == 0) runs_ = 1;  // 0 is the helpers' "seen nothing yet"
    task_ = task;
    context_ = context;
    done_.store(0, std::memory_order_relaxed);
    claim_.store((static_cast<uint64_t>(runs_) << 32) | (static_cast<uint64_t>(pieces) << 24) |
                     (static_cast<uint64_t>(pieces) << 12),
                 std::memory_order_release);
    generation_.store(runs_, std::memory_order_release);
    generation_.notify_all();
    Work(runs_, false);
    int32_t done = done_.load(std::memory_order_acquire);
    for (int32_t i = 0; done != pieces && i < kSpins; ++i) {
        SpinPause();
        done = done_.load(std::memory_order_acquire);
    }
    while (done != pieces) {
        done_.wait(done, std::memory_order_acquire);
        done = done_.load(std::memory_order_acquire);
    }
}

#else

StepWorkers::StepWorkers(int32_t) : threads_(1) {}
StepWorkers::~StepWorkers() = default;
void StepWorkers::Run(Task task, void* context, int32_t pieces) {
    for (int32_t p = 0; p < pieces; ++p) task(context, p, pieces);
}

#endif
