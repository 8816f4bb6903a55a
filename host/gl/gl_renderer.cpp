#include "host/gl/gl_renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/gl/gl_api.h"

const ClassInfo TGLSurface::kClass{"TGLSurface", &TGraphics::kClass};
const ClassInfo TGLContextDriver::kClass{"TGLContextDriver", &TGraphicsDriver::kClass};
const ClassInfo TGLLumo2DDriver::kClass{"TGLLumo2DDriver", &TLumo2DDriver::kClass};

namespace {

// A batch is sent when it grows this large, so that memory stays bounded.
constexpr size_t kMaxBatchFloats = size_t{1} << 16;

uint8_t ClampByte(int32_t c) { return static_cast<uint8_t>(std::clamp(c, 0, 255)); }

// Positions arrive in virtual-resolution units, already shifted to pixel centres; the projection
// maps that resolution onto clip space with y growing downwards, as glOrtho(0, w, h, 0, -1, 1)
// would. OpenGL ES needs the point size written; desktop OpenGL takes glPointSize's 1 instead.
constexpr char kVertexShader[] = R"(
in vec2 position;
uniform vec4 projection;
void main() {
    gl_Position = vec4(position * projection.xy + projection.zw, 0.0, 1.0);
    gl_PointSize = 1.0;
}
)";

// One colour for the whole batch. The alpha test of blend mode 1 needs no shader work: with one
// colour a batch passes or fails it whole, which the driver decides before drawing.
constexpr char kFragmentShader[] = R"(
precision highp float;
uniform vec4 color;
out vec4 fragColor;
void main() { fragColor = color; }
)";

GLuint CompileShader(GLenum type, bool es, const char* body) {
    const char* sources[2] = {es ? "#version 300 es\n" : "#version 330 core\n", body};
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 2, sources, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

// The program, vertex array and buffer of the current context; false (with nothing left
// behind) when the context cannot build them.
}  // namespace

bool BuildGLPipeline(bool es, TGLPipeline& p) {
    p = TGLPipeline{};
    p.es = es;
    const GLuint vs = CompileShader(GL_VERTEX_SHADER, es, kVertexShader);
    const GLuint fs = CompileShader(GL_FRAGMENT_SHADER, es, kFragmentShader);
    if (vs != 0 && fs != 0) {
        p.program = glCreateProgram();
        glAttachShader(p.program, vs);
        glAttachShader(p.program, fs);
        glBindAttribLocation(p.program, 0, "position");
        glLinkProgram(p.program);
    }
    if (vs != 0) glDeleteShader(vs);
    if (fs != 0) glDeleteShader(fs);
    GLint linked = GL_FALSE;
    if (p.program != 0) glGetProgramiv(p.program, GL_LINK_STATUS, &linked);
    if (linked != GL_TRUE) {
        if (p.program != 0) glDeleteProgram(p.program);
        p.program = 0;
        return false;
    }
    p.projection = glGetUniformLocation(p.program, "projection");
    p.color = glGetUniformLocation(p.program, "color");
    glGenVertexArrays(1, &p.vertexArray);
    glGenBuffers(1, &p.vertexBuffer);
    glBindVertexArray(p.vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, p.vertexBuffer);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    return glGetError() == GL_NO_ERROR;
}

// ---- TGLLumo2DDriver ----

TGLLumo2DDriver::TGLLumo2DDriver(const Ref<TGLContextDriver>& graphicsDriver)
    : TLumo2DDriver(kClass), graphicsDriver_(graphicsDriver) {}

Ref<TGLLumo2DDriver> TGLLumo2DDriver::Create(const Ref<TGLContextDriver>& graphicsDriver) {
    if (!graphicsDriver) return nullptr;
    auto driver = std::make_shared<TGLLumo2DDriver>(graphicsDriver);
    driver->self_ = driver;
    return driver;
}

std::vector<Ref<TGraphicsMode>> TGLLumo2DDriver::GraphicsModes() {
    return graphicsDriver_->GraphicsModes();
}

Ref<TGraphics> TGLLumo2DDriver::AttachGraphics(intptr_t window, int32_t flags) {
    Ref<TGraphics> g = graphicsDriver_->AttachGraphics(window, flags);
    return g ? TLumo2DGraphics::Create(g, self_.lock()) : nullptr;
}

Ref<TGraphics> TGLLumo2DDriver::CreateGraphics(int32_t width, int32_t height, int32_t depth,
                                               int32_t hertz, int32_t flags) {
    Ref<TGraphics> g = graphicsDriver_->CreateGraphics(width, height, depth, hertz, flags);
    return g ? TLumo2DGraphics::Create(g, self_.lock()) : nullptr;
}

void TGLLumo2DDriver::SetGraphics(const Ref<TGraphics>& g) {
    Flush();  // what is batched belongs to the context being left
    Ref<TLumo2DGraphics> g2d = ObjectCast<TLumo2DGraphics>(Ref<Object>(g));
    if (!g2d || !g2d->_graphics) {
        TLumo2DGraphics::ClearCurrent();
        graphicsDriver_->SetGraphics(nullptr);
        return;
    }
    graphicsDriver_->SetGraphics(g2d->_graphics);
    if (graphicsDriver_->CurrentSurface() == nullptr) {  // the platform refused the context
        TLumo2DGraphics::ClearCurrent();
        return;
    }
    int32_t w = 0, h = 0, depth = 0, hertz = 0, flags = 0;
    g2d->_graphics->GetSettings(w, h, depth, hertz, flags);
    ResetGLContext(w, h);
    g2d->MakeCurrent();
}

void TGLLumo2DDriver::ResetGLContext(int32_t width, int32_t height) {
    width_ = width;
    height_ = height;
    if (graphicsDriver_->CurrentSurface() == nullptr) return;
    // Forget what was cached for the previous context.
    blend_ = 0;
    lineWidth_ = 1.0f;
    clipping_ = false;
    viewport_[0] = viewport_[1] = 0;
    viewport_[2] = width;
    viewport_[3] = height;
    resolution_[0] = static_cast<float>(width);
    resolution_[1] = static_cast<float>(height);
    ApplyProjection();
    glViewport(0, 0, width, height);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glLineWidth(1.0f);
}

void TGLLumo2DDriver::ApplyProjection() {
    const TGLSurface* g = graphicsDriver_->CurrentSurface();
    if (g == nullptr) return;
    // glOrtho(0, w, h, 0, -1, 1): (0, 0) at the top-left corner, (w, h) at the bottom-right.
    // Like glOrtho, an empty extent is refused and the projection before it stays.
    if (resolution_[0] == 0.0f || resolution_[1] == 0.0f) return;
    const TGLPipeline& p = g->Pipeline();
    glUseProgram(p.program);
    glUniform4f(p.projection, 2.0f / resolution_[0], -2.0f / resolution_[1], -1.0f, 1.0f);
}

void TGLLumo2DDriver::Flip(int32_t sync) {
    Flush();
    graphicsDriver_->Flip(sync);
}

void TGLLumo2DDriver::SetBlend(int32_t mode) {
    if (mode == blend_ || mode < 1 || mode > 5) return;  // unknown modes change nothing
    Flush();
    blend_ = mode;
    if (graphicsDriver_->CurrentSurface() == nullptr) return;
    switch (mode) {
        case 1:  // alpha test (applied at Flush): write unblended where alpha >= 128/255
        case 2:  // opaque
            glDisable(GL_BLEND);
            break;
        case 3:  // alpha blend
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            break;
        case 4:  // additive
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE);
            break;
        case 5:  // multiply
            glEnable(GL_BLEND);
            glBlendFunc(GL_DST_COLOR, GL_ZERO);
            break;
    }
}

void TGLLumo2DDriver::SetAlpha(float alpha) {
    // Clamped to 0..1 (NaN counts as 0), then stored as a byte, truncated.
    const float a = alpha >= 0.0f ? std::min(alpha, 1.0f) : 0.0f;
    const auto byte = static_cast<uint8_t>(a * 255.0f);
    if (byte == color_[3]) return;
    Flush();
    color_[3] = byte;
}

void TGLLumo2DDriver::SetColor(int32_t red, int32_t green, int32_t blue) {
    const uint8_t rgb[3] = {ClampByte(red), ClampByte(green), ClampByte(blue)};
    if (std::memcmp(rgb, color_, 3) == 0) return;
    Flush();
    std::memcpy(color_, rgb, 3);
}

void TGLLumo2DDriver::SetClsColor(int32_t red, int32_t green, int32_t blue) {
    clsColor_[0] = ClampByte(red);
    clsColor_[1] = ClampByte(green);
    clsColor_[2] = ClampByte(blue);
}

void TGLLumo2DDriver::SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) {
    const int32_t v[4] = {x, y, std::max(width, 0), std::max(height, 0)};
    if (std::memcmp(v, viewport_, sizeof v) == 0) return;
    Flush();
    std::memcpy(viewport_, v, sizeof v);
    clipping_ = !(x == 0 && y == 0 && v[2] == width_ && v[3] == height_);
    if (graphicsDriver_->CurrentSurface() == nullptr) return;
    if (clipping_) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(x, height_ - y - v[3], v[2], v[3]);  // GL counts rows from the bottom
    } else {
        glDisable(GL_SCISSOR_TEST);
    }
}

void TGLLumo2DDriver::SetTransform(float ix, float iy, float jx, float jy) {
    // Applied to vertices as they are batched, so the batch needs no flush.
    ix_ = ix;
    iy_ = iy;
    jx_ = jx;
    jy_ = jy;
}

void TGLLumo2DDriver::SetLineWidth(float width) {
    if (width == lineWidth_) return;
    Flush();
    lineWidth_ = width;
    if (graphicsDriver_->CurrentSurface() != nullptr && width > 0.0f) glLineWidth(width);
}

void TGLLumo2DDriver::Cls() {
    Flush();
    if (graphicsDriver_->CurrentSurface() == nullptr) return;
    glClearColor(clsColor_[0] / 255.0f, clsColor_[1] / 255.0f, clsColor_[2] / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

void TGLLumo2DDriver::Plot(float x, float y) {
    if (graphicsDriver_->CurrentSurface() == nullptr) return;
    float px = x + 0.5f;
    float py = y + 0.5f;
    // A point lights the pixel that holds it. On a pixel edge the rule is GL's for plain points:
    // the pixel to the right and, counting rows downwards, the one above. Shader-driven points are
    // drawn as little squares whose edge ties go the other way, so a point that the rasterizer
    // would put on an edge (positions are held in 1/256 pixel) is moved to the centre of the
    // pixel the plain rule chooses. This is exact where virtual and real pixels coincide.
    if (resolution_[0] == static_cast<float>(width_) &&
        resolution_[1] == static_cast<float>(height_)) {
        const float sx = std::nearbyint(px * 256.0f) / 256.0f;
        const float sy = std::nearbyint(py * 256.0f) / 256.0f;
        if (sx == std::floor(sx)) px = sx + 0.5f;
        if (sy == std::floor(sy)) py = sy - 0.5f;
    }
    points_.push_back(px);
    points_.push_back(py);
    if (points_.size() >= kMaxBatchFloats) Flush();
}

void TGLLumo2DDriver::DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) {
    if (graphicsDriver_->CurrentSurface() == nullptr) return;
    // Pixel centres lie at +0.5.
    lines_.push_back(x0 * ix_ + y0 * iy_ + tx + 0.5f);
    lines_.push_back(x0 * jx_ + y0 * jy_ + ty + 0.5f);
    lines_.push_back(x1 * ix_ + y1 * iy_ + tx + 0.5f);
    lines_.push_back(x1 * jx_ + y1 * jy_ + ty + 0.5f);
    if (lines_.size() >= kMaxBatchFloats) Flush();
}

void TGLLumo2DDriver::FillPolygon(const float* xy, int32_t n, float ox, float oy, float tx,
                                  float ty) {
    if (graphicsDriver_->CurrentSurface() == nullptr || n < 3) return;
    // Filled areas cover the pixels whose centres they hold, so corners are not shifted by the
    // half pixel that puts lines on pixel centres. A convex polygon is a fan of triangles from its
    // first corner.
    auto corner = [&](int32_t k) {
        const float x = xy[2 * k] + ox;
        const float y = xy[2 * k + 1] + oy;
        fills_.push_back(x * ix_ + y * iy_ + tx);
        fills_.push_back(x * jx_ + y * jy_ + ty);
    };
    for (int32_t k = 1; k + 1 < n; ++k) {
        corner(0);
        corner(k);
        corner(k + 1);
    }
    if (fills_.size() >= kMaxBatchFloats) Flush();
}

void TGLLumo2DDriver::SetResolution(float width, float height) {
    if (width == resolution_[0] && height == resolution_[1]) return;
    Flush();
    resolution_[0] = width;
    resolution_[1] = height;
    ApplyProjection();
}

// Every primitive of a batch shares one colour, alpha, blend mode, width and clip rectangle,
// so each applies the same change to the pixels it covers: a pixel's final value depends only
// on how many of them cover it, not on their order. Fills, lines and points can therefore go in
// three draw calls without changing the picture.
void TGLLumo2DDriver::Flush() {
    if (lines_.empty() && points_.empty() && fills_.empty()) return;
    const TGLSurface* g = graphicsDriver_->CurrentSurface();
    // Under the alpha test one colour passes or fails whole: 128/255 is the threshold.
    const bool visible = !(blend_ == 1 && color_[3] < 128);
    if (g != nullptr && visible) {
        const TGLPipeline& p = g->Pipeline();
        glUseProgram(p.program);
        glUniform4f(p.color, color_[0] / 255.0f, color_[1] / 255.0f, color_[2] / 255.0f,
                    color_[3] / 255.0f);
        glBindVertexArray(p.vertexArray);
        glBindBuffer(GL_ARRAY_BUFFER, p.vertexBuffer);
        // Each upload replaces the buffer's storage, so the driver never waits for the draw
        // before it to finish reading.
        if (!fills_.empty()) {
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(fills_.size() * sizeof(float)),
                         fills_.data(), GL_STREAM_DRAW);
            glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(fills_.size() / 2));
        }
        if (!lines_.empty()) {
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(lines_.size() * sizeof(float)),
                         lines_.data(), GL_STREAM_DRAW);
            glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(lines_.size() / 2));
        }
        if (!points_.empty()) {
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(points_.size() * sizeof(float)),
                         points_.data(), GL_STREAM_DRAW);
            glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(points_.size() / 2));
        }
    }
    lines_.clear();
    points_.clear();
    fills_.clear();
}

bool TGLLumo2DDriver::ReadBackBuffer(std::vector<uint8_t>& rgba, int32_t& width, int32_t& height) {
    TGLSurface* g = graphicsDriver_->CurrentSurface();
    if (g == nullptr) return false;
    Flush();
    int32_t w = 0, h = 0, depth = 0, hertz = 0, flags = 0;
    g->GetSettings(w, h, depth, hertz, flags);
    if (w <= 0 || h <= 0) return false;
    GLint readBuffer = 0, packAlignment = 0;
    glGetIntegerv(GL_READ_BUFFER, &readBuffer);
    glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
    // OpenGL ES reads the default framebuffer through GL_BACK alone.
    const bool front = (flags & kGraphicsBackBuffer) == 0 && !g->Pipeline().es;
    glReadBuffer(front ? GL_FRONT : GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    const size_t row = static_cast<size_t>(w) * 4;
    std::vector<uint8_t> bottomUp(row * static_cast<size_t>(h));
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);
    glReadBuffer(static_cast<GLenum>(readBuffer));
    rgba.resize(bottomUp.size());
    for (int32_t y = 0; y < h; ++y) {  // GL reads bottom row first
        std::memcpy(rgba.data() + row * static_cast<size_t>(y),
                    bottomUp.data() + row * static_cast<size_t>(h - 1 - y), row);
    }
    width = w;
    height = h;
    return true;
}
