#include <SDL.h>
#include <SDL_opengl.h>

#include <cstdio>

#include "host/sdl/gl_graphics.h"
#include "tests/host/window_fixture.h"

namespace {

using Pixels = std::set<std::pair<int32_t, int32_t>>;

TEST_F(WindowTest, OpensAFixedCentredWindowOfExactlyTheRequestedClientSize) {
    int32_t w = 0, h = 0, depth = -1, hertz = 0, flags = 0;
    graphics->GetSettings(w, h, depth, hertz, flags);
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 600);
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(hertz, 60);
    EXPECT_EQ(flags & kGraphicsBackBuffer, kGraphicsBackBuffer);
    SDL_Window* window = ActiveSdlWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_STREQ(SDL_GetWindowTitle(window), "Quorrel Application");
    EXPECT_EQ(SDL_GetWindowFlags(window) & SDL_WINDOW_RESIZABLE, 0u);
    EXPECT_NE(SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN, 0u);
    SDL_Rect display{};
    ASSERT_EQ(SDL_GetDisplayBounds(0, &display), 0);
    int x = 0, y = 0;
    SDL_GetWindowPosition(window, &x, &y);
    EXPECT_EQ(x, display.x + display.w / 2 - 400);
    EXPECT_EQ(y, display.y + display.h / 2 - 300);
}

TEST_F(WindowTest, NewWindowIsBlackAndDefaultLinesAreOpaqueWhite) {
    Capture();
    EXPECT_TRUE(Lit().empty());
    DrawLineSegment(100, 100, 100, 100, 1);
    Capture();
    EXPECT_EQ(Rgb(At(100, 100)), "255 255 255");
}

TEST_F(WindowTest, LineWithLastPixelCoversBothEnds) {
    DrawLineSegment(10, 20, 30, 40, 1);
    Capture();
    Pixels expected;
    for (int32_t i = 0; i <= 20; ++i) expected.insert({10 + i, 20 + i});
    EXPECT_EQ(Lit(), expected);
}

TEST_F(WindowTest, FlagThreeDrawsWhatFlagOneDrawsAndFlagZeroAtMostLosesTheEnd) {
    DrawLineSegment(10, 20, 300, 140, 1);
    Capture();
    const std::vector<uint8_t> one = pixels;
    const Pixels litOne = Lit();
    ClearFrame();
    DrawLineSegment(10, 20, 300, 140, 3);
    Capture();
    EXPECT_EQ(pixels, one);
    ClearFrame();
    DrawLineSegment(10, 20, 300, 140, 0);
    Capture();
    Pixels missing;
    for (const auto& p : litOne) {
        if (!Lit().count(p)) missing.insert(p);
    }
    EXPECT_TRUE(missing.empty() || missing == (Pixels{{300, 140}}));
    for (const auto& p : Lit()) EXPECT_TRUE(litOne.count(p));
}

TEST_F(WindowTest, ZeroLengthLineIsOnePixel) {
    DrawLineSegment(5, 7, 5, 7, 1);
    Capture();
    EXPECT_EQ(Lit(), (Pixels{{5, 7}}));
}

TEST_F(WindowTest, PointsOnPixelEdgesTakeThePixelRightAndAbove) {
    // Positions are held in 1/256 pixel: 0.001 from the edge is on it, 0.003 is not.
    DrawLineSegment(100.5f, 200.5f, 100.5f, 200.5f, 1);
    DrawLineSegment(110.501f, 210.499f, 110.501f, 210.499f, 1);
    DrawLineSegment(120.497f, 220.503f, 120.497f, 220.503f, 1);
    Capture();
    EXPECT_EQ(Lit(), (Pixels{{101, 200}, {111, 210}, {120, 221}}));
}

TEST_F(WindowTest, DrawingWithEveryStateRaisesNoGLError) {
    // Anything left of the fixed-function pipeline fails in the core and ES contexts used here.
    while (glGetError() != GL_NO_ERROR) {
    }
    for (int32_t blend = 1; blend <= 5; ++blend) {
        SetBlend(blend);
        SetLineWidth(static_cast<float>(blend));
        SetAlpha(0.2f * static_cast<float>(blend));
        DrawLineSegment(10, 10.0f * blend, 300, 20.0f * blend, 1);
    }
    SetRotation(30);
    SetScale(2, 0.5f);
    SetViewport(10, 10, 100, 100);
    SetVirtualResolution(400, 300);
    ClearFrame();
    DrawLineSegment(0, 0, 50, 50, 1);
    Capture();
    PresentFrame(0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(WindowTest, LinesOutsideTheWindowAreClipped) {
    DrawLineSegment(-100, -100, -10, -50, 1);
    DrawLineSegment(1000, 700, 2000, 900, 1);
    DrawLineSegment(-1e6f, 300, -1e6f, 400, 1);
    Capture();
    EXPECT_TRUE(Lit().empty());
    DrawLineSegment(-50, 10, 900, 10, 1);
    DrawLineSegment(799, -30, 799, 650, 1);
    Capture();
    Pixels expected;
    for (int32_t x = 0; x < 800; ++x) expected.insert({x, 10});
    for (int32_t y = 0; y < 600; ++y) expected.insert({799, y});
    EXPECT_EQ(Lit(), expected);
}

TEST_F(WindowTest, ColourComponentsAndAlphaAreClamped) {
    SetColor(300, -5, 128);
    SetAlpha(7.0f);
    DrawLineSegment(1, 1, 1, 1, 1);
    Capture();
    EXPECT_EQ(Rgb(At(1, 1)), "255 0 128");
    SetClsColor(-1, 256, 1000);
    ClearFrame();
    Capture();
    EXPECT_EQ(Rgb(At(400, 300)), "0 255 255");
}

int Near(int value, int expected) { return std::abs(value - expected) <= 1; }

TEST_F(WindowTest, BlendModesCombineWithTheFrame) {
    // 1: writes unblended where alpha reaches 128/255; 0.5 truncates to 127 and misses.
    SetAlpha(0.5f);
    DrawLineSegment(10, 10, 10, 10, 1);
    SetAlpha(0.51f);
    DrawLineSegment(11, 10, 11, 10, 1);
    // 2: opaque whatever the alpha.
    SetBlend(2);
    SetAlpha(0.25f);
    DrawLineSegment(12, 10, 12, 10, 1);
    // 3: alpha blend over black: 255 * 63/255.
    SetBlend(3);
    DrawLineSegment(13, 10, 13, 10, 1);
    // 4: additive, twice on one pixel.
    SetBlend(4);
    SetAlpha(0.25f);
    DrawLineSegment(14, 10, 14, 10, 1);
    DrawLineSegment(14, 10, 14, 10, 1);
    Capture();
    EXPECT_EQ(At(10, 10).r, 0);
    EXPECT_EQ(At(11, 10).r, 255);
    EXPECT_EQ(At(12, 10).r, 255);
    EXPECT_TRUE(Near(At(13, 10).r, 63)) << int(At(13, 10).r);
    EXPECT_TRUE(Near(At(14, 10).r, 126)) << int(At(14, 10).r);
    // 5: multiply by the frame's colour.
    SetClsColor(200, 100, 50);
    ClearFrame();
    SetBlend(5);
    SetAlpha(1.0f);
    SetColor(128, 255, 0);
    DrawLineSegment(20, 20, 20, 20, 1);
    Capture();
    const Rgba m = At(20, 20);
    EXPECT_TRUE(Near(m.r, 100)) << int(m.r);
    EXPECT_TRUE(Near(m.g, 100)) << int(m.g);
    EXPECT_EQ(m.b, 0);
}

TEST_F(WindowTest, ViewportClipsClearingAndLines) {
    SetViewport(100, 100, 50, 50);
    SetClsColor(255, 0, 0);
    ClearFrame();
    DrawLineSegment(0, 120, 799, 120, 1);
    Capture();
    Pixels lit = Lit();
    EXPECT_EQ(lit.size(), 2500u);
    EXPECT_EQ(At(100, 100).r, 255);
    EXPECT_EQ(At(149, 149).r, 255);
    EXPECT_EQ(At(99, 100).r, 0);
    EXPECT_EQ(At(150, 149).r, 0);
    EXPECT_EQ(At(125, 120).g, 255);  // the line inside the rectangle
    EXPECT_EQ(At(200, 120).g, 0);
    SetViewport(0, 0, 800, 600);  // the whole window: clipping off
    ClearFrame();
    Capture();
    EXPECT_EQ(Lit().size(), 800u * 600u);
}

TEST_F(WindowTest, LaterLinesCoverEarlierOnesAcrossColourChanges) {
    SetColor(255, 0, 0);
    DrawLineSegment(50, 50, 60, 50, 1);
    SetColor(0, 0, 255);
    DrawLineSegment(55, 45, 55, 55, 1);
    SetColor(0, 255, 0);
    DrawLineSegment(58, 50, 58, 50, 1);
    Capture();
    EXPECT_EQ(At(55, 50).b, 255);
    EXPECT_EQ(At(55, 50).r, 0);
    EXPECT_EQ(At(58, 50).g, 255);
    EXPECT_EQ(At(58, 50).r, 0);
    EXPECT_EQ(At(52, 50).r, 255);
}

TEST_F(WindowTest, FilledPolygonCoversThePixelsWhoseCentresItHoldsAndLaterLinesLieOnTop) {
    SetOrigin(100, 50);
    SetColor(255, 0, 0);
    const float square[] = {10, 20, 20, 20, 20, 30, 10, 30};
    DrawFilledPolygon(square, 4);
    SetColor(0, 0, 255);
    DrawLineSegment(0, 25, 40, 25, 1);
    const float stick[] = {0, 0, 50, 0};
    DrawFilledPolygon(stick, 2);  // no inside: nothing
    Capture();
    Pixels red, blue, expectRed, expectBlue;
    for (const auto& [x, y] : Lit()) (At(x, y).r == 255 ? red : blue).insert({x, y});
    for (int32_t y = 70; y < 80; ++y) {
        for (int32_t x = 110; x < 120; ++x) {
            if (y != 75) expectRed.insert({x, y});
        }
    }
    for (int32_t x = 100; x <= 140; ++x) expectBlue.insert({x, 75});
    EXPECT_EQ(red, expectRed);
    EXPECT_EQ(blue, expectBlue);
}

std::vector<uint8_t> g_presented;

ObjectRef CaptureOnPresent(int32_t, const ObjectRef& data, const ObjectRef&) {
    int32_t w = 0, h = 0;
    ReadBackBuffer(g_presented, w, h);
    return data;
}

TEST_F(WindowTest, PresentHookSeesThePictureAboutToBeShown) {
    AttachHook(PresentHook, CaptureOnPresent, nullptr, 0);
    ClearFrame();
    DrawLineSegment(10, 20, 30, 40, 1);
    Capture();
    const std::vector<uint8_t> drawn = pixels;
    PresentFrame(-1);
    DetachHook(PresentHook, CaptureOnPresent, nullptr);
    EXPECT_EQ(g_presented, drawn);
}

TEST_F(WindowTest, WindowCanBeClosedAndOpenedAgain) {
    DrawLineSegment(1, 1, 100, 1, 1);
    CloseGraphicsWindow();
    std::vector<uint8_t> none;
    int32_t w = 0, h = 0;
    EXPECT_FALSE(ReadBackBuffer(none, w, h));
    DrawLineSegment(1, 1, 100, 1, 1);  // nothing current: nothing happens
    graphics = OpenGraphicsWindow(800, 600, 0, 60, 0);
    ASSERT_TRUE(graphics);
    Capture();
    EXPECT_TRUE(Lit().empty());
    DrawLineSegment(3, 3, 3, 3, 1);
    Capture();
    EXPECT_EQ(Lit(), (Pixels{{3, 3}}));
}

// The GL graphics inside a 2-D graphics made by the GL 2-D driver.
TGLGraphics* GLGraphicsOf(const Ref<TGraphics>& g) {
    auto* g2d = ObjectCast<TLumo2DGraphics>(g.get());
    return g2d != nullptr ? ObjectCast<TGLGraphics>(g2d->_graphics.get()) : nullptr;
}

TEST_F(WindowTest, AWindowMadeCurrentAndDroppedIsFreed) {
    TGLLumo2DDriver* driver = CurrentGLLumo2DDriver();
    ASSERT_NE(driver, nullptr);
    std::weak_ptr<TGraphics> inner;
    Uint32 windowId = 0;
    {
        Ref<TGraphics> g = driver->CreateGraphics(64, 48, 0, 0, kGraphicsBackBuffer);
        ASSERT_TRUE(g);
        ASSERT_NE(GLGraphicsOf(g), nullptr);
        inner = ObjectCast<TLumo2DGraphics>(g.get())->_graphics;
        windowId = SDL_GetWindowID(GLGraphicsOf(g)->Window());
        driver->SetGraphics(g);
        DrawLineSegment(1, 1, 5, 5, 1);
    }
    EXPECT_TRUE(inner.expired());
    EXPECT_EQ(SDL_GetWindowFromID(windowId), nullptr);
    std::vector<uint8_t> none;
    int32_t w = 0, h = 0;
    EXPECT_FALSE(ReadBackBuffer(none, w, h));  // nothing current any more
    ActivateGraphics(graphics);
    Capture();
    EXPECT_TRUE(Lit().empty());
}

TEST_F(WindowTest, AContextThePlatformRefusesLeavesNothingToDrawInto) {
    TGLLumo2DDriver* driver = CurrentGLLumo2DDriver();
    ASSERT_NE(driver, nullptr);
    Ref<TGraphics> broken = driver->CreateGraphics(64, 48, 0, 0, kGraphicsBackBuffer);
    ASSERT_TRUE(broken);
    // Its context goes behind its back, so making it current fails.
    SDL_GL_DeleteContext(GLGraphicsOf(broken)->Context());
    ActivateGraphics(graphics);
    ActivateGraphics(broken);
    EXPECT_EQ(TLumo2DGraphics::Current(), nullptr);
    DrawLineSegment(10, 10, 20, 10, 1);  // must not land in the window that was current
    ClearFrame();
    std::vector<uint8_t> none;
    int32_t w = 0, h = 0;
    EXPECT_FALSE(ReadBackBuffer(none, w, h));
    ActivateGraphics(graphics);
    Capture();
    EXPECT_TRUE(Lit().empty());
    DrawLineSegment(10, 10, 20, 10, 1);
    Capture();
    EXPECT_EQ(Lit().size(), 11u);
}

TEST_F(WindowTest, NoWindowIsMadeWhenTheSelectedContextCannotBeRestored) {
    TGLLumo2DDriver* driver = CurrentGLLumo2DDriver();
    ASSERT_NE(driver, nullptr);
    Ref<TGraphics> lost = driver->CreateGraphics(64, 48, 0, 0, kGraphicsBackBuffer);
    ASSERT_TRUE(lost);
    ActivateGraphics(lost);
    SDL_GL_DeleteContext(GLGraphicsOf(lost)->Context());
    // Making a window makes its context current; going back to the lost one fails.
    EXPECT_FALSE(driver->CreateGraphics(64, 48, 0, 0, kGraphicsBackBuffer));
    std::vector<uint8_t> none;
    int32_t w = 0, h = 0;
    EXPECT_FALSE(ReadBackBuffer(none, w, h));
    ActivateGraphics(graphics);
    Capture();
}

// Resident memory of this process in kB, from /proc; 0 where that cannot be read.
long ResidentKb() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr) return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1) break;
    }
    std::fclose(f);
    return kb;
}

TEST_F(WindowTest, ManyFastFramesKeepMemoryBounded) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer holds freed memory back, so resident size says nothing";
#endif
    // Offscreen windows present without waiting; frames must not pile up in the renderer.
    auto frame = [](int32_t i) {
        ClearFrame();
        for (int32_t k = 0; k < 100; ++k) {
            const auto y = static_cast<float>((i + k) % 600);
            DrawLineSegment(0, y, 799, 599 - y, 3);
        }
        PresentFrame(0);
    };
    for (int32_t i = 0; i < 100; ++i) frame(i);
    const long before = ResidentKb();
    if (before == 0) GTEST_SKIP() << "no /proc/self/status";
    for (int32_t i = 0; i < 1000; ++i) frame(i);
    EXPECT_LT(ResidentKb() - before, 32 * 1024) << "kB grown over 1000 frames";
}

}  // namespace
