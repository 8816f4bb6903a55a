#pragma once
// The SDL system driver: drains SDL's event queue and turns each SDL event into the host's
// events (EmitSdlEvent), keeps the modifier state and the pointer's enter/leave tracking.

#include <cstdint>
#include <string>

#include "host/system.h"

union SDL_Event;

class TSDLSystemDriver : public TSystemDriver {
  public:
    static const ClassInfo kClass;
    TSDLSystemDriver() : TSystemDriver(kClass) {}

    void Poll() override;
    void Wait() override;
    void MoveMouse(int32_t x, int32_t y) override;
    void SetMouseVisible(int32_t visible) override;
    void Notify(const std::string& text, int32_t serious) override;
    int32_t Confirm(const std::string& text, int32_t serious) override;
    int32_t Proceed(const std::string& text, int32_t serious) override;
    int32_t OpenURL(const std::string& url) override;
};

// Translates one SDL event and emits what it yields; true when it yielded an event.
// Besides its own event a pointer move may first emit "MouseLeave"/"MouseEnter", a key press
// the character the key types on its own, and typed text one "KeyChar" per UTF-16 code unit.
bool EmitSdlEvent(const SDL_Event& event);

// The modifier state the next event carries (shift 1, control 2, alt 4, system key 8).
int32_t SystemModifierState();
