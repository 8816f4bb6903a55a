#pragma once
// The graphics layer's front end: the graphics level (TGraphics, TGraphicsDriver) owns windows,
// contexts and presentation; the 2-D level (TLumo2DGraphics, TLumo2DDriver) holds the drawing
// state and sends lines and points to a 2-D renderer. The front-end functions work on the
// current driver and the current 2-D graphics; with none current, drawing does nothing.
// No SDL or GL here: the back end lives in its own target.

#include <cstdint>
#include <vector>

#include "runtime/object.h"

class TGraphicsDriver;

// An open window with its rendering context.
class TGraphics : public Object {
public:
    static const ClassInfo kClass;

    virtual TGraphicsDriver* Driver() = 0;
    // Width and height are the real client size in pixels.
    virtual void GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                             int32_t& flags) = 0;
    virtual void Close() = 0;

protected:
    explicit TGraphics(const ClassInfo& c) : Object(c) {}
};

class TGraphicsMode : public Object {
public:
    static const ClassInfo kClass;
    TGraphicsMode() : Object(kClass) {}

    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    int32_t hertz = 0;
};

// A back end.
class TGraphicsDriver : public Object {
public:
    static const ClassInfo kClass;

    virtual std::vector<Ref<TGraphicsMode>> GraphicsModes() = 0;
    virtual Ref<TGraphics> AttachGraphics(intptr_t window, int32_t flags) = 0;
    // A new graphics, or none when the window cannot be made.
    virtual Ref<TGraphics> CreateGraphics(int32_t width, int32_t height, int32_t depth,
                                          int32_t hertz, int32_t flags) = 0;
    // Makes g the target of all drawing; none: no target.
    virtual void SetGraphics(const Ref<TGraphics>& g) = 0;
    virtual void Flip(int32_t sync) = 0;

protected:
    explicit TGraphicsDriver(const ClassInfo& c) : Object(c) {}
};

// A 2-D renderer that is also a graphics driver. Colours are 0..255, positions float.
class TLumo2DDriver : public TGraphicsDriver {
public:
    static const ClassInfo kClass;

    virtual void SetBlend(int32_t mode) = 0;
    virtual void SetAlpha(float alpha) = 0;
    virtual void SetColor(int32_t red, int32_t green, int32_t blue) = 0;
    virtual void SetClsColor(int32_t red, int32_t green, int32_t blue) = 0;
    virtual void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
    virtual void SetTransform(float ix, float iy, float jx, float jy) = 0;
    virtual void SetLineWidth(float width) = 0;
    virtual void Cls() = 0;
    virtual void Plot(float x, float y) = 0;
    // Each end (xk, yk) goes to the screen as (xk*ix + yk*iy + tx, xk*jx + yk*jy + ty).
    virtual void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
    virtual void SetResolution(float width, float height) = 0;

protected:
    explicit TLumo2DDriver(const ClassInfo& c) : TGraphicsDriver(c) {}
};

// A graphics wrapped with its 2-D drawing state.
class TLumo2DGraphics : public TGraphics {
public:
    static const ClassInfo kClass;

    TLumo2DGraphics() : TGraphics(kClass) {}

    TGraphicsDriver* Driver() override;
    void GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                     int32_t& flags) override;
    void Close() override;

    // Pushes the whole drawing state to the 2-D driver.
    void Validate();
    // Becomes the current 2-D graphics; a first call clears both buffers.
    void MakeCurrent();
    static void ClearCurrent();
    static TLumo2DGraphics* Current();
    static Ref<TLumo2DGraphics> Create(const Ref<TGraphics>& graphics,
                                       const Ref<TLumo2DDriver>& driver);

    int32_t color_red = 255, color_green = 255, color_blue = 255;
    float color_alpha = 1.0f;
    int32_t clscolor_red = 0, clscolor_green = 0, clscolor_blue = 0;
    float line_width = 1.0f;
    float tform_rot = 0.0f;
    float tform_scale_x = 1.0f, tform_scale_y = 1.0f;
    float tform_ix = 1.0f, tform_iy = 0.0f, tform_jx = 0.0f, tform_jy = 1.0f;
    int32_t viewport_x = 0, viewport_y = 0, viewport_w = 0, viewport_h = 0;
    float origin_x = 0.0f, origin_y = 0.0f;
    float handle_x = 0.0f, handle_y = 0.0f;  // kept negated
    int32_t blend_mode = 1;
    float vres_width = 0.0f, vres_height = 0.0f;
    float vres_mousexscale = 1.0f, vres_mouseyscale = 1.0f;
    int32_t g_width = 0, g_height = 0;
    Ref<TGraphics> _graphics;
    Ref<TLumo2DDriver> _driver;
    int32_t _setup = 0;

private:
    void UpdateTransform();
};

// Front end.
void ClearFrame();
// Draws a line through the current 2-D state; a non-zero drawLastPixel also plots the end point.
void DrawLineSegment(float x, float y, float x2, float y2, int32_t drawLastPixel);
// Presents through the current driver (-1 paced, 0 immediate, 1 wait for vertical blank).
void PresentFrame(int32_t sync);
