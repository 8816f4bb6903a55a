#pragma once
// StepWorkers: a few threads kept for the whole life of a world, to which the stable step hands
// the parts of its work that split into independent pieces (physics/stable_step.cpp says which,
// and why the bits come out the same). Started once, when a step first needs them; a step only
// wakes them and waits for them, so it allocates nothing and starts no thread. The pieces are
// taken one at a time by whichever thread is free, the calling thread included, so a helper that
// the machine keeps waiting (other programs on every core) delays the step by at most the piece
// it took: the caller does the rest alone.
//
// The browser build has no threads: there StepWorkers has no helper and runs every part on the
// calling thread, one after another.

#include <cstdint>

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
#define SANDBOX_STEP_THREADS 0
#else
#define SANDBOX_STEP_THREADS 1
#include <atomic>
#include <thread>
#include <vector>
#endif

// The most threads a world's step may use, and the most it uses unless told otherwise.
inline constexpr int32_t kMaxStepThreads = 8;
inline constexpr int32_t kDefaultStepThreadLimit = 4;
// Pieces a Run may split into (the step cuts its work into a few per thread; at most 255).
inline constexpr int32_t kMaxStepPieces = 4 * kMaxStepThreads;

// SANDBOX_THREADS from the environment, read once: a whole number from 1 to kMaxStepThreads
// (anything else raises the runtime error), or 0 when it is not set. Always 1 without threads.
int32_t EnvironmentStepThreads();
// The machine's cores, up to kDefaultStepThreadLimit. Always 1 without threads.
int32_t CoreStepThreads();

// What a thread does in a loop while it waits for another: tells the processor so.
inline void SpinPause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

class StepWorkers {
  public:
    // task(context, piece, pieces) is run once for every piece in [0, pieces).
    using Task = void (*)(void* context, int32_t piece, int32_t pieces);

    // Starts threads - 1 helpers (none without threads).
    explicit StepWorkers(int32_t threads);
    ~StepWorkers();
    StepWorkers(const StepWorkers&) = delete;
    StepWorkers& operator=(const StepWorkers&) = delete;

    // The threads that work on a Run: the helpers and the calling thread.
    int32_t Threads() const { return threads_; }

    // Runs every piece of task (1 to kMaxStepPieces of them), each once, on this thread and the
    // helpers in no fixed order, and returns when all are done; what the pieces wrote is then
    // seen by the caller and by the pieces of the next Run.
    void Run(Task task, void* context, int32_t pieces);

  private:
    int32_t threads_;
#if SANDBOX_STEP_THREADS
    void Serve(bool fromBack);
    void Work(uint32_t generation, bool fromBack);

    std::vector<std::thread> helpers_;
    Task task_ = nullptr;
    void* context_ = nullptr;
    uint32_t runs_ = 0;                    // the caller's count of Runs
    std::atomic<uint32_t> generation_{0};  // the current Run's count; the helpers wait on it
    // The current Run's count (high 32 bits), its pieces (bits 24 to 31) and those not yet taken,
    // [front, back) (front in the low 12 bits, back in the next 12), read and taken together so
    // that a thread that looks late takes nothing of a new Run. The calling thread takes pieces
    // from the front, the first helper from the back: with pieces cut in the same order every
    // Run, each thread keeps working on the same particles while neither waits for the other,
    // and they stay in its core's cache.
    std::atomic<uint64_t> claim_{0};
    std::atomic<int32_t> done_{0};  // pieces of the current Run finished
    std::atomic<bool> stop_{false};
#endif
};
