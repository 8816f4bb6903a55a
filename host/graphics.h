#pragma once
// The graphics layer's front end. The graphics level (TGraphics, TGraphicsDriver) owns windows,
// contexts and presentation; the 2-D level (TLumo2DGraphics, TLumo2DDriver) holds the drawing
// state and sends lines and points to a 2-D renderer. The front-end functions work on the
// current driver and the current 2-D graphics; with none current, drawing does nothing.
// No SDL or GL here: the back end lives in its own target.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/object.h"

// Graphics flags, OR-ed into the driver's default flags when a window is created.
inline constexpr int32_t kGraphicsBackBuffer = 2;
inline constexpr int32_t kGraphicsAlphaBuffer = 4;
inline constexpr int32_t kGraphicsDepthBuffer = 8;
inline constexpr int32_t kGraphicsStencilBuffer = 16;
inline constexpr int32_t kGraphicsAccumBuffer = 32;

class TGraphicsDriver;

// An open window with its rendering context.
class TGraphics : public Object {
  public:
    static const ClassInfo kClass;

    virtual TGraphicsDriver* Driver() = 0;
    // Width and height are the real client size in pixels.
    virtual void GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                             int32_t& flags) = 0;
    // Releases the context and destroys the window it created.
    virtual void Close() = 0;

  protected:
    explicit TGraphics(const ClassInfo& c) : Object(c) {}
};

// A display mode.
class TGraphicsMode : public Object {
  public:
    static const ClassInfo kClass;
    TGraphicsMode() : Object(kClass) {}

    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    int32_t hertz = 0;
};

// A back end. Drivers made with std::make_shared can be handed around by the front end as
// references; others are referred to without ownership.
class TGraphicsDriver : public Object, public std::enable_shared_from_this<TGraphicsDriver> {
  public:
    static const ClassInfo kClass;

    virtual std::vector<Ref<TGraphicsMode>> GraphicsModes() = 0;
    // Wraps an existing platform window.
    virtual Ref<TGraphics> AttachGraphics(intptr_t window, int32_t flags) = 0;
    // A new graphics, or none when the window cannot be made.
    virtual Ref<TGraphics> CreateGraphics(int32_t width, int32_t height, int32_t depth,
                                          int32_t hertz, int32_t flags) = 0;
    // Makes g the target of all drawing; none: no target.
    virtual void SetGraphics(const Ref<TGraphics>& g) = 0;
    // Presents the back buffer; a non-zero sync waits for the vertical blank.
    virtual void Flip(int32_t sync) = 0;

  protected:
    explicit TGraphicsDriver(const ClassInfo& c) : Object(c) {}
};

// A 2-D renderer that is also a graphics driver. Colours are 0..255, positions float.
class TLumo2DDriver : public TGraphicsDriver {
  public:
    static const ClassInfo kClass;

    // 1 alpha test (default), 2 opaque, 3 alpha blend, 4 additive, 5 multiply.
    virtual void SetBlend(int32_t mode) = 0;
    // Clamped to 0..1.
    virtual void SetAlpha(float alpha) = 0;
    // Each component clamped to 0..255.
    virtual void SetColor(int32_t red, int32_t green, int32_t blue) = 0;
    virtual void SetClsColor(int32_t red, int32_t green, int32_t blue) = 0;
    // Clips to the rectangle; the whole surface switches clipping off.
    virtual void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
    virtual void SetTransform(float ix, float iy, float jx, float jy) = 0;
    virtual void SetLineWidth(float width) = 0;
    // Fills the colour buffer (inside the viewport) with the clear colour.
    virtual void Cls() = 0;
    // One point at the pixel (x, y).
    virtual void Plot(float x, float y) = 0;
    // Each end (xk, yk) goes to the screen as (xk*ix + yk*iy + tx, xk*jx + yk*jy + ty).
    virtual void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
    // A filled convex polygon of n >= 3 corners (x0, y0, x1, y1, ... in order round it): corner k
    // goes to the screen as ((xk+ox)*ix + (yk+oy)*iy + tx, (xk+ox)*jx + (yk+oy)*jy + ty).
    virtual void FillPolygon(const float* xy, int32_t n, float ox, float oy, float tx,
                             float ty) = 0;
    // The orthographic projection: (0, 0) top-left, (width, height) bottom-right.
    virtual void SetResolution(float width, float height) = 0;

  protected:
    explicit TLumo2DDriver(const ClassInfo& c) : TGraphicsDriver(c) {}
};

// A graphics wrapped with its 2-D drawing state.
class TLumo2DGraphics : public TGraphics {
  public:
    static const ClassInfo kClass;

    TLumo2DGraphics() : TGraphics(kClass) {}
    ~TLumo2DGraphics() override;

    TGraphicsDriver* Driver() override;
    void GetSettings(int32_t& width, int32_t& height, int32_t& depth, int32_t& hertz,
                     int32_t& flags) override;
    // Closes the wrapped graphics and drops both references.
    void Close() override;

    // Pushes the whole drawing state to the 2-D driver.
    void Validate();
    // Becomes the current 2-D graphics; the first call clears and presents both buffers.
    void MakeCurrent();
    static void ClearCurrent();
    static TLumo2DGraphics* Current();
    static Ref<TLumo2DGraphics> Create(const Ref<TGraphics>& graphics,
                                       const Ref<TLumo2DDriver>& driver);

    int32_t color_red = 255, color_green = 255, color_blue = 255;
    float color_alpha = 1.0f;
    int32_t clscolor_red = 0, clscolor_green = 0, clscolor_blue = 0;
    float line_width = 1.0f;
    float tform_rot = 0.0f;  // degrees
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

    // Derives the matrix from rotation and scale and hands it to the driver.
    void UpdateTransform();
    // Stores the virtual resolution, derives the mouse scales and sets the projection.
    void SetVirtualResolution(float width, float height);
    // Hands the viewport, in real pixels, to the driver.
    void ApplyViewport();
};

// Start-up of the layer: allocates PresentHook; later calls do nothing.
void StartGraphics();

// Makes driver current with these default flags and forgets the active graphics.
void SelectGraphicsDriver(const Ref<TGraphicsDriver>& driver, int32_t defaultFlags);
TGraphicsDriver* CurrentGraphicsDriver();
// The current driver's display modes, asked once and kept until the driver changes.
const std::vector<Ref<TGraphicsMode>>& ListGraphicsModes();

// Opens, activates and paces a window (depth 0: windowed; hertz 0: unpaced); none on failure,
// with nothing changed. A window already open is closed first.
Ref<TGraphics> OpenGraphicsWindow(int32_t width, int32_t height, int32_t depth, int32_t hertz,
                                  int32_t flags);
// Closes what OpenGraphicsWindow opened; also runs at process exit.
void CloseGraphicsWindow();
// Selects the drawing target (none: no target).
void ActivateGraphics(const Ref<TGraphics>& graphics);
Ref<TGraphics> ActiveGraphics();
// Settings of the active graphics; 0 when there is none.
int32_t GraphicsWidth();
int32_t GraphicsHeight();
int32_t GraphicsDepth();
int32_t GraphicsHertz();
int32_t GraphicsFlags();

// Runs PresentHook, then presents: -1 paced to the window's rate, 0 at once, 1 on the
// vertical blank.
void PresentFrame(int32_t sync);
// Clears to the clear colour.
void ClearFrame();
// Draws a line through the current 2-D state; a non-zero drawLastPixel also plots the end point.
void DrawLineSegment(float x, float y, float x2, float y2, int32_t drawLastPixel);
// Fills the convex polygon of n corners (x0, y0, x1, y1, ...) through the current 2-D state, turned
// and scaled about its first corner as a line is about its start; fewer than 3 corners fill
// nothing.
void DrawFilledPolygon(const float* xy, int32_t n);

// Drawing state of the current 2-D graphics; each change goes to its driver at once.
void SetColor(int32_t red, int32_t green, int32_t blue);
void SetAlpha(float alpha);
void SetBlend(int32_t mode);
void SetClsColor(int32_t red, int32_t green, int32_t blue);
void SetLineWidth(float width);
void SetRotation(float degrees);
void SetScale(float scaleX, float scaleY);
void SetOrigin(float x, float y);
void SetHandle(float x, float y);
void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height);
void SetVirtualResolution(float width, float height);

// The hook run before every present (with no data); -1 until StartGraphics.
extern int32_t PresentHook;
// Bumped whenever graphics are opened, closed or the driver is selected; never 0.
extern int32_t GraphicsSequence;

// The caption of new windows; "Quorrel Application" unless the program sets another.
void SetAppTitle(const std::string& utf8);
const std::string& AppTitle();
