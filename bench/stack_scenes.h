#pragma once
// The stacks the benchmarks and the standing check build, the demo's way: 50 x 50 boxes of four
// particles, four colliding sides and two braces, on an inactive floor 10 pixels below them.

#include <cstdint>
#include <memory>

#include "physics/body.h"
#include "physics/constraint.h"
#include "physics/verlet.h"
#include "physics/world.h"

namespace bench {

inline constexpr int32_t kIterations = 5;  // the demo's CONSTRAINT_ITERATIONS

// A scene and what the runs need of it: the template of the throws and the box on top.
struct Scene {
    Ref<PhysicsWorld> world;
    Ref<PhysicsBody> templateBox;
    Ref<PhysicsBody> top;
};

// The registries are made anew for every scene, so that an earlier scene's world is released
// when the next one is built.
inline Scene NewWorld(float width, float height) {
    WorldList = std::make_shared<TList>();
    FunctionPtrList = std::make_shared<TList>();
    Scene s;
    s.world = PhysicsWorld::Create(width, height, 1);
    s.world->CONSTRAINT_ITERATIONS = kIterations;
    return s;
}

// One square body the way the demo makes its boxes: corners clockwise from the top-left, the four
// sides as collision edges, then two braces that do not collide.
inline Ref<PhysicsBody> Square(PhysicsWorld* w, float x0, float y0, float x1, float y1, float mass,
                               uint8_t active, const int (&braces)[2][2]) {
    const float xy[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    Ref<Verlet> p[4];
    for (int i = 0; i < 4; ++i) {
        p[i] =
            Verlet::Create(w, MakeVect(xy[i][0], xy[i][1]), MakeVect(0.0f, 0.0f), mass, active, 0);
    }
    Ref<constraint> edges[4];
    for (int i = 0; i < 4; ++i) edges[i] = constraint::Create(w, p[i], p[(i + 1) % 4], 1, 0, -1);
    Ref<PhysicsBody> b = PhysicsBody::Create(w);
    for (const Ref<Verlet>& v : p) b->addverlet(v, 1);
    for (const Ref<constraint>& c : edges) b->addconstraint(c, 1);
    for (const auto& br : braces) {
        b->addconstraint(constraint::Create(w, p[br[0]], p[br[1]], 1, 0, -1), 0);
    }
    return b;
}

// A pyramid with `rows` boxes in its bottom row, built like the demo's (the 50 x 50 box, 70 apart,
// each row 35 right and 62 up, every box a duplicate moved into place) on an inactive floor as
// wide as the base, 10 pixels below it.
inline Scene Pyramid(int32_t rows) {
    const float left = 100.0f;
    const float baseWidth = 70.0f * static_cast<float>(rows - 1) + 50.0f;
    const float height = 62.0f * static_cast<float>(rows) + 100.0f;
    Scene s = NewWorld(left + baseWidth + 100.0f, height);
    PhysicsWorld* w = s.world.get();
    const float floorTop = height - 10.0f;
    Square(w, left, floorTop, left + baseWidth, height, 99999.0f, 0, {{0, 2}, {1, 3}});
    s.templateBox = Square(w, left, floorTop - 60.0f, left + 50.0f, floorTop - 10.0f, 1.0f, 1,
                           {{3, 1}, {2, 0}});
    s.top = s.templateBox;
    Ref<PhysicsBody> last = s.templateBox;
    for (int32_t k = 1; k < rows; ++k) {
        last = last->duplicate();
        last->Move(Vect(70.0f, 0.0f));
    }
    Ref<PhysicsBody> rowFirst = s.templateBox;
    for (int32_t r = 2; r <= rows; ++r) {
        rowFirst = rowFirst->duplicate();
        rowFirst->Move(Vect(35.0f, -62.0f));
        s.top = rowFirst;
        for (int32_t k = 1; k <= rows - r; ++k) {
            rowFirst->duplicate()->Move(Vect(70.0f * static_cast<float>(k), 0.0f));
        }
    }
    return s;
}

// A straight tower of `boxes` boxes, one above the other 12 pixels apart, in an 800-wide world
// on a floor across it.
inline Scene Tower(int32_t boxes) {
    const float height = 62.0f * static_cast<float>(boxes) + 200.0f;
    Scene s = NewWorld(800.0f, height);
    PhysicsWorld* w = s.world.get();
    const float floorTop = height - 10.0f;
    Square(w, 10.0f, floorTop, 790.0f, height, 99999.0f, 0, {{0, 2}, {1, 3}});
    for (int32_t r = 0; r < boxes; ++r) {
        const float y1 = floorTop - 10.0f - 62.0f * static_cast<float>(r);
        s.top = Square(w, 375.0f, y1 - 50.0f, 425.0f, y1, 1.0f, 1, {{3, 1}, {2, 0}});
    }
    s.templateBox = s.top;
    return s;
}

}  // namespace bench
