#pragma once
// A 2-D driver that records what it is asked to draw, for tests that check drawing without a
// window. Install() makes it current through the real front end; Uninstall() clears it.

#include <string>
#include <utility>
#include <vector>

#include "host/graphics.h"

struct RecordedLine {
    float x0, y0, x1, y1, tx, ty;
};

struct RecordedPlot {
    float x, y;
};

class RecordingGraphics : public TGraphics {
  public:
    static inline const ClassInfo kClass{"RecordingGraphics", &TGraphics::kClass};
    RecordingGraphics(TGraphicsDriver* d, int32_t w, int32_t h)
        : TGraphics(kClass), driver_(d), width_(w), height_(h) {}
    TGraphicsDriver* Driver() override { return driver_; }
    void GetSettings(int32_t& w, int32_t& h, int32_t& d, int32_t& hz, int32_t& f) override {
        w = width_;
        h = height_;
        d = 0;
        hz = 0;
        f = 2;
    }
    void Close() override {}

  private:
    TGraphicsDriver* driver_;
    int32_t width_, height_;
};

class RecordingDriver : public TLumo2DDriver {
  public:
    static inline const ClassInfo kClass{"RecordingDriver", &TLumo2DDriver::kClass};
    RecordingDriver() : TLumo2DDriver(kClass) {}

    std::vector<Ref<TGraphicsMode>> GraphicsModes() override { return {}; }
    Ref<TGraphics> AttachGraphics(intptr_t, int32_t) override { return nullptr; }
    Ref<TGraphics> CreateGraphics(int32_t, int32_t, int32_t, int32_t, int32_t) override {
        return nullptr;
    }
    void SetGraphics(const Ref<TGraphics>&) override {}
    void Flip(int32_t) override { ++flips; }
    void SetBlend(int32_t) override {}
    void SetAlpha(float) override {}
    void SetColor(int32_t, int32_t, int32_t) override {}
    void SetClsColor(int32_t, int32_t, int32_t) override {}
    void SetViewport(int32_t, int32_t, int32_t, int32_t) override {}
    void SetTransform(float, float, float, float) override {}
    void SetLineWidth(float) override {}
    void Cls() override { ++clears; }
    void Plot(float x, float y) override { plots.push_back({x, y}); }
    void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) override {
        lines.push_back({x0, y0, x1, y1, tx, ty});
    }
    void FillPolygon(const float* xy, int32_t n, float ox, float oy, float tx, float ty) override {
        std::vector<float> corners;
        for (int32_t k = 0; k < n; ++k) {
            corners.push_back(xy[2 * k] + ox + tx);
            corners.push_back(xy[2 * k + 1] + oy + ty);
        }
        fills.push_back(std::move(corners));
    }
    void SetResolution(float, float) override {}

    void Reset() {
        lines.clear();
        plots.clear();
        fills.clear();
        clears = 0;
        flips = 0;
    }

    std::vector<RecordedLine> lines;
    std::vector<RecordedPlot> plots;
    std::vector<std::vector<float>> fills;  // each fill's corners on the screen (no rotation)
    int clears = 0;
    int flips = 0;
};

// Installs a fresh recording driver as the current 2-D target and returns it.
inline Ref<RecordingDriver> InstallRecordingDriver(int32_t w = 800, int32_t h = 600) {
    auto driver = std::make_shared<RecordingDriver>();
    auto graphics = std::make_shared<RecordingGraphics>(driver.get(), w, h);
    static Ref<TLumo2DGraphics> current;  // kept until the next install or Uninstall
    current = TLumo2DGraphics::Create(graphics, driver);
    current->MakeCurrent();
    driver->Reset();
    return driver;
}

inline void UninstallRecordingDriver() { TLumo2DGraphics::ClearCurrent(); }
