#include "app/look.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "app/debug_view.h"
#include "app/mouse.h"
#include "app/program.h"
#include "host/graphics.h"
#include "physics/debug_draw.h"
#include "physics/edit.h"

namespace {

constexpr const char* kLookNames[] = {"classic", "clear"};

constexpr DebugColor kBackground{22, 26, 34, 255};
constexpr DebugColor kImmovable{104, 108, 120, 255};
constexpr DebugColor kSpring{110, 225, 140, 255};
constexpr DebugColor kRope{225, 185, 120, 255};
constexpr DebugColor kStick{235, 235, 235, 255};
constexpr DebugColor kHeld{255, 150, 40, 255};
constexpr DebugColor kThrow{255, 200, 60, 255};
constexpr DebugColor kDrag{120, 110, 80, 255};

uint8_t Byte(float v) { return static_cast<uint8_t>(std::lround(std::fmin(255.0f, v))); }

// t of the way from a to b.
DebugColor Mix(DebugColor a, DebugColor b, float t) {
    auto one = [t](uint8_t x, uint8_t y) {
        return Byte(static_cast<float>(x) + (static_cast<float>(y) - static_cast<float>(x)) * t);
    };
    return {one(a.r, b.r), one(a.g, b.g), one(a.b, b.b), 255};
}

// A hue of its own for each body ID (golden-ratio steps round the colour wheel), mid saturation,
// so that neighbours differ and white lines and orange marks stand out on every one.
DebugColor HueOf(int32_t id) {
    const float turn = std::fmod(static_cast<float>(id) * 0.6180340f, 1.0f);
    // Each channel is a triangle wave round the wheel, a third of a turn apart, squeezed between
    // the darkest and the brightest value.
    auto channel = [turn](float offset) {
        const float t = std::fmod(turn + offset, 1.0f) * 6.0f;
        const float up = std::clamp(std::fabs(t - 3.0f) - 1.0f, 0.0f, 1.0f);
        return Byte((0.41f + 0.41f * up) * 255.0f);
    };
    return {channel(0.0f), channel(2.0f / 3.0f), channel(1.0f / 3.0f), 255};
}

// Every particle pinned: the body cannot move (a floor, a platform).
bool Immovable(const PhysicsBody& body) {
    if (!body.verlets) return false;
    bool any = false;
    for (const Verlet* v : body.verlets->fast<Verlet>()) {
        if (!IsPinned(*v)) return false;
        any = true;
    }
    return any;
}

DebugColor BodyFill(const PhysicsBody& body) {
    return Immovable(body) ? kImmovable : HueOf(body.ID);
}

DebugColor FillOf(void*, const PhysicsBody& body, DebugColor) { return BodyFill(body); }

DebugColor ConstraintColor(void* context, const constraint& c, const DebugConstraintInfo& info,
                           DebugColor) {
    const Grab& held = *static_cast<const Grab*>(context);
    if (held.Spring().get() == &c) return kHeld;
    const bool spring = c.elasticity < 1.0f;
    if (info.body == nullptr) return spring ? kSpring : kStick;
    if (!info.filled) return spring ? kSpring : kRope;
    const DebugColor fill = BodyFill(*info.body);
    if (info.collides) return Mix(fill, {255, 255, 255, 255}, 0.45f);  // its edge
    // Inside the fill: braces darker than it, springs a green shade of it.
    return spring ? Mix(fill, kSpring, 0.55f) : Mix(fill, {0, 0, 0, 255}, 0.3f);
}

}  // namespace

const char* LookName(Look look) {
    const auto i = static_cast<size_t>(look);
    return i < std::size(kLookNames) ? kLookNames[i] : "?";
}

bool LookFromName(std::string_view name, Look& look) {
    for (size_t i = 0; i < std::size(kLookNames); ++i) {
        if (name == kLookNames[i]) {
            look = static_cast<Look>(i);
            return true;
        }
    }
    return false;
}

Look NextLook(Look look) { return look == Look::kClassic ? Look::kClear : Look::kClassic; }

void DrawClearWorld(const PhysicsWorld& world, const Grab& held) {
    DebugStyle style;
    style.outline = DebugOutline::kEdgeLoop;
    style.bodyColor = &FillOf;
    style.constraintColor = &ConstraintColor;
    style.constraintColorContext = const_cast<Grab*>(&held);
    HostDebugDraw host;
    DrawWorld(world, host, DebugLayer::kBodies | DebugLayer::kConstraints | DebugLayer::kPinned,
              style);
    if (held.Holding()) {
        const Verlet& p = *held.Particle();
        constexpr float h = 5.0f;
        const float x = p.pos->x, y = p.pos->y;
        const float square[8] = {x - h, y - h, x + h, y - h, x + h, y + h, x - h, y + h};
        host.Outline(square, 4, kHeld);
    }
}

void DrawThrowPath(const PhysicsWorld& world, int32_t x0, int32_t y0, int32_t x, int32_t y,
                   int32_t divisor) {
    HostDebugDraw host;
    host.Line(static_cast<float>(x0), static_cast<float>(y0), static_cast<float>(x),
              static_cast<float>(y), kDrag);
    // the box starts where a release here would put it
    const float fx = ReleasePoint(x, world.Width), fy = ReleasePoint(y, world.Height);
    const float vx = ThrowSpeed(x - x0, divisor), vy = ThrowSpeed(y - y0, divisor);
    const float gx = world.gravity->x, gy = world.gravity->y;
    // After n steps from rest at the release: n v + g n (n + 1) / 2 (each step adds gravity to the
    // velocity, then the velocity to the position). One dash a frame at the demo's three steps a
    // frame, two steps long, for half a second: the gaps mark the frames.
    auto at = [&](int32_t n, float& px, float& py) {
        const auto f = static_cast<float>(n);
        px = fx + f * vx + gx * f * (f + 1.0f) / 2.0f;
        py = fy + f * vy + gy * f * (f + 1.0f) / 2.0f;
    };
    for (int32_t frame = 0; frame < 30; ++frame) {
        float ax = 0, ay = 0, bx = 0, by = 0;
        at(frame * kStepsPerFrame, ax, ay);
        at(frame * kStepsPerFrame + 2, bx, by);
        host.Line(ax, ay, bx, by, kThrow);
    }
}

void UseLookBackground(Look look) {
    static DebugColor classic;
    static bool kept = false;
    const TLumo2DGraphics* g = TLumo2DGraphics::Current();
    if (g == nullptr) return;
    if (look == Look::kClear) {
        if (!kept) {
            classic = {Byte(static_cast<float>(g->clscolor_red)),
                       Byte(static_cast<float>(g->clscolor_green)),
                       Byte(static_cast<float>(g->clscolor_blue)), 255};
            kept = true;
        }
        SetClsColor(kBackground.r, kBackground.g, kBackground.b);
    } else if (kept) {
        SetClsColor(classic.r, classic.g, classic.b);
    }
}
