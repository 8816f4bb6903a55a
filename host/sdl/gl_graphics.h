#pragma once
// The OpenGL back end on SDL2: TGLGraphicsDriver makes windows with GL contexts (OpenGL 3.3
// core, or OpenGL ES 3.0 where that is what the platform has) and presents them; the shared
// renderer (host/gl) draws the 2-D layer's lines and points into them.
//
// Ownership runs one way: a graphics keeps its driver alive, the driver only points at the
// current graphics, which tells the driver when it closes.

#include <cstdint>
#include <vector>

#include "host/gl/gl_renderer.h"
#include "host/graphics.h"

struct SDL_Window;

class TGLGraphicsDriver;

// A window with its OpenGL context.
class TGLGraphics : public TGLSurface {
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
    const TGLPipeline& Pipeline() const override { return pipeline_; }
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

class TGLGraphicsDriver : public TGLContextDriver {
  public:
    static const ClassInfo kClass;
    TGLGraphicsDriver() : TGLContextDriver(kClass) {}

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
    TGLSurface* CurrentSurface() const override { return current_; }
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

// The window of the current GL graphics, or null.
SDL_Window* ActiveSdlWindow();
// The GL 2-D driver made by Create (the one the host selects), or null.
TGLLumo2DDriver* CurrentGLLumo2DDriver();
