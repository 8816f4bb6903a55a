#include "host/graphics.h"

#include <cmath>
#include <cstdlib>

#include "host/clock.h"
#include "host/context.h"
#include "host/hook.h"
#include "host/input.h"

const ClassInfo TGraphics::kClass{"TGraphics", &Object::kClass};
const ClassInfo TGraphicsMode::kClass{"TGraphicsMode", &Object::kClass};
const ClassInfo TGraphicsDriver::kClass{"TGraphicsDriver", &Object::kClass};
const ClassInfo TLumo2DDriver::kClass{"TLumo2DDriver", &TGraphicsDriver::kClass};
const ClassInfo TLumo2DGraphics::kClass{"TLumo2DGraphics", &TGraphics::kClass};

int32_t PresentHook = -1;
int32_t GraphicsSequence = 1;

namespace {

GraphicsFrontEnd& Front() { return Host().graphics; }
FramePacing& Pacing() { return Host().pacing; }

void BumpSequence() {
    GraphicsSequence = WrapAdd(GraphicsSequence, 1);
    if (GraphicsSequence == 0) GraphicsSequence = 1;
}

// A reference to d: shared when d is owned by shared pointers, otherwise a plain pointer the
// caller keeps alive.
Ref<TGraphicsDriver> DriverRef(TGraphicsDriver* d) {
    if (d == nullptr) return nullptr;
    if (Ref<TGraphicsDriver> shared = d->weak_from_this().lock()) return shared;
    return Ref<TGraphicsDriver>(Ref<TGraphicsDriver>(), d);
}

// Deselects the active graphics in the current driver before the driver changes.
void LeaveCurrentDriver() {
    if (Front().driver && Front().active) Front().driver->SetGraphics(nullptr);
    Front().modes.clear();
    Front().modesListed = false;
}

// The driver that presents: the selected one, or for a 2-D graphics made current by hand
// (as tests do) its own driver.
TGraphicsDriver* PresentingDriver() {
    if (Front().driver) return Front().driver.get();
    return Front().currentDriver2d;
}

void Flip(int32_t sync) {
    if (TGraphicsDriver* d = PresentingDriver()) d->Flip(sync);
}

int32_t ClampComponent(int32_t c) { return c < 0 ? 0 : (c > 255 ? 255 : c); }

}  // namespace

// ---- TLumo2DGraphics ----

TLumo2DGraphics::~TLumo2DGraphics() {
    if (Front().current2d == this) ClearCurrent();
}

TGraphicsDriver* TLumo2DGraphics::Driver() { return _driver.get(); }

void TLumo2DGraphics::GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                                  int32_t& flags) {
    if (_graphics) {
        _graphics->GetSettings(width, height, depth, hertz, flags);
    } else {
        width = height = depth = hertz = flags = 0;
    }
}

void TLumo2DGraphics::Close() {
    if (Front().current2d == this) ClearCurrent();
    if (_graphics) _graphics->Close();
    _graphics.reset();
    _driver.reset();
}

Ref<TLumo2DGraphics> TLumo2DGraphics::Create(const Ref<TGraphics>& graphics,
                                             const Ref<TLumo2DDriver>& driver) {
    auto g = std::make_shared<TLumo2DGraphics>();
    g->_graphics = graphics;
    g->_driver = driver;
    int32_t w = 0, h = 0, d = 0, hz = 0, f = 0;
    if (graphics) graphics->GetSettings(w, h, d, hz, f);
    g->viewport_w = w;
    g->viewport_h = h;
    g->vres_width = static_cast<float>(w);
    g->vres_height = static_cast<float>(h);
    g->g_width = w;
    g->g_height = h;
    return g;
}

void TLumo2DGraphics::UpdateTransform() {
    const double rad = static_cast<double>(tform_rot) * 3.14159265358979323846 / 180.0;
    const float c = static_cast<float>(std::cos(rad));
    const float s = static_cast<float>(std::sin(rad));
    tform_ix = c * tform_scale_x;
    tform_iy = -s * tform_scale_y;
    tform_jx = s * tform_scale_x;
    tform_jy = c * tform_scale_y;
    if (_driver) _driver->SetTransform(tform_ix, tform_iy, tform_jx, tform_jy);
}

void TLumo2DGraphics::SetVirtualResolution(float width, float height) {
    vres_width = width;
    vres_height = height;
    // Scales against the real size; a graphics without one (0 x 0) keeps 1 rather than
    // dividing by zero.
    vres_mousexscale = g_width > 0 ? vres_width / static_cast<float>(g_width) : 1.0f;
    vres_mouseyscale = g_height > 0 ? vres_height / static_cast<float>(g_height) : 1.0f;
    if (_driver) _driver->SetResolution(vres_width, vres_height);
}

void TLumo2DGraphics::ApplyViewport() {
    if (!_driver) return;
    const float sx = vres_mousexscale > 0.0f ? vres_mousexscale : 1.0f;
    const float sy = vres_mouseyscale > 0.0f ? vres_mouseyscale : 1.0f;
    const auto x = static_cast<int32_t>(std::floor(static_cast<float>(viewport_x) / sx));
    const auto y = static_cast<int32_t>(std::floor(static_cast<float>(viewport_y) / sy));
    const auto right =
        static_cast<int32_t>(std::floor(static_cast<float>(viewport_x + viewport_w) / sx));
    const auto bottom =
        static_cast<int32_t>(std::floor(static_cast<float>(viewport_y + viewport_h) / sy));
    _driver->SetViewport(x, y, right - x, bottom - y);
}

void TLumo2DGraphics::Validate() {
    if (!_driver) return;
    int32_t w = 0, h = 0, d = 0, hz = 0, f = 0;
    GetSettings(w, h, d, hz, f);
    if (w != g_width || h != g_height) {
        g_width = w;
        g_height = h;
        vres_width = static_cast<float>(w);
        vres_height = static_cast<float>(h);
        vres_mousexscale = 1.0f;
        vres_mouseyscale = 1.0f;
    }
    SetVirtualResolution(vres_width, vres_height);
    _driver->SetBlend(blend_mode);
    _driver->SetColor(color_red, color_green, color_blue);
    _driver->SetAlpha(color_alpha);
    _driver->SetClsColor(clscolor_red, clscolor_green, clscolor_blue);
    _driver->SetLineWidth(line_width);
    UpdateTransform();  // after the rotation
    UpdateTransform();  // after the scale
    ApplyViewport();
    // Origin and handle are read by every drawing call and need no pushing.
}

void TLumo2DGraphics::MakeCurrent() {
    Front().current2d = this;
    Front().currentDriver2d = _driver.get();
    Validate();
    if (_setup == 0) {
        // A new window shows black at once, with both buffers cleared.
        ClearFrame();
        PresentFrame(0);
        ClearFrame();
        PresentFrame(0);
        _setup = 1;
    }
}

void TLumo2DGraphics::ClearCurrent() {
    Front().current2d = nullptr;
    Front().currentDriver2d = nullptr;
}

TLumo2DGraphics* TLumo2DGraphics::Current() { return Front().current2d; }

// ---- front end ----

void StartGraphics() {
    if (PresentHook < 0) PresentHook = NewHookId();
}

void SelectGraphicsDriver(const Ref<TGraphicsDriver>& driver, int32_t defaultFlags) {
    BumpSequence();
    if (driver != Front().driver) {
        LeaveCurrentDriver();
        Front().driver = driver;
    }
    Front().defaultFlags = defaultFlags;
    Front().active = nullptr;
    Front().settings = GraphicsSettings{};
}

TGraphicsDriver* CurrentGraphicsDriver() { return Front().driver.get(); }

const std::vector<Ref<TGraphicsMode>>& ListGraphicsModes() {
    if (!Front().modesListed && Front().driver) {
        Front().modes = Front().driver->GraphicsModes();
        Front().modesListed = true;
    }
    return Front().modes;
}

Ref<TGraphics> OpenGraphicsWindow(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                  int32_t flags) {
    CloseGraphicsWindow();
    if (!Front().driver) return nullptr;
    Ref<TGraphics> g;
    try {
        g = Front().driver->CreateGraphics(width, height, depth, hertz,
                                           flags | Front().defaultFlags);
    } catch (...) {
        return nullptr;  // a back end that fails by throwing fails like one returning none
    }
    if (!g) return nullptr;
    BumpSequence();
    ActivateGraphics(g);
    if (depth != 0) {
        Pacing().softSync = false;
        Pacing().hardSync = hertz != 0;
        MoveMouse(width / 2, height / 2);
    } else {
        Pacing().hardSync = false;
        Pacing().softSync = hertz != 0;
    }
    if (Pacing().softSync) {
        Pacing().hertz = hertz;
        Pacing().period = 1000 / hertz;
        Pacing().remainder = 1000 - Pacing().period * hertz;
        Pacing().accumulator = 0;
        Pacing().nextFrame = ElapsedMs();
    }
    StartPolledInput(nullptr);
    Front().opened = g;
    if (!Front().closeAtExitRegistered) {
        Front().closeAtExitRegistered = true;
        std::atexit(CloseGraphicsWindow);
    }
    return g;
}

void CloseGraphicsWindow() {
    if (!Front().opened) return;
    BumpSequence();
    StopPolledInput();
    Ref<TGraphics> g = std::move(Front().opened);
    Front().opened = nullptr;
    if (g == Front().active) ActivateGraphics(nullptr);
    g->Close();
}

void ActivateGraphics(const Ref<TGraphics>& graphics) {
    if (!graphics) {
        if (Front().driver && Front().active) Front().driver->SetGraphics(nullptr);
        Front().active = nullptr;
        Front().settings = GraphicsSettings{};
        return;
    }
    TGraphicsDriver* d = graphics->Driver();
    if (d != Front().driver.get()) {
        LeaveCurrentDriver();
        Front().driver = DriverRef(d);
    }
    GraphicsSettings& s = Front().settings;
    graphics->GetSettings(s.width, s.height, s.depth, s.hertz, s.flags);
    if (d != nullptr) d->SetGraphics(graphics);
    Front().active = graphics;
}

Ref<TGraphics> ActiveGraphics() { return Front().active; }
int32_t GraphicsWidth() { return Front().settings.width; }
int32_t GraphicsHeight() { return Front().settings.height; }
int32_t GraphicsDepth() { return Front().settings.depth; }
int32_t GraphicsHertz() { return Front().settings.hertz; }
int32_t GraphicsFlags() { return Front().settings.flags; }

void PresentFrame(int32_t sync) {
    if (PresentHook >= 0) RunHookChain(PresentHook, nullptr);
    if (sync != -1) {
        Flip(sync);
        return;
    }
    if (Front().opened != Front().active) {
        Flip(1);
    } else if (Pacing().platformPaces) {
        Flip(0);  // the platform calls each frame when it is due: nothing to wait for here
    } else if (Pacing().softSync) {
        FramePacing& p = Pacing();
        p.nextFrame = WrapAdd(p.nextFrame, p.period);
        p.accumulator += p.remainder;
        if (p.accumulator >= p.hertz) {
            p.accumulator -= p.hertz;
            p.nextFrame = WrapAdd(p.nextFrame, 1);
        }
        const int32_t wait = WrapSub(p.nextFrame, ElapsedMs());
        if (wait > 0) {
            SleepMs(wait);
        } else {
            // A late frame is not made up later: the schedule restarts from now.
            p.nextFrame = WrapSub(p.nextFrame, wait);
        }
        Flip(0);
    } else if (Pacing().hardSync) {
        Flip(1);
    } else {
        Flip(0);
    }
}

void ClearFrame() {
    if (Front().currentDriver2d) Front().currentDriver2d->Cls();
}

void DrawLineSegment(float x, float y, float x2, float y2, int32_t drawLastPixel) {
    TLumo2DGraphics* g = Front().current2d;
    if (g == nullptr || Front().currentDriver2d == nullptr) return;
    const float px = g->handle_x + x2 - x;
    const float py = g->handle_y + y2 - y;
    Front().currentDriver2d->DrawLine(g->handle_x, g->handle_y, px, py, x + g->origin_x,
                                      y + g->origin_y);
    if (drawLastPixel != 0) {
        Front().currentDriver2d->Plot(px * g->tform_ix + py * g->tform_iy + x + g->origin_x,
                                      px * g->tform_jx + py * g->tform_jy + y + g->origin_y);
    }
}

void DrawFilledPolygon(const float* xy, int32_t n) {
    TLumo2DGraphics* g = Front().current2d;
    if (g == nullptr || Front().currentDriver2d == nullptr || n < 3) return;
    const float x = xy[0];
    const float y = xy[1];
    Front().currentDriver2d->FillPolygon(xy, n, g->handle_x - x, g->handle_y - y, x + g->origin_x,
                                         y + g->origin_y);
}

void SetColor(int32_t red, int32_t green, int32_t blue) {
    TLumo2DGraphics* g = Front().current2d;
    if (g == nullptr) return;
    g->color_red = ClampComponent(red);
    g->color_green = ClampComponent(green);
    g->color_blue = ClampComponent(blue);
    if (g->_driver) g->_driver->SetColor(g->color_red, g->color_green, g->color_blue);
}

void SetAlpha(float alpha) {
    TLumo2DGraphics* g = Front().current2d;
    if (g == nullptr) return;
    g->color_alpha = alpha >= 0.0f ? (alpha <= 1.0f ? alpha : 1.0f) : 0.0f;  // NaN gives 0
    if (g->_driver) g->_driver->SetAlpha(g->color_alpha);
}

void SetBlend(int32_t mode) {
    TLumo2DGraphics* g = Front().current2d;
    if (g == nullptr) return;
    g->blend_mode = mode;
    if (g->_driver) g->_driver->SetBlend(mode);
}

void SetClsColor(int32_t red, int32_t green, int32_t blue) {
    TLumo2DGraphics* g = Front().current2d;
    if (g == nullptr) return;
    g->clscolor_red = ClampComponent(red);
    g->clscolor_green = ClampComponent(green);
    g->clscolor_blue = ClampComponent(blue);
    if (g->_driver) g->_driver->SetClsColor(g->clscolor_red, g->clscolor_green, g->clscolor_blue);
}

void SetLineWidth(float width) {
    TLumo2DGraphics* g = Front().current2d;
    if (g == nullptr) return;
    g->line_width = width;
    if (g->_driver) g->_driver->SetLineWidth(width);
}

void SetRotation(float degrees) {
    TLumo2DGraphics* g = Front().current2d;
    if (g == nullptr) return;
    g->tform_rot = degrees;
    g->UpdateTransform();
}

void SetScale(float scaleX, float scaleY) {
    TLumo2DGraphics* g = Front().current2d;
    if (g == nullptr) return;
    g->tform_scale_x = scaleX;
    g->tform_scale_y = scaleY;
    g->UpdateTransform();
}

void SetOrigin(float x, float y) {
    TLumo2DGraphics* g = Front().current2d;
    if (g == nullptr) return;
    g->origin_x = x;
    g->origin_y = y;
}

void SetHandle(float x, float y) {
    TLumo2DGraphics* g = Front().current2d;
    if (g == nullptr) return;
    g->handle_x = -x;
    g->handle_y = -y;
}

void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) {
    TLumo2DGraphics* g = Front().current2d;
    if (g == nullptr) return;
    g->viewport_x = x;
    g->viewport_y = y;
    g->viewport_w = width;
    g->viewport_h = height;
    g->ApplyViewport();
}

void SetVirtualResolution(float width, float height) {
    TLumo2DGraphics* g = Front().current2d;
    if (g == nullptr) return;
    g->SetVirtualResolution(width, height);
    g->ApplyViewport();
}

void SetAppTitle(const std::string& utf8) { Front().title = utf8; }

const std::string& AppTitle() { return Front().title; }
