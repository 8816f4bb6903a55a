#include "host/web/web_graphics.h"

#include <emscripten/html5.h>

#include "host/gl/gl_api.h"

const ClassInfo TWebGLGraphics::kClass{"TWebGLGraphics", &TGLSurface::kClass};
const ClassInfo TWebGLGraphicsDriver::kClass{"TWebGLGraphicsDriver", &TGLContextDriver::kClass};
const ClassInfo THeadlessGraphics::kClass{"THeadlessGraphics", &TGraphics::kClass};
const ClassInfo THeadless2DDriver::kClass{"THeadless2DDriver", &TLumo2DDriver::kClass};

namespace {

constexpr char kCanvas[] = "#canvas";

}  // namespace

// ---- TWebGLGraphics ----

TWebGLGraphics::TWebGLGraphics(const Ref<TWebGLGraphicsDriver>& driver, intptr_t context,
                               const TGLPipeline& pipeline, int32_t width, int32_t height,
                               int32_t flags)
    : TGLSurface(kClass),
      driver_(driver),
      context_(context),
      pipeline_(pipeline),
      width_(width),
      height_(height),
      flags_(flags) {}

TWebGLGraphics::~TWebGLGraphics() { Close(); }

TGraphicsDriver* TWebGLGraphics::Driver() { return driver_.get(); }

void TWebGLGraphics::GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                                 int32_t& flags) {
    width = width_;
    height = height_;
    depth = 0;
    hertz = 0;  // the browser's animation frames set the pace
    flags = flags_;
}

void TWebGLGraphics::Close() {
    if (context_ == 0) return;
    if (driver_) driver_->Forget(this);
    // Destroying the context frees its program and buffers with it.
    emscripten_webgl_destroy_context(static_cast<EMSCRIPTEN_WEBGL_CONTEXT_HANDLE>(context_));
    context_ = 0;
}

// ---- TWebGLGraphicsDriver ----

std::vector<Ref<TGraphicsMode>> TWebGLGraphicsDriver::GraphicsModes() {
    int w = 0, h = 0;
    emscripten_get_screen_size(&w, &h);
    auto mode = std::make_shared<TGraphicsMode>();
    mode->width = w;
    mode->height = h;
    mode->depth = 32;
    mode->hertz = 60;
    return {mode};
}

Ref<TGraphics> TWebGLGraphicsDriver::AttachGraphics(intptr_t, int32_t) { return nullptr; }

Ref<TGraphics> TWebGLGraphicsDriver::CreateGraphics(int32_t width, int32_t height, int32_t, int32_t,
                                                    int32_t flags) {
    if (width <= 0 || height <= 0) return nullptr;
    if (emscripten_set_canvas_element_size(kCanvas, width, height) != EMSCRIPTEN_RESULT_SUCCESS) {
        return nullptr;
    }
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.alpha = (flags & kGraphicsAlphaBuffer) != 0;
    attributes.depth = (flags & kGraphicsDepthBuffer) != 0;
    attributes.stencil = (flags & kGraphicsStencilBuffer) != 0;
    // Lines land on whole pixels as on the desktop: no smoothing.
    attributes.antialias = false;
    // The picture stays readable after the frame (the page's tests read it back).
    attributes.preserveDrawingBuffer = true;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context =
        emscripten_webgl_create_context(kCanvas, &attributes);
    if (context <= 0) return nullptr;
    TGLPipeline pipeline;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE previous = emscripten_webgl_get_current_context();
    const bool built =
        emscripten_webgl_make_context_current(context) == EMSCRIPTEN_RESULT_SUCCESS &&
        BuildGLPipeline(true, pipeline);
    // The selected context stays the target until SetGraphics says otherwise.
    emscripten_webgl_make_context_current(current_ != nullptr ? previous : 0);
    if (!built) {
        emscripten_webgl_destroy_context(context);
        return nullptr;
    }
    auto self = std::static_pointer_cast<TWebGLGraphicsDriver>(shared_from_this());
    return std::make_shared<TWebGLGraphics>(self, static_cast<intptr_t>(context), pipeline, width,
                                            height, flags);
}

void TWebGLGraphicsDriver::SetGraphics(const Ref<TGraphics>& g) {
    Ref<TWebGLGraphics> web = ObjectCast<TWebGLGraphics>(Ref<Object>(g));
    if (!web || web->Context() == 0 ||
        emscripten_webgl_make_context_current(static_cast<EMSCRIPTEN_WEBGL_CONTEXT_HANDLE>(
            web->Context())) != EMSCRIPTEN_RESULT_SUCCESS) {
        emscripten_webgl_make_context_current(0);
        current_ = nullptr;
        return;
    }
    current_ = web.get();
}

void TWebGLGraphicsDriver::Flip(int32_t) {
    // The browser composites the canvas once the frame's callback returns; flushing hands it
    // the frame's commands now.
    if (current_ != nullptr) glFlush();
}

void TWebGLGraphicsDriver::Forget(TWebGLGraphics* g) {
    if (current_ != g) return;
    emscripten_webgl_make_context_current(0);
    current_ = nullptr;
}

// ---- headless ----

void THeadlessGraphics::GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                                    int32_t& flags) {
    width = width_;
    height = height_;
    depth = 0;
    hertz = hertz_;
    flags = flags_;
}

Ref<TGraphics> THeadless2DDriver::CreateGraphics(int32_t width, int32_t height, int32_t,
                                                 int32_t hertz, int32_t flags) {
    if (width <= 0 || height <= 0) return nullptr;
    auto self = std::static_pointer_cast<THeadless2DDriver>(shared_from_this());
    auto window = std::make_shared<THeadlessGraphics>(this, width, height, hertz, flags);
    return TLumo2DGraphics::Create(window, self);
}

void THeadless2DDriver::SetGraphics(const Ref<TGraphics>& g) {
    Ref<TLumo2DGraphics> g2d = ObjectCast<TLumo2DGraphics>(Ref<Object>(g));
    if (!g2d || !g2d->_graphics) {
        TLumo2DGraphics::ClearCurrent();
        return;
    }
    g2d->MakeCurrent();
}
