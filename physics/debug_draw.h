#pragma once
// Debug views of a world: its constraints, particles, pinned particles, bodies' boxes and fills,
// and the body pairs the last collision pass tested, drawn through a small drawing interface that
// a program maps onto its own graphics. One call draws the layers asked for; a style gives each
// layer its colour and may choose a colour per body. Drawing reads the world and changes nothing.

#include <cstdint>

class PhysicsBody;
class PhysicsWorld;
class constraint;

// 0..255 per component; alpha 255 is opaque.
struct DebugColor {
    uint8_t r = 255;
    uint8_t g = 255;
    uint8_t b = 255;
    uint8_t a = 255;
    bool operator==(const DebugColor&) const = default;
};

// Where the views go. Positions are the world's own.
class DebugDraw {
  public:
    virtual ~DebugDraw() = default;
    // A segment, both ends lit.
    virtual void Line(float x0, float y0, float x1, float y1, DebugColor color) = 0;
    // A closed outline of n corners, xy holding x0, y0, x1, y1, ... in order: the segments from
    // each corner to the next and from the last back to the first, each corner lit once (where
    // light adds up, a corner lit twice would show).
    virtual void Outline(const float* xy, int32_t n, DebugColor color) = 0;
    // One pixel.
    virtual void Point(float x, float y, DebugColor color) = 0;
    // A filled convex polygon of n >= 3 corners, xy holding x0, y0, x1, y1, ... in order round it.
    virtual void FillPolygon(const float* xy, int32_t n, DebugColor color) = 0;
};

// The layers, combined with |. Drawn in this order, so that later ones lie on top.
enum class DebugLayer : uint32_t {
    kNone = 0,
    kBodies = 1u << 0,       // each body filled inside its outline (DebugStyle::outline)
    kConstraints = 1u << 1,  // every constraint of the world, in list order
    kBoxes = 1u << 2,        // each body's box (its bounding box padded by the collision radius)
    kPairs = 1u << 3,        // the pairs the last collision pass tested, centre to centre
    kParticles = 1u << 4,    // every particle, a small cross
    kPinned = 1u << 5,       // the particles that do not move (inactive), a small square
};
constexpr DebugLayer operator|(DebugLayer a, DebugLayer b) {
    return static_cast<DebugLayer>(static_cast<uint32_t>(a) | static_cast<uint32_t>(b));
}
constexpr DebugLayer operator&(DebugLayer a, DebugLayer b) {
    return static_cast<DebugLayer>(static_cast<uint32_t>(a) & static_cast<uint32_t>(b));
}
constexpr bool Has(DebugLayer layers, DebugLayer layer) {
    return (layers & layer) != DebugLayer::kNone;
}

// Where a body's outline, the edge of its fill, comes from.
enum class DebugOutline : uint8_t {
    kParticleOrder,  // its particles in list order
    // The loops its colliding constraints close, each filled: a box's four sides, a ball's rim,
    // each box of a body of several. Open runs (a rope, a chain's links, a stick) and loops
    // through a particle that ends more than two of them (a cloth's mesh) are not filled.
    kEdgeLoop,
};

// What the drawing knows of a constraint when it asks for its colour.
struct DebugConstraintInfo {
    const PhysicsBody* body = nullptr;  // the first body in list order that lists it; none
    bool collides = false;              // listed among that body's colliding constraints
    bool filled = false;                // that body was filled, in part or whole (kBodies)
};

// How the layers look. The defaults are the sandbox's.
struct DebugStyle {
    DebugColor constraint{255, 255, 255, 255};
    DebugColor particle{255, 210, 0, 255};
    DebugColor pinned{255, 90, 200, 255};
    DebugColor box{0, 170, 0, 255};
    DebugColor pair{255, 70, 70, 255};
    DebugColor body{90, 110, 140, 255};
    float particleArm = 2.0f;  // half the cross's width; 0 draws each particle as one point
    float pinnedHalf = 3.0f;   // half the square's side
    // A body's fill, when set: called for each body filled, in list order, with the context and
    // the default fill; what it returns is used.
    DebugColor (*bodyColor)(void* context, const PhysicsBody& body, DebugColor fill) = nullptr;
    void* bodyColorContext = nullptr;
    DebugOutline outline = DebugOutline::kParticleOrder;
    // A constraint's colour, when set: called for each constraint drawn, in list order, with the
    // context, what the drawing knows of it and the default colour; what it returns is used, and a
    // constraint whose colour comes back with alpha 0 is not drawn.
    DebugColor (*constraintColor)(void* context, const ::constraint& c,
                                  const DebugConstraintInfo& info, DebugColor line) = nullptr;
    void* constraintColorContext = nullptr;
};

// Draws the layers asked for.
void DrawWorld(const PhysicsWorld& world, DebugDraw& draw, DebugLayer layers,
               const DebugStyle& style = {});

// How many pairs of bodies the last collision pass tested: those whose boxes overlapped, as the
// pass read them (none before the first pass). The pass knows bodies by their places in the list;
// drawing joins the bodies now at those places and skips places the list no longer has.
int32_t TestedPairCount(const PhysicsWorld& world);
