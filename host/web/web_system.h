#pragma once
// The web system driver: drains the queue the browser's event callbacks (and the injection
// helpers) fill, turning each record into the host's events. A browser cannot block, so
// waiting is polling, and there are no message boxes: Notify writes to the console, Confirm and
// Proceed give the cautious answer.

#include <cstdint>
#include <string>

#include "host/system.h"

class TWebSystemDriver : public TSystemDriver {
  public:
    static const ClassInfo kClass;
    TWebSystemDriver() : TSystemDriver(kClass) {}

    void Poll() override;
    void Wait() override;
    void MoveMouse(int32_t x, int32_t y) override;
    void SetMouseVisible(int32_t visible) override;
    void Notify(const std::string& text, int32_t serious) override;
    int32_t Confirm(const std::string& text, int32_t serious) override;
    int32_t Proceed(const std::string& text, int32_t serious) override;
    int32_t OpenURL(const std::string& url) override;
};
