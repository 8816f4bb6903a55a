#pragma once
// Window tests run on SDL's offscreen video driver with a virtual clock, so that frame pacing
// advances virtual time instead of sleeping. Including this header registers the environment
// once for the test binary.

#include <gtest/gtest.h>

#include <cstdlib>

#include "host/backend.h"
#include "host/clock.h"

class OffscreenHost : public ::testing::Environment {
  public:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        SetHostClock(&clock_);
        StartHost();
    }
    void TearDown() override { SetHostClock(nullptr); }

  private:
    VirtualClock clock_;
};

inline const ::testing::Environment* const kOffscreenHost =
    ::testing::AddGlobalTestEnvironment(new OffscreenHost);
