#pragma once
// The one OpenGL renderer of the 2-D layer, shared by every back end that has a GL context
// (SDL2 on the desktop, WebGL 2 in a browser). TGLLumo2DDriver draws lines and points with
// what OpenGL 3.3 core, OpenGL ES 3.0 and WebGL 2 share: one small shader program, a vertex
// array and a buffer. Lines and points are batched and sent in one buffer upload and one draw
// call each per flush; a flush happens before anything that could change the picture (a state
// change, Cls, Flip, a read-back).
//
// A back end provides the windows and their contexts through TGLContextDriver; each graphics it
// makes is a TGLSurface that carries the GL objects built in its context.

#include <cstdint>
#include <vector>

#include "host/graphics.h"

// The GL objects the 2-D driver draws with; each context has its own.
struct TGLPipeline {
    uint32_t program = 0;
    uint32_t vertexArray = 0;
    uint32_t vertexBuffer = 0;
    int32_t projection = -1;  // uniform vec4: x scale, y scale, x offset, y offset
    int32_t color = -1;       // uniform vec4, 0..1
    bool es = false;          // an OpenGL ES (or WebGL) context
};

// Builds the program, vertex array and buffer in the current context; false (with nothing left
// behind) when the context cannot build them.
bool BuildGLPipeline(bool es, TGLPipeline& pipeline);

// A graphics whose context holds a pipeline.
class TGLSurface : public TGraphics {
  public:
    static const ClassInfo kClass;
    virtual const TGLPipeline& Pipeline() const = 0;

  protected:
    explicit TGLSurface(const ClassInfo& c) : TGraphics(c) {}
};

// A back end's maker of GL windows and contexts.
class TGLContextDriver : public TGraphicsDriver {
  public:
    static const ClassInfo kClass;
    // The graphics whose context is current, or null.
    virtual TGLSurface* CurrentSurface() const = 0;

  protected:
    explicit TGLContextDriver(const ClassInfo& c) : TGraphicsDriver(c) {}
};

class TGLLumo2DDriver : public TLumo2DDriver {
  public:
    static const ClassInfo kClass;
    explicit TGLLumo2DDriver(const Ref<TGLContextDriver>& graphicsDriver);

    static Ref<TGLLumo2DDriver> Create(const Ref<TGLContextDriver>& graphicsDriver);

    std::vector<Ref<TGraphicsMode>> GraphicsModes() override;
    Ref<TGraphics> AttachGraphics(intptr_t window, int32_t flags) override;
    Ref<TGraphics> CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                  int32_t flags) override;
    void SetGraphics(const Ref<TGraphics>& g) override;
    void Flip(int32_t sync) override;

    void SetBlend(int32_t mode) override;
    void SetAlpha(float alpha) override;
    void SetColor(int32_t red, int32_t green, int32_t blue) override;
    void SetClsColor(int32_t red, int32_t green, int32_t blue) override;
    void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) override;
    void SetTransform(float ix, float iy, float jx, float jy) override;
    void SetLineWidth(float width) override;
    void Cls() override;
    void Plot(float x, float y) override;
    void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void FillPolygon(const float* xy, int32_t n, float ox, float oy, float tx, float ty) override;
    void SetResolution(float width, float height) override;

    // Reads the current back buffer, top row first, RGBA8; false without a current graphics.
    bool ReadBackBuffer(std::vector<uint8_t>& rgba, int32_t& width, int32_t& height);
    // The graphics whose context is current, or null.
    const TGLSurface* CurrentSurface() const { return graphicsDriver_->CurrentSurface(); }
    // Sends the batched fills, lines and points; drawing that bypasses this driver (an overlay
    // drawn with its own GL calls) flushes first so that it lands on top.
    void Flush();

  private:
    // Hands the current projection to the current context's program.
    void ApplyProjection();
    // The rendering state a freshly selected context starts from.
    void ResetGLContext(int32_t width, int32_t height);

    Ref<TGLContextDriver> graphicsDriver_;
    std::weak_ptr<TGLLumo2DDriver> self_;
    int32_t width_ = 0, height_ = 0;  // real size of the selected graphics
    int32_t blend_ = 0;               // mode in force; 0 until the first SetBlend
    uint8_t color_[4] = {255, 255, 255, 255};
    uint8_t clsColor_[3] = {0, 0, 0};
    float lineWidth_ = 1.0f;
    float ix_ = 1.0f, iy_ = 0.0f, jx_ = 0.0f, jy_ = 1.0f;
    int32_t viewport_[4] = {0, 0, 0, 0};
    bool clipping_ = false;
    float resolution_[2] = {0.0f, 0.0f};
    std::vector<float> lines_;   // x, y pairs, two vertices per line
    std::vector<float> points_;  // x, y pairs
    std::vector<float> fills_;   // x, y pairs, three vertices per triangle
};
