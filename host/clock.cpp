#include "host/clock.h"

#include <chrono>
#include <thread>

#include "host/context.h"

int32_t HostClock::NowMs() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count();
    // Keep the low 32 bits: the clock wraps like a 32-bit millisecond counter.
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(ms)));
}

void HostClock::SleepMs(int32_t ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void VirtualClock::SleepMs(int32_t ms) {
    if (ms <= 0) return;
    now_ += static_cast<uint32_t>(ms);
    slept_ += ms;
}

void VirtualClock::Advance(int32_t ms) {
    if (ms > 0) now_ += static_cast<uint32_t>(ms);
}

void SetHostClock(HostClock* clock) {
    HostContext& host = Host();
    host.clock = clock != nullptr ? clock : &host.realClock;
}

HostClock& CurrentHostClock() { return *Host().clock; }

int32_t ElapsedMs() { return Host().clock->NowMs(); }

void SleepMs(int32_t ms) { Host().clock->SleepMs(ms); }
