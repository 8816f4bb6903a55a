#pragma once
// Graphics in a browser: TWebGLGraphicsDriver makes a WebGL 2 context on the page's canvas
// (#canvas), for the shared GL renderer to draw into. The browser shows the canvas when the
// frame callback returns, so presenting only ends the frame's drawing.
//
// Without a page (under node) THeadless2DDriver stands in: its window has a size and takes
// the drawing state, and draws nothing. The headless replay runs on it.

#include <cstdint>
#include <vector>

#include "host/gl/gl_renderer.h"
#include "host/graphics.h"

class TWebGLGraphicsDriver;

// The canvas with its WebGL 2 context.
class TWebGLGraphics : public TGLSurface {
  public:
    static const ClassInfo kClass;
    TWebGLGraphics(const Ref<TWebGLGraphicsDriver>& driver, intptr_t context,
                   const TGLPipeline& pipeline, int32_t width, int32_t height, int32_t flags);
    ~TWebGLGraphics() override;

    TGraphicsDriver* Driver() override;
    void GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                     int32_t& flags) override;
    void Close() override;
    const TGLPipeline& Pipeline() const override { return pipeline_; }
    intptr_t Context() const { return context_; }

  private:
    Ref<TWebGLGraphicsDriver> driver_;
    intptr_t context_;  // EMSCRIPTEN_WEBGL_CONTEXT_HANDLE; 0 once closed
    TGLPipeline pipeline_;
    int32_t width_, height_, flags_;
};

class TWebGLGraphicsDriver : public TGLContextDriver {
  public:
    static const ClassInfo kClass;
    TWebGLGraphicsDriver() : TGLContextDriver(kClass) {}

    std::vector<Ref<TGraphicsMode>> GraphicsModes() override;
    // The canvas is the page's own: there is no other window to attach.
    Ref<TGraphics> AttachGraphics(intptr_t window, int32_t flags) override;
    // Sizes the canvas and makes its context; none when WebGL 2 is not available. Only windowed
    // graphics exist (depth is ignored).
    Ref<TGraphics> CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                  int32_t flags) override;
    void SetGraphics(const Ref<TGraphics>& g) override;
    void Flip(int32_t sync) override;
    TGLSurface* CurrentSurface() const override { return current_; }

    void Forget(TWebGLGraphics* g);

  private:
    TWebGLGraphics* current_ = nullptr;  // not owned; cleared through Forget
};

// A window with a size and nothing behind it.
class THeadlessGraphics : public TGraphics {
  public:
    static const ClassInfo kClass;
    THeadlessGraphics(TGraphicsDriver* driver, int32_t width, int32_t height, int32_t hertz,
                      int32_t flags)
        : TGraphics(kClass),
          driver_(driver),
          width_(width),
          height_(height),
          hertz_(hertz),
          flags_(flags) {}

    TGraphicsDriver* Driver() override { return driver_; }
    void GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                     int32_t& flags) override;
    void Close() override {}

  private:
    TGraphicsDriver* driver_;
    int32_t width_, height_, hertz_, flags_;
};

class THeadless2DDriver : public TLumo2DDriver {
  public:
    static const ClassInfo kClass;
    THeadless2DDriver() : TLumo2DDriver(kClass) {}

    std::vector<Ref<TGraphicsMode>> GraphicsModes() override { return {}; }
    Ref<TGraphics> AttachGraphics(intptr_t, int32_t) override { return nullptr; }
    Ref<TGraphics> CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                  int32_t flags) override;
    void SetGraphics(const Ref<TGraphics>& g) override;
    void Flip(int32_t) override {}

    void SetBlend(int32_t) override {}
    void SetAlpha(float) override {}
    void SetColor(int32_t, int32_t, int32_t) override {}
    void SetClsColor(int32_t, int32_t, int32_t) override {}
    void SetViewport(int32_t, int32_t, int32_t, int32_t) override {}
    void SetTransform(float, float, float, float) override {}
    void SetLineWidth(float) override {}
    void Cls() override {}
    void Plot(float, float) override {}
    void DrawLine(float, float, float, float, float, float) override {}
    void FillPolygon(const float*, int32_t, float, float, float, float) override {}
    void SetResolution(float, float) override {}
};
