#include "host/graphics.h"

#include <cmath>

const ClassInfo TGraphics::kClass{"TGraphics", &Object::kClass};
const ClassInfo TGraphicsMode::kClass{"TGraphicsMode", &Object::kClass};
const ClassInfo TGraphicsDriver::kClass{"TGraphicsDriver", &Object::kClass};
const ClassInfo TLumo2DDriver::kClass{"TLumo2DDriver", &TGraphicsDriver::kClass};
const ClassInfo TLumo2DGraphics::kClass{"TLumo2DGraphics", &TGraphics::kClass};

namespace {
TLumo2DGraphics* g_current2d = nullptr;
TLumo2DDriver* g_currentDriver2d = nullptr;
}  // namespace

TGraphicsDriver* TLumo2DGraphics::Driver() { return _driver.get(); }

void TLumo2DGraphics::GetSettings(int32_t& width, int32_t& height, int32_t& depth,
                                  int32_t& hertz, int32_t& flags) {
    if (_graphics) {
        _graphics->GetSettings(width, height, depth, hertz, flags);
    } else {
        width = height = depth = hertz = flags = 0;
    }
}

void TLumo2DGraphics::Close() {
    if (g_current2d == this) ClearCurrent();
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
    // Rotation is in degrees.
    const double rad = static_cast<double>(tform_rot) * 3.14159265358979323846 / 180.0;
    const float c = static_cast<float>(std::cos(rad));
    const float s = static_cast<float>(std::sin(rad));
    tform_ix = c * tform_scale_x;
    tform_iy = -s * tform_scale_y;
    tform_jx = s * tform_scale_x;
    tform_jy = c * tform_scale_y;
    if (_driver) _driver->SetTransform(tform_ix, tform_iy, tform_jx, tform_jy);
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
    if (w > 0 && h > 0) {
        vres_mousexscale = vres_width / static_cast<float>(w);
        vres_mouseyscale = vres_height / static_cast<float>(h);
    }
    _driver->SetResolution(vres_width, vres_height);
    _driver->SetBlend(blend_mode);
    _driver->SetColor(color_red, color_green, color_blue);
    _driver->SetAlpha(color_alpha);
    _driver->SetClsColor(clscolor_red, clscolor_green, clscolor_blue);
    _driver->SetLineWidth(line_width);
    UpdateTransform();  // rotation
    UpdateTransform();  // scale
    const int32_t x = static_cast<int32_t>(std::floor(viewport_x / vres_mousexscale));
    const int32_t y = static_cast<int32_t>(std::floor(viewport_y / vres_mouseyscale));
    const int32_t right =
        static_cast<int32_t>(std::floor((viewport_x + viewport_w) / vres_mousexscale));
    const int32_t bottom =
        static_cast<int32_t>(std::floor((viewport_y + viewport_h) / vres_mouseyscale));
    _driver->SetViewport(x, y, right - x, bottom - y);
}

void TLumo2DGraphics::MakeCurrent() {
    g_current2d = this;
    g_currentDriver2d = _driver.get();
    Validate();
    if (_setup == 0) {
        ClearFrame();
        PresentFrame(0);
        ClearFrame();
        PresentFrame(0);
        _setup = 1;
    }
}

void TLumo2DGraphics::ClearCurrent() {
    g_current2d = nullptr;
    g_currentDriver2d = nullptr;
}

TLumo2DGraphics* TLumo2DGraphics::Current() { return g_current2d; }

void ClearFrame() {
    if (g_currentDriver2d) g_currentDriver2d->Cls();
}

void DrawLineSegment(float x, float y, float x2, float y2, int32_t drawLastPixel) {
    TLumo2DGraphics* g = g_current2d;
    if (g == nullptr || g_currentDriver2d == nullptr) return;
    const float px = g->handle_x + x2 - x;
    const float py = g->handle_y + y2 - y;
    const float tx = x + g->origin_x;
    const float ty = y + g->origin_y;
    g_currentDriver2d->DrawLine(g->handle_x, g->handle_y, px, py, tx, ty);
    if (drawLastPixel != 0) {
        g_currentDriver2d->Plot(px * g->tform_ix + py * g->tform_iy + x + g->origin_x,
                                px * g->tform_jx + py * g->tform_jy + y + g->origin_y);
    }
}

void PresentFrame(int32_t sync) {
    if (g_currentDriver2d) g_currentDriver2d->Flip(sync);
}
