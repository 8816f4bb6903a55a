#include "app/scene.h"

#include <array>

#include "physics/constraint.h"
#include "physics/verlet.h"

namespace {

struct Corner {
    float x;
    float y;
};

// Every constraint of the scene takes its rest length from where its ends stand.
Ref<constraint> Join(PhysicsWorld& world, const Ref<Verlet>& a, const Ref<Verlet>& b) {
    return constraint::Create(&world, a, b, 1.0f, 0.0f, -1.0f);
}

// One square body: corners P1..P4 clockwise on screen from the top-left, the four sides as
// collision edges, then the two braces, which do not collide. `braces` names the braces' ends
// as indices into the corners, first end first.
Ref<PhysicsBody> MakeSquare(PhysicsWorld& world, const std::array<Corner, 4>& corners, float mass,
                            uint8_t active, const std::array<std::array<int, 2>, 2>& braces) {
    std::array<Ref<Verlet>, 4> p;
    for (size_t i = 0; i < p.size(); ++i) {
        p[i] = Verlet::Create(&world, MakeVect(corners[i].x, corners[i].y), MakeVect(0.0f, 0.0f),
                              mass, active, 0);
    }
    std::array<Ref<constraint>, 4> edges;
    for (size_t i = 0; i < edges.size(); ++i) edges[i] = Join(world, p[i], p[(i + 1) % 4]);

    Ref<PhysicsBody> body = PhysicsBody::Create(&world);
    for (const Ref<Verlet>& v : p) body->addverlet(v, 1);
    for (const Ref<constraint>& c : edges) body->addconstraint(c, 1);
    for (const auto& [a, b] : braces) {
        body->addconstraint(Join(world, p[static_cast<size_t>(a)], p[static_cast<size_t>(b)]), 0);
    }
    return body;
}

Ref<PhysicsBody> CopyMoved(PhysicsBody& source, float dx, float dy) {
    Ref<PhysicsBody> copy = source.duplicate();
    copy->Move(Vect(dx, dy));
    return copy;
}

}  // namespace

Ref<PhysicsBody> BuildScene(PhysicsWorld& world) {
    // The floor: inactive and at rest, so it never moves. Braces P1-P3, P2-P4.
    MakeSquare(world, {{{10.0f, 590.0f}, {790.0f, 590.0f}, {790.0f, 600.0f}, {10.0f, 600.0f}}},
               kFloorMass, 0, {{{0, 2}, {1, 3}}});
    // The template box, bottom-left of the pyramid. Braces P4-P2, P3-P1.
    Ref<PhysicsBody> templateBox = MakeSquare(
        world, {{{100.0f, 530.0f}, {150.0f, 530.0f}, {150.0f, 580.0f}, {100.0f, 580.0f}}}, kBoxMass,
        1, {{{3, 1}, {2, 0}}});

    // Row 1: each box is a copy of the one made just before it.
    Ref<PhysicsBody> last = templateBox;
    for (int32_t k = 1; k < kPyramidRows; ++k) last = CopyMoved(*last, kRowStepX, 0.0f);

    // Rows 2 to 9: the row's first box copies the previous row's first box; the rest copy the
    // row's first box, moved by whole steps.
    Ref<PhysicsBody> rowFirst = templateBox;
    for (int32_t r = 2; r <= kPyramidRows; ++r) {
        rowFirst = CopyMoved(*rowFirst, kRowRiseX, kRowRiseY);
        for (int32_t k = 1; k <= kPyramidRows - r; ++k) {
            CopyMoved(*rowFirst, kRowStepX * static_cast<float>(k), 0.0f);
        }
    }
    return templateBox;
}
