#include "host/system.h"

const ClassInfo TSystemDriver::kClass{"TSystemDriver", &Object::kClass};

namespace {

Ref<TSystemDriver> g_driver;
bool g_pumping = false;
PumpListener g_pumpListener = nullptr;
void* g_pumpContext = nullptr;

// Marks a pump as running for its lifetime, also when a handler throws.
class PumpGuard {
  public:
    PumpGuard() { g_pumping = true; }
    ~PumpGuard() { g_pumping = false; }
    PumpGuard(const PumpGuard&) = delete;
    PumpGuard& operator=(const PumpGuard&) = delete;
};

}  // namespace

void SetSystemDriver(const Ref<TSystemDriver>& driver) { g_driver = driver; }

TSystemDriver* SystemDriver() { return g_driver.get(); }

void SetPumpListener(PumpListener listener, void* context) {
    g_pumpListener = listener;
    g_pumpContext = context;
}

void PumpSystemEvents() {
    if (g_pumping || !g_driver) return;
    PumpGuard guard;
    if (g_pumpListener != nullptr) g_pumpListener(g_pumpContext);
    g_driver->Poll();
}

void WaitSystemEvents() {
    if (g_pumping || !g_driver) return;
    PumpGuard guard;
    if (g_pumpListener != nullptr) g_pumpListener(g_pumpContext);
    g_driver->Wait();
}

void MoveMouse(int32_t x, int32_t y) {
    if (g_driver) g_driver->MoveMouse(x, y);
}
