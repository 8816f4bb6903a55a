#pragma once
// The OpenGL back end on SDL2: TGLGraphicsDriver makes windows with GL contexts and presents
// them; TGLLumo2DDriver draws the 2-D layer's lines and points into them. Drawing uses only what
// OpenGL 3.3 core and OpenGL ES 3.0 share (one small shader program, a vertex array and a
// buffer), so either kind of context serves. Lines and points are batched and sent in one buffer
// upload and one draw call each per flush; a flush happens before anything that could change the
// picture (a state change, Cls, Flip, a read-back).
//
// Ownership runs one way: a graphics keeps its driver alive, the driver only points at the
// current graphics, which tells the driver when it closes.

#include <cstdint>
#include <vector>

#include "host/graphics.h"

struct SDL_Window;

class TGLGraphicsDriver;

// The GL objects the 2-D driver draws with; each context has its own.
struct TGLPipeline {
    uint32_t program = 0;
    uint32_t vertexArray = 0;
    uint32_t vertexBuffer = 0;
    int32_t projection = -1;  // uniform vec4: x scale, y scale, x offset, y offset
    int32_t color = -1;       // uniform vec4, 0..1
    bool es = false;          // an OpenGL ES context
};

// A window with its OpenGL context.
class TGLGraphics : public TGraphics {
  public:
    static const ClassInfo kClass;
    TGLGraphics(const Ref<TGLGraphicsDriver>& driver, SDL_Window* window, void* context,
                const TGLPipeline& pipeline, bool ownsWindow, int32_t depth, int32_t hertz,
                int32_t flags);
    ~TGLGraphics() override;

    TGraphicsDriver* Driver() override;
    void GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                     int32_t& flags) override;
    void Close() override;

    SDL_Window* Window() const { return window_; }
    void* Context() const { return context_; }
    const TGLPipeline& Pipeline() const { return pipeline_; }
    // The fence of the last frame presented and not yet known to be finished (a GLsync), or null.
    void*& PendingFrame() { return pendingFrame_; }

  private:
    Ref<TGLGraphicsDriver> driver_;
    SDL_Window* window_;
    void* context_;  // SDL_GLContext
    TGLPipeline pipeline_;
    void* pendingFrame_ = nullptr;
    bool ownsWindow_;
    int32_t width_ = 0, height_ = 0, depth_, hertz_, flags_;
};

class TGLGraphicsDriver : public TGraphicsDriver {
  public:
    static const ClassInfo kClass;
    TGLGraphicsDriver() : TGraphicsDriver(kClass) {}

    // A driver when OpenGL can be loaded, else none.
    static Ref<TGLGraphicsDriver> Create();

    std::vector<Ref<TGraphicsMode>> GraphicsModes() override;
    // window is an SDL_Window* made with OpenGL support; the graphics does not destroy it.
    // None when no usable context can be made for it.
    Ref<TGraphics> AttachGraphics(intptr_t window, int32_t flags) override;
    // None when the window, its context or its drawing objects cannot be made, or when the
    // current context cannot be made current again afterwards.
    Ref<TGraphics> CreateGraphics(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                  int32_t flags) override;
    // Makes the graphics' context current (none: no context). When the platform refuses, no
    // graphics is current afterwards and no context is left current to draw into by mistake.
    void SetGraphics(const Ref<TGraphics>& g) override;
    void Flip(int32_t sync) override;

    TGLGraphics* Current() const { return current_; }
    // Called by a closing graphics that may be current.
    void Forget(TGLGraphics* g);

  private:
    // Makes the selected context current again after another was made current; false (with
    // nothing current) when the platform refuses.
    bool RestoreCurrent();

    // Not owned: a graphics clears it through Forget when it closes or is destroyed.
    TGLGraphics* current_ = nullptr;
    int32_t swapInterval_ = -1;  // last interval set on the current context; -1 unknown
    // The video driver's windows are pixel buffers, whose swap neither flushes nor waits:
    // presenting then waits for the frame before last itself, so that queued work stays bounded.
    bool throttleFrames_ = false;
};

class TGLLumo2DDriver : public TLumo2DDriver {
  public:
    static const ClassInfo kClass;
    explicit TGLLumo2DDriver(const Ref<TGLGraphicsDriver>& graphicsDriver);

    static Ref<TGLLumo2DDriver> Create(const Ref<TGLGraphicsDriver>& graphicsDriver);

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
    void SetResolution(float width, float height) override;

    // Reads the current back buffer, top row first, RGBA8; false without a current graphics.
    bool ReadBackBuffer(std::vector<uint8_t>& rgba, int32_t& width, int32_t& height);
    // Sends the batched lines and points; drawing that bypasses this driver (an overlay drawn
    // with its own GL calls) flushes first so that it lands on top.
    void Flush();

  private:
    // Hands the current projection to the current context's program.
    void ApplyProjection();
    // The rendering state a freshly selected context starts from.
    void ResetGLContext(int32_t width, int32_t height);

    Ref<TGLGraphicsDriver> graphicsDriver_;
    std::weak_ptr<TGLLumo2DDriver> self_;
    bool selected_ = false;           // a graphics is selected and its context current
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
};

// The window of the current GL graphics, or null.
SDL_Window* ActiveSdlWindow();
// The GL 2-D driver made by Create (the one the host selects), or null.
TGLLumo2DDriver* CurrentGLLumo2DDriver();
