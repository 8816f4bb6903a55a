#pragma once
// The world's debug views drawn with the host's 2-D graphics: lines and points as line segments
// with their last pixel, outlines as segments of which only the closing one lights its last pixel,
// fills as filled polygons, each in its colour. The colour and alpha in
// force when it was made are in force again when it goes.

#include <cstdint>

#include "physics/debug_draw.h"

class HostDebugDraw : public DebugDraw {
  public:
    HostDebugDraw();
    ~HostDebugDraw() override;
    HostDebugDraw(const HostDebugDraw&) = delete;
    HostDebugDraw& operator=(const HostDebugDraw&) = delete;

    void Line(float x0, float y0, float x1, float y1, DebugColor color) override;
    void Outline(const float* xy, int32_t n, DebugColor color) override;
    void Point(float x, float y, DebugColor color) override;
    void FillPolygon(const float* xy, int32_t n, DebugColor color) override;

  private:
    // Sets the host's colour and alpha where they differ from the last set.
    void Use(DebugColor color);

    DebugColor found_;
    DebugColor current_;
};
