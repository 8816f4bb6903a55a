#pragma once
// The host's millisecond clock and sleep, behind a seam: frame pacing and ElapsedMs read the
// current HostClock, so tests and the headless replay can run on virtual time.

#include <cstdint>

// The real clock: monotonic milliseconds as a wrapping int32 (only differences mean anything)
// and a thread sleep.
class HostClock {
  public:
    virtual ~HostClock() = default;
    virtual int32_t NowMs();
    virtual void SleepMs(int32_t ms);
};

// Time that moves only when told: sleeping advances it at once by the requested amount.
class VirtualClock : public HostClock {
  public:
    explicit VirtualClock(int32_t startMs = 0) : now_(static_cast<uint32_t>(startMs)) {}
    int32_t NowMs() override { return static_cast<int32_t>(now_); }
    void SleepMs(int32_t ms) override;
    // Moves time on by ms (negative amounts are ignored), as a slow frame would.
    void Advance(int32_t ms);
    // Milliseconds slept so far.
    int64_t SleptMs() const { return slept_; }

  private:
    uint32_t now_;  // unsigned so that wrapping past the int32 range is defined
    int64_t slept_ = 0;
};

// Makes clock the host's clock; nullptr restores the real one. The caller keeps it alive.
void SetHostClock(HostClock* clock);
HostClock& CurrentHostClock();

// Milliseconds on the host clock, wrapping.
int32_t ElapsedMs();
// Sleeps on the host clock; nothing for ms <= 0.
void SleepMs(int32_t ms);

// a + b and a - b with int32 wrap-around, for arithmetic on ElapsedMs values.
inline int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t WrapSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
