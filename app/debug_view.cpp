#include "app/debug_view.h"

#include "host/graphics.h"

namespace {

// The host takes alpha as 0..1 and keeps it as a byte, truncated: half a step up gives the
// same byte back.
float AlphaOf(uint8_t a) { return (static_cast<float>(a) + 0.5f) / 255.0f; }

}  // namespace

HostDebugDraw::HostDebugDraw() {
    if (const TLumo2DGraphics* g = TLumo2DGraphics::Current()) {
        found_ = {static_cast<uint8_t>(g->color_red), static_cast<uint8_t>(g->color_green),
                  static_cast<uint8_t>(g->color_blue),
                  static_cast<uint8_t>(g->color_alpha * 255.0f)};
    }
    current_ = found_;
}

HostDebugDraw::~HostDebugDraw() { Use(found_); }

void HostDebugDraw::Use(DebugColor color) {
    if (color == current_) return;
    SetColor(color.r, color.g, color.b);
    if (color.a != current_.a) SetAlpha(AlphaOf(color.a));
    current_ = color;
}

void HostDebugDraw::Line(float x0, float y0, float x1, float y1, DebugColor color) {
    Use(color);
    DrawLineSegment(x0, y0, x1, y1, 1);
}

void HostDebugDraw::Outline(const float* xy, int32_t n, DebugColor color) {
    Use(color);
    for (int32_t k = 0; k < n; ++k) {
        const int32_t next = k + 1 < n ? k + 1 : 0;
        const bool closing = next == 0;  // its end is the first corner, which nothing lit yet
        DrawLineSegment(xy[2 * k], xy[2 * k + 1], xy[2 * next], xy[2 * next + 1], closing ? 1 : 0);
    }
}

void HostDebugDraw::Point(float x, float y, DebugColor color) {
    Use(color);
    DrawLineSegment(x, y, x, y, 1);
}

void HostDebugDraw::FillPolygon(const float* xy, int32_t n, DebugColor color) {
    Use(color);
    DrawFilledPolygon(xy, n);
}
