#include "host/graphics.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/clock.h"
#include "host/context.h"
#include "host/input.h"

namespace {

std::string Num(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
    return buf;
}

class FakeDriver;

class FakeGraphics : public TGraphics {
  public:
    static const ClassInfo kClass;
    FakeGraphics(FakeDriver* d, int32_t w, int32_t h, int32_t depth, int32_t hz, int32_t flags)
        : TGraphics(kClass), driver_(d), w_(w), h_(h), depth_(depth), hz_(hz), flags_(flags) {}
    TGraphicsDriver* Driver() override;
    void GetSettings(int32_t& w, int32_t& h, int32_t& d, int32_t& hz, int32_t& f) override {
        w = w_, h = h_, d = depth_, hz = hz_, f = flags_;
    }
    void Close() override;

  private:
    FakeDriver* driver_;
    int32_t w_, h_, depth_, hz_, flags_;
};
const ClassInfo FakeGraphics::kClass{"FakeGraphics", &TGraphics::kClass};

// Records every call, and the host clock at every flip.
class FakeDriver : public TLumo2DDriver {
  public:
    static const ClassInfo kClass;
    FakeDriver() : TLumo2DDriver(kClass) {}

    std::vector<Ref<TGraphicsMode>> GraphicsModes() override { return {}; }
    Ref<TGraphics> AttachGraphics(intptr_t, int32_t) override { return nullptr; }
    Ref<TGraphics> CreateGraphics(int32_t w, int32_t h, int32_t d, int32_t hz, int32_t f) override {
        calls.push_back("CreateGraphics flags " + std::to_string(f));
        if (throwOnCreate) throw std::runtime_error("no device");
        auto self = std::static_pointer_cast<TLumo2DDriver>(shared_from_this());
        return TLumo2DGraphics::Create(std::make_shared<FakeGraphics>(this, w, h, d, hz, f), self);
    }
    void SetGraphics(const Ref<TGraphics>& g) override {
        if (auto g2d = ObjectCast<TLumo2DGraphics>(Ref<Object>(g))) {
            g2d->MakeCurrent();
        } else {
            TLumo2DGraphics::ClearCurrent();
        }
    }
    void Flip(int32_t sync) override {
        calls.push_back("Flip " + std::to_string(sync));
        flipTimes.push_back(ElapsedMs());
    }
    void SetBlend(int32_t m) override { calls.push_back("SetBlend " + std::to_string(m)); }
    void SetAlpha(float a) override { calls.push_back("SetAlpha " + Num(a)); }
    void SetColor(int32_t r, int32_t g, int32_t b) override {
        calls.push_back("SetColor " + std::to_string(r) + " " + std::to_string(g) + " " +
                        std::to_string(b));
    }
    void SetClsColor(int32_t r, int32_t g, int32_t b) override {
        calls.push_back("SetClsColor " + std::to_string(r) + " " + std::to_string(g) + " " +
                        std::to_string(b));
    }
    void SetViewport(int32_t x, int32_t y, int32_t w, int32_t h) override {
        calls.push_back("SetViewport " + std::to_string(x) + " " + std::to_string(y) + " " +
                        std::to_string(w) + " " + std::to_string(h));
    }
    void SetTransform(float ix, float iy, float jx, float jy) override {
        calls.push_back("SetTransform " + Num(ix) + " " + Num(iy) + " " + Num(jx) + " " + Num(jy));
    }
    void SetLineWidth(float w) override { calls.push_back("SetLineWidth " + Num(w)); }
    void Cls() override { calls.push_back("Cls"); }
    void Plot(float x, float y) override { calls.push_back("Plot " + Num(x) + " " + Num(y)); }
    void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) override {
        calls.push_back("DrawLine " + Num(x0) + " " + Num(y0) + " " + Num(x1) + " " + Num(y1) +
                        " " + Num(tx) + " " + Num(ty));
    }
    void FillPolygon(const float*, int32_t n, float, float, float, float) override {
        calls.push_back("FillPolygon " + std::to_string(n));
    }
    void SetResolution(float w, float h) override {
        calls.push_back("SetResolution " + Num(w) + " " + Num(h));
    }

    std::vector<std::string> calls;
    std::vector<int32_t> flipTimes;
    bool throwOnCreate = false;
};
const ClassInfo FakeDriver::kClass{"FakeDriver", &TLumo2DDriver::kClass};

TGraphicsDriver* FakeGraphics::Driver() { return driver_; }
void FakeGraphics::Close() { driver_->calls.push_back("Close " + std::to_string(w_)); }

class FrontEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        StartGraphics();
        SetHostClock(&clock);
        SelectGraphicsDriver(driver, 2);
    }
    void TearDown() override {
        CloseGraphicsWindow();
        SelectGraphicsDriver(nullptr, 0);
        SetHostClock(nullptr);
    }
    // Opens a window and forgets what opening it recorded.
    void Open(int32_t depth, int32_t hertz) {
        ASSERT_TRUE(OpenGraphicsWindow(800, 600, depth, hertz, 0));
        driver->calls.clear();
        driver->flipTimes.clear();
    }

    VirtualClock clock{5000};
    Ref<FakeDriver> driver = std::make_shared<FakeDriver>();
};

TEST_F(FrontEndTest, OpeningPushesTheDefaultStateThenClearsAndPresentsTwice) {
    ASSERT_TRUE(OpenGraphicsWindow(800, 600, 0, 60, 0));
    const std::vector<std::string> expected = {
        "CreateGraphics flags 2",  // the driver's default flags are OR-ed in
        "SetResolution 800 600",
        "SetBlend 1",
        "SetColor 255 255 255",
        "SetAlpha 1",
        "SetClsColor 0 0 0",
        "SetLineWidth 1",
        "SetTransform 1 -0 0 1",
        "SetTransform 1 -0 0 1",
        "SetViewport 0 0 800 600",
        "Cls",
        "Flip 0",
        "Cls",
        "Flip 0",
    };
    EXPECT_EQ(driver->calls, expected);
    EXPECT_EQ(GraphicsWidth(), 800);
    EXPECT_EQ(GraphicsHeight(), 600);
    EXPECT_EQ(GraphicsFlags(), 2);
    // Activating it again validates but clears nothing.
    driver->calls.clear();
    ActivateGraphics(ActiveGraphics());
    EXPECT_EQ(std::count(driver->calls.begin(), driver->calls.end(), "Cls"), 0);
}

TEST_F(FrontEndTest, LineGoesThroughHandleAndOriginAndPlotsTheTransformedEnd) {
    Open(0, 60);
    DrawLineSegment(10, 20, 30, 40, 1);
    DrawLineSegment(10, 20, 30, 40, 3);
    DrawLineSegment(10, 20, 30, 40, 0);
    EXPECT_EQ(driver->calls, (std::vector<std::string>{"DrawLine 0 0 20 20 10 20", "Plot 30 40",
                                                       "DrawLine 0 0 20 20 10 20", "Plot 30 40",
                                                       "DrawLine 0 0 20 20 10 20"}));
    driver->calls.clear();
    SetOrigin(100, 50);
    SetHandle(5, 5);  // kept negated
    DrawLineSegment(10, 20, 30, 40, 1);
    EXPECT_EQ(driver->calls,
              (std::vector<std::string>{"DrawLine -5 -5 15 15 110 70", "Plot 125 85"}));
}

TEST_F(FrontEndTest, RotatedEndPointIsPlottedWhereTheLineEnds) {
    Open(0, 60);
    SetRotation(90);
    TLumo2DGraphics* g = TLumo2DGraphics::Current();
    ASSERT_NE(g, nullptr);
    EXPECT_NEAR(g->tform_iy, -1.0f, 1e-6f);
    EXPECT_NEAR(g->tform_jx, 1.0f, 1e-6f);
    driver->calls.clear();
    // (20, 20) from (10, 20), turned a quarter clockwise on screen: (-20, 20).
    DrawLineSegment(10, 20, 30, 40, 1);
    ASSERT_EQ(driver->calls.size(), 2u);
    float px = 0, py = 0;
    ASSERT_EQ(std::sscanf(driver->calls[1].c_str(), "Plot %f %f", &px, &py), 2);
    EXPECT_NEAR(px, -10.0f, 1e-4f);
    EXPECT_NEAR(py, 40.0f, 1e-4f);
}

TEST_F(FrontEndTest, WithoutA2DGraphicsDrawingDoesNothing) {
    Open(0, 60);
    TLumo2DGraphics::ClearCurrent();
    DrawLineSegment(1, 2, 3, 4, 1);
    ClearFrame();
    SetColor(1, 2, 3);
    EXPECT_TRUE(driver->calls.empty());
}

TEST_F(FrontEndTest, FailedOpenReturnsNoneAndChangesNothing) {
    driver->throwOnCreate = true;
    const int32_t sequence = GraphicsSequence;
    EXPECT_FALSE(OpenGraphicsWindow(800, 600, 0, 60, 0));
    EXPECT_EQ(GraphicsSequence, sequence);
    EXPECT_FALSE(ActiveGraphics());
    TEvent::Create(kEventKeyDown, nullptr, 65, 0, 0, 0, nullptr)->Emit();
    EXPECT_EQ(IsKeyDown(65), 0);  // polled input was not started
}

TEST_F(FrontEndTest, OpeningAgainClosesTheFirstWindowBeforeCreatingTheSecond) {
    ASSERT_TRUE(OpenGraphicsWindow(640, 480, 0, 60, 0));
    driver->calls.clear();
    ASSERT_TRUE(OpenGraphicsWindow(800, 600, 0, 60, 0));
    ASSERT_GE(driver->calls.size(), 2u);
    EXPECT_EQ(driver->calls[0], "Close 640");
    EXPECT_EQ(driver->calls[1], "CreateGraphics flags 2");
}

TEST_F(FrontEndTest, OpenWindowFeedsPolledInputAndClosingStopsIt) {
    Open(0, 60);
    TEvent::Create(kEventKeyDown, nullptr, 65, 0, 0, 0, nullptr)->Emit();
    EXPECT_EQ(IsKeyDown(65), 1);
    CloseGraphicsWindow();
    EXPECT_EQ(IsKeyDown(65), 0);
    EXPECT_FALSE(ActiveGraphics());
    EXPECT_EQ(GraphicsWidth(), 0);
    EXPECT_EQ(driver->calls.back(), "Close 800");
}

TEST(GraphicsSequence, SkipsZeroWhenItWraps) {
    GraphicsSequence = -1;
    SelectGraphicsDriver(nullptr, 0);
    EXPECT_EQ(GraphicsSequence, 1);
    GraphicsSequence = INT_MAX;
    SelectGraphicsDriver(nullptr, 0);
    EXPECT_EQ(GraphicsSequence, INT_MIN);
}

// ---- pacing ----

std::vector<int32_t> Intervals(const std::vector<int32_t>& times, int32_t start) {
    std::vector<int32_t> out;
    for (int32_t t : times) {
        out.push_back(WrapSub(t, start));
        start = t;
    }
    return out;
}

TEST_F(FrontEndTest, SixtyInstantFramesTakeExactlyOneSecond) {
    Open(0, 60);
    const int32_t start = clock.NowMs();
    for (int i = 0; i < 60; ++i) PresentFrame(-1);
    EXPECT_EQ(clock.NowMs() - start, 1000);
    const std::vector<int32_t> intervals = Intervals(driver->flipTimes, start);
    ASSERT_EQ(intervals.size(), 60u);
    for (size_t i = 0; i < intervals.size(); ++i) {
        EXPECT_EQ(intervals[i], i % 3 == 0 ? 16 : 17) << "frame " << i;
    }
}

TEST_F(FrontEndTest, PacingSurvivesTheClockWrapping) {
    clock.Advance(INT_MAX - 5000 - 300);  // the schedule crosses INT_MAX mid-second
    Open(0, 60);
    const int32_t start = clock.NowMs();
    for (int i = 0; i < 60; ++i) PresentFrame(-1);
    EXPECT_LT(clock.NowMs(), 0);
    EXPECT_EQ(WrapSub(clock.NowMs(), start), 1000);
}

TEST_F(FrontEndTest, LateFrameRestartsTheScheduleInsteadOfBursting) {
    Open(0, 60);
    PresentFrame(-1);  // on time
    const int64_t slept = clock.SleptMs();
    clock.Advance(100);  // a slow frame
    PresentFrame(-1);
    EXPECT_EQ(clock.SleptMs(), slept);  // presented at once
    const int32_t late = clock.NowMs();
    for (int i = 0; i < 3; ++i) PresentFrame(-1);
    const std::vector<int32_t> after =
        Intervals(std::vector<int32_t>(driver->flipTimes.end() - 3, driver->flipTimes.end()), late);
    for (int32_t interval : after) {
        EXPECT_GE(interval, 16);
        EXPECT_LE(interval, 17);
    }
}

TEST_F(FrontEndTest, ImmediateAndVerticalBlankPresentsBypassTheSchedule) {
    Open(0, 60);
    const int32_t start = clock.NowMs();
    PresentFrame(-1);
    PresentFrame(-1);  // targets start + 16, + 33
    const int64_t slept = clock.SleptMs();
    for (int i = 0; i < 3; ++i) {
        PresentFrame(0);
        PresentFrame(1);
    }
    EXPECT_EQ(clock.SleptMs(), slept);
    PresentFrame(-1);  // the third target is unchanged
    EXPECT_EQ(clock.NowMs() - start, 50);
    const std::vector<std::string> tail(driver->calls.end() - 7, driver->calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Flip 0", "Flip 1", "Flip 0", "Flip 1", "Flip 0",
                                              "Flip 1", "Flip 0"}));
}

TEST_F(FrontEndTest, UnpacedWindowAndFullscreenNeverSleep) {
    Open(0, 0);
    for (int i = 0; i < 5; ++i) PresentFrame(-1);
    EXPECT_EQ(clock.SleptMs(), 0);
    EXPECT_EQ(driver->calls.back(), "Flip 0");
    Open(32, 60);  // fullscreen waits for the vertical blank instead
    for (int i = 0; i < 5; ++i) PresentFrame(-1);
    EXPECT_EQ(clock.SleptMs(), 0);
    EXPECT_EQ(driver->calls.back(), "Flip 1");
}

// A browser calls each frame when it is due and cannot be made to wait inside one.
TEST_F(FrontEndTest, PacedWindowNeverSleepsWhereThePlatformPaces) {
    Host().pacing.platformPaces = true;
    Open(0, 60);
    for (int i = 0; i < 5; ++i) PresentFrame(-1);
    Host().pacing.platformPaces = false;
    EXPECT_EQ(clock.SleptMs(), 0);
    EXPECT_EQ(driver->calls.back(), "Flip 0");
}

}  // namespace
