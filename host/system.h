#pragma once
// The system driver: the platform's message pump, which turns window messages into events
// (emitted through EventHook), and the few platform services the host needs besides. One
// driver is installed when the host starts; without one, pumping does nothing.

#include <cstdint>
#include <string>

#include "runtime/object.h"

class TSystemDriver : public Object {
  public:
    static const ClassInfo kClass;

    // Takes every waiting message off the queue, without waiting, and emits its event.
    virtual void Poll() = 0;
    // Blocks until a message is waiting, then polls.
    virtual void Wait() = 0;
    // Places the pointer at (x, y) in the active window's client coordinates (screen
    // coordinates when no window is active).
    virtual void MoveMouse(int32_t x, int32_t y) = 0;
    virtual void SetMouseVisible(int32_t visible) = 0;
    // Message boxes: Notify shows text; Confirm asks yes (1) or no (0); Proceed asks yes (1),
    // no (0) or cancel (-1). serious != 0 marks an error or warning.
    virtual void Notify(const std::string& text, int32_t serious) = 0;
    virtual int32_t Confirm(const std::string& text, int32_t serious) = 0;
    virtual int32_t Proceed(const std::string& text, int32_t serious) = 0;
    // Opens a web address in the user's browser; 1 on success.
    virtual int32_t OpenURL(const std::string& url) = 0;

  protected:
    explicit TSystemDriver(const ClassInfo& c) : Object(c) {}
};

// Installs the system driver (none removes it).
void SetSystemDriver(const Ref<TSystemDriver>& driver);
TSystemDriver* SystemDriver();

// The driver's Poll, or Wait; both return at once when called from inside a pump (a query
// made by an event handler), so handlers read the tables as they stand.
void PumpSystemEvents();
void WaitSystemEvents();

// Called at the start of every pump that reaches the driver (not the nested calls that return
// at once), before it takes anything in: a session recorder counts the pumps of a frame with it,
// and a replay delivers events due at a given pump. None by default; one listener at a time.
using PumpListener = void (*)(void* context);
void SetPumpListener(PumpListener listener, void* context);

// The system driver's MoveMouse; nothing without a driver.
void MoveMouse(int32_t x, int32_t y);
