#include "host/sdl/gl_graphics.h"

#include <SDL.h>

#include <cstring>

#include "host/gl/gl_api.h"
#include "host/sdl/sdl_state.h"

const ClassInfo TGLGraphics::kClass{"TGLGraphics", &TGLSurface::kClass};
const ClassInfo TGLGraphicsDriver::kClass{"TGLGraphicsDriver", &TGLContextDriver::kClass};

namespace {

// The kinds of context tried, in order: desktop OpenGL 3.3 core, then OpenGL ES 3.0. The
// drawing code uses only what both have.
struct ContextKind {
    int profile;
    int major;
    int minor;
    bool es;
};
constexpr ContextKind kContextKinds[] = {
    {SDL_GL_CONTEXT_PROFILE_CORE, 3, 3, false},
    {SDL_GL_CONTEXT_PROFILE_ES, 3, 0, true},
};

bool RequestContextKind(const ContextKind& kind) {
    return SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, kind.profile) == 0 &&
           SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, kind.major) == 0 &&
           SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, kind.minor) == 0;
}

}  // namespace

// ---- TGLGraphics ----

TGLGraphics::TGLGraphics(const Ref<TGLGraphicsDriver>& driver, SDL_Window* window, void* context,
                         const TGLPipeline& pipeline, bool ownsWindow, int32_t depth, int32_t hertz,
                         int32_t flags)
    : TGLSurface(kClass),
      driver_(driver),
      window_(window),
      context_(context),
      pipeline_(pipeline),
      ownsWindow_(ownsWindow),
      depth_(depth),
      hertz_(hertz),
      flags_(flags) {
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window, &w, &h);
    width_ = w;
    height_ = h;
}

TGLGraphics::~TGLGraphics() { Close(); }

TGraphicsDriver* TGLGraphics::Driver() { return driver_.get(); }

void TGLGraphics::GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                              int32_t& flags) {
    width = width_;
    height = height_;
    depth = depth_;
    hertz = hertz_;
    flags = flags_;
}

void TGLGraphics::Close() {
    if (context_ == nullptr && window_ == nullptr) return;
    if (driver_) driver_->Forget(this);
    if (SdlState().displayLost) return;  // the process is ending; the connection is gone
    // Deleting the context frees its program, buffers and fences with it.
    if (context_ != nullptr) SDL_GL_DeleteContext(context_);
    if (ownsWindow_ && window_ != nullptr) SDL_DestroyWindow(window_);
    context_ = nullptr;
    window_ = nullptr;
}

// ---- TGLGraphicsDriver ----

Ref<TGLGraphicsDriver> TGLGraphicsDriver::Create() {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return nullptr;
    // The driver keeps the OpenGL library loaded for the rest of the process, so that
    // windows opened and closed in turn do not load and tear down the renderer each time.
    if (SDL_GL_LoadLibrary(nullptr) != 0) return nullptr;
    auto driver = std::make_shared<TGLGraphicsDriver>();
    const char* video = SDL_GetCurrentVideoDriver();
    driver->throttleFrames_ = video != nullptr && std::strcmp(video, "offscreen") == 0;
    SdlState().glDriver = driver;
    return driver;
}

std::vector<Ref<TGraphicsMode>> TGLGraphicsDriver::GraphicsModes() {
    std::vector<Ref<TGraphicsMode>> modes;
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode m{};
        if (SDL_GetDisplayMode(0, i, &m) != 0) continue;
        auto mode = std::make_shared<TGraphicsMode>();
        mode->width = m.w;
        mode->height = m.h;
        mode->depth = static_cast<int32_t>(SDL_BITSPERPIXEL(m.format));
        mode->hertz = m.refresh_rate;
        modes.push_back(std::move(mode));
    }
    return modes;
}

bool TGLGraphicsDriver::RestoreCurrent() {
    if (current_ == nullptr) return true;
    if (SDL_GL_MakeCurrent(current_->Window(), current_->Context()) == 0) return true;
    SDL_GL_MakeCurrent(nullptr, nullptr);
    current_ = nullptr;
    return false;
}

Ref<TGraphics> TGLGraphicsDriver::AttachGraphics(intptr_t window, int32_t flags) {
    auto* w = reinterpret_cast<SDL_Window*>(window);
    if (w == nullptr || (SDL_GetWindowFlags(w) & SDL_WINDOW_OPENGL) == 0) return nullptr;
    SDL_GLContext context = nullptr;
    TGLPipeline pipeline;
    for (const ContextKind& kind : kContextKinds) {
        if (!RequestContextKind(kind)) continue;
        context = SDL_GL_CreateContext(w);
        if (context == nullptr) continue;
        if (BuildGLPipeline(kind.es, pipeline)) break;
        SDL_GL_DeleteContext(context);
        context = nullptr;
    }
    if (context == nullptr) {
        RestoreCurrent();
        return nullptr;
    }
    if (!RestoreCurrent()) {
        SDL_GL_DeleteContext(context);
        return nullptr;
    }
    auto self = std::static_pointer_cast<TGLGraphicsDriver>(shared_from_this());
    return std::make_shared<TGLGraphics>(self, w, context, pipeline, false, 0, 0, flags);
}

Ref<TGraphics> TGLGraphicsDriver::CreateGraphics(int32_t width, int32_t height, int32_t depth,
                                                 int32_t hertz, int32_t flags) {
    if (width <= 0 || height <= 0) return nullptr;
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    TGLPipeline pipeline;
    // The window's pixel format depends on the kind of context asked for, so each kind gets
    // a window of its own.
    for (const ContextKind& kind : kContextKinds) {
        SDL_GL_ResetAttributes();
        // One bit of each requested buffer: the platform picks its nearest format.
        const int accum = (flags & kGraphicsAccumBuffer) ? 1 : 0;
        const bool requested =
            RequestContextKind(kind) &&
            SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, (flags & kGraphicsBackBuffer) ? 1 : 0) == 0 &&
            SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, (flags & kGraphicsAlphaBuffer) ? 1 : 0) == 0 &&
            SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, (flags & kGraphicsDepthBuffer) ? 1 : 0) == 0 &&
            SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, (flags & kGraphicsStencilBuffer) ? 1 : 0) ==
                0 &&
            SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, accum) == 0 &&
            SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, accum) == 0 &&
            SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, accum) == 0 &&
            SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, accum) == 0;
        if (!requested) continue;

        Uint32 windowFlags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
        if (depth != 0) windowFlags |= SDL_WINDOW_FULLSCREEN;
        window = SDL_CreateWindow(AppTitle().c_str(), SDL_WINDOWPOS_CENTERED,
                                  SDL_WINDOWPOS_CENTERED, width, height, windowFlags);
        if (window == nullptr) continue;
        context = SDL_GL_CreateContext(window);
        if (context != nullptr && BuildGLPipeline(kind.es, pipeline)) break;
        if (context != nullptr) SDL_GL_DeleteContext(context);
        SDL_DestroyWindow(window);
        context = nullptr;
        window = nullptr;
    }
    // Creating a context makes it current; the selected one stays the target until
    // SetGraphics says otherwise.
    if (!RestoreCurrent() || window == nullptr) {
        if (context != nullptr) SDL_GL_DeleteContext(context);
        if (window != nullptr) SDL_DestroyWindow(window);
        return nullptr;
    }
    if (depth != 0) {
        SDL_DisplayMode mode{};
        mode.w = width;
        mode.h = height;
        mode.refresh_rate = hertz;
        SDL_SetWindowDisplayMode(window, &mode);
    }
    SDL_ShowWindow(window);
    auto self = std::static_pointer_cast<TGLGraphicsDriver>(shared_from_this());
    return std::make_shared<TGLGraphics>(self, window, context, pipeline, true, depth, hertz,
                                         flags);
}

void TGLGraphicsDriver::SetGraphics(const Ref<TGraphics>& g) {
    Ref<TGLGraphics> gl = ObjectCast<TGLGraphics>(Ref<Object>(g));
    if (!gl || gl->Context() == nullptr) {
        if (current_ != nullptr) SDL_GL_MakeCurrent(nullptr, nullptr);
        current_ = nullptr;
        return;
    }
    if (gl.get() != current_) swapInterval_ = -1;  // a different context: its interval is unknown
    if (SDL_GL_MakeCurrent(gl->Window(), gl->Context()) != 0) {
        // The context that was current may still be: release it, so that nothing drawn from
        // now on lands in a window other than the one asked for.
        SDL_GL_MakeCurrent(nullptr, nullptr);
        current_ = nullptr;
        return;
    }
    current_ = gl.get();
}

void TGLGraphicsDriver::Flip(int32_t sync) {
    if (current_ == nullptr) return;
    const int32_t interval = sync != 0 ? 1 : 0;
    if (interval != swapInterval_) {
        SDL_GL_SetSwapInterval(interval);
        swapInterval_ = interval;
    }
    SDL_GL_SwapWindow(current_->Window());
    if (!throttleFrames_) return;
    // One frame in flight, as a display's swap chain would allow: wait for the frame before
    // this one, then fence this one. Without it the renderer queues frames without bound.
    void*& pending = current_->PendingFrame();
    if (pending != nullptr) {
        auto fence = static_cast<GLsync>(pending);
        glClientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, GL_TIMEOUT_IGNORED);
        glDeleteSync(fence);
    }
    pending = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    glFlush();
}

void TGLGraphicsDriver::Forget(TGLGraphics* g) {
    if (current_ != g) return;
    SDL_GL_MakeCurrent(nullptr, nullptr);
    current_ = nullptr;
}

SDL_Window* ActiveSdlWindow() {
    Ref<TGLGraphicsDriver> d = SdlState().glDriver.lock();
    return d && d->Current() ? d->Current()->Window() : nullptr;
}

TGLLumo2DDriver* CurrentGLLumo2DDriver() { return SdlState().gl2dDriver.lock().get(); }
