#pragma once
// Opens the real SDL2 + OpenGL window under SDL's offscreen video driver (EGL and Mesa's
// software renderer), so the tests need no display.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/graphics.h"
#include "host/input.h"
#include "host/sdl/sdl_host.h"

struct Rgba {
    uint8_t r, g, b, a;
};

// "r g b" of a pixel: one comparison that names all three.
inline std::string Rgb(const Rgba& p) {
    return std::to_string(p.r) + " " + std::to_string(p.g) + " " + std::to_string(p.b);
}

class WindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        StartHost();
    }
    void SetUp() override {
        graphics = OpenGraphicsWindow(800, 600, 0, 60, 0);
        ASSERT_TRUE(graphics) << "no OpenGL window under the offscreen video driver";
    }
    void TearDown() override { CloseGraphicsWindow(); }

    // The back buffer as drawn so far.
    void Capture() {
        int32_t w = 0, h = 0;
        ASSERT_TRUE(ReadBackBuffer(pixels, w, h));
        ASSERT_EQ(w, 800);
        ASSERT_EQ(h, 600);
    }
    Rgba At(int32_t x, int32_t y) const {
        const size_t i = (static_cast<size_t>(y) * 800 + static_cast<size_t>(x)) * 4;
        return {pixels[i], pixels[i + 1], pixels[i + 2], pixels[i + 3]};
    }
    // Every pixel whose colour is not black.
    std::set<std::pair<int32_t, int32_t>> Lit() const {
        std::set<std::pair<int32_t, int32_t>> lit;
        for (int32_t y = 0; y < 600; ++y) {
            for (int32_t x = 0; x < 800; ++x) {
                const Rgba p = At(x, y);
                if (p.r || p.g || p.b) lit.insert({x, y});
            }
        }
        return lit;
    }

    Ref<TGraphics> graphics;
    std::vector<uint8_t> pixels;
};
