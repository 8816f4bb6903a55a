#include "host/system.h"

#include "host/context.h"

const ClassInfo TSystemDriver::kClass{"TSystemDriver", &Object::kClass};

namespace {

// Marks a pump as running for its lifetime, also when a handler throws.
class PumpGuard {
  public:
    PumpGuard() { Host().pumping = true; }
    ~PumpGuard() { Host().pumping = false; }
    PumpGuard(const PumpGuard&) = delete;
    PumpGuard& operator=(const PumpGuard&) = delete;
};

}  // namespace

void SetSystemDriver(const Ref<TSystemDriver>& driver) { Host().systemDriver = driver; }

TSystemDriver* SystemDriver() { return Host().systemDriver.get(); }

void SetPumpListener(PumpListener listener, void* context) {
    Host().pumpListener = listener;
    Host().pumpContext = context;
}

void PumpSystemEvents() {
    if (Host().pumping || !Host().systemDriver) return;
    PumpGuard guard;
    if (Host().pumpListener != nullptr) Host().pumpListener(Host().pumpContext);
    Host().systemDriver->Poll();
}

void WaitSystemEvents() {
    if (Host().pumping || !Host().systemDriver) return;
    PumpGuard guard;
    if (Host().pumpListener != nullptr) Host().pumpListener(Host().pumpContext);
    Host().systemDriver->Wait();
}

void MoveMouse(int32_t x, int32_t y) {
    if (Host().systemDriver) Host().systemDriver->MoveMouse(x, y);
}
