// Builds the built-in scenes with the physics library's own calls and writes each as a scene
// file, the same text the programs write when they save:
//
//   make-scenes DIR          writes DIR/NAME.json for every scene
//
// The files in this folder are its output; a test checks that they still are. Every scene is an
// 800 x 600 world whose mouse throws copy a template body; in most scenes the template is a box
// kept out of the world (it is not drawn and does not move), so throws are always fresh boxes.

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/program.h"
#include "app/scene.h"
#include "app/scene_file.h"
#include "physics/constraint.h"
#include "physics/edit.h"
#include "physics/verlet.h"

namespace {

constexpr float kWidth = 800.0f;
constexpr float kHeight = 600.0f;
constexpr float kStatic = 99999.0f;  // the mass of things that never move, as the demo's floor

Ref<PhysicsWorld> NewWorld(int32_t iterations) {
    Ref<PhysicsWorld> w = PhysicsWorld::Create(kWidth, kHeight, 1);
    w->CONSTRAINT_ITERATIONS = iterations;
    return w;
}

Ref<Verlet> Particle(PhysicsWorld& w, float x, float y, float mass, uint8_t active = 1) {
    return Verlet::Create(&w, MakeVect(x, y), MakeVect(0.0f, 0.0f), mass, active, 0);
}

// A constraint at its present length.
Ref<constraint> Join(PhysicsWorld& w, const Ref<Verlet>& a, const Ref<Verlet>& b,
                     float elasticity = 1.0f, float breakPoint = 0.0f) {
    return constraint::Create(&w, a, b, elasticity, breakPoint, -1.0f);
}

// A box as the demo makes them: corners clockwise from the top-left, four colliding sides, two
// braces that do not collide. Added to `body` when given, else to a new body of its own.
Ref<PhysicsBody> Box(PhysicsWorld& w, float x, float y, float width, float height, float mass,
                     uint8_t active = 1, Ref<PhysicsBody> body = nullptr) {
    std::array<Ref<Verlet>, 4> p = {
        Particle(w, x, y, mass, active), Particle(w, x + width, y, mass, active),
        Particle(w, x + width, y + height, mass, active), Particle(w, x, y + height, mass, active)};
    if (!body) body = PhysicsBody::Create(&w);
    for (const Ref<Verlet>& v : p) body->addverlet(v, 1);
    for (size_t i = 0; i < 4; ++i) body->addconstraint(Join(w, p[i], p[(i + 1) % 4]), 1);
    body->addconstraint(Join(w, p[0], p[2]), 0);
    body->addconstraint(Join(w, p[1], p[3]), 0);
    return body;
}

Ref<PhysicsBody> Floor(PhysicsWorld& w) { return Box(w, 10.0f, 590.0f, 780.0f, 10.0f, kStatic, 0); }

// The template of the throws: a box made last and taken out of the world again (its particles
// are the last in the arrays, so no other slot moves).
Ref<PhysicsBody> HiddenTemplate(PhysicsWorld& w, float size, float mass) {
    Ref<PhysicsBody> t = Box(w, 20.0f, 20.0f, size, size, mass);
    t->remove();
    return t;
}

// Two chains hanging from fixed points, each with a weight at its end; one starts out to the
// side so that it swings. Throw boxes at them.
SceneData Chain() {
    Ref<PhysicsWorld> w = NewWorld(5);
    Floor(*w);
    const int32_t links = 22;
    const float step = 14.0f;
    for (int32_t c = 0; c < 2; ++c) {
        const float ax = c == 0 ? 280.0f : 520.0f;
        const float ay = 40.0f;
        // The second chain starts at 50 degrees from the vertical.
        const float angle = c == 0 ? 0.0f : 0.87f;
        const float dx = step * std::sin(angle);
        const float dy = step * std::cos(angle);
        Ref<PhysicsBody> body = PhysicsBody::Create(w.get());
        Ref<Verlet> last = Particle(*w, ax, ay, kStatic, 0);
        body->addverlet(last, 1);
        for (int32_t i = 1; i <= links; ++i) {
            Ref<Verlet> v = Particle(*w, ax + dx * static_cast<float>(i),
                                     ay + dy * static_cast<float>(i), 1.0f);
            body->addverlet(v, 1);
            body->addconstraint(Join(*w, last, v), 1);
            last = v;
        }
        // The weight: a box hung by its two top corners from the last link.
        const float bx = last->pos->x - 16.0f;
        const float by = last->pos->y + 14.0f;
        Box(*w, bx, by, 32.0f, 32.0f, 3.0f, 1, body);
        auto corner = [&](int32_t k) {
            return std::static_pointer_cast<Verlet>(
                w->VerletArray->Getbyindex(w->VerletArray->last - 4 + k));
        };
        body->addconstraint(Join(*w, last, corner(0)), 0);
        body->addconstraint(Join(*w, last, corner(1)), 0);
    }
    Ref<PhysicsBody> t = HiddenTemplate(*w, 40.0f, 1.0f);
    return CaptureScene(*w, *t);
}

// A scene of one cloth over the floor: cols x rows particles `step` apart from (x0, y0), one
// body, pinned along its top row; its threads run along the rows and the columns and break when
// stretched 4 pixels past their length. Thrown boxes are heavy against the light cloth.
SceneData ClothScene(int32_t iterations, int32_t cols, int32_t rows, float step, float x0, float y0,
                     float mass) {
    constexpr float kTear = 4.0f;
    Ref<PhysicsWorld> world = NewWorld(iterations);
    PhysicsWorld& w = *world;
    Floor(w);
    Ref<PhysicsBody> body = PhysicsBody::Create(&w);
    std::vector<Ref<Verlet>> p;
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols; ++c) {
            p.push_back(Particle(w, x0 + step * static_cast<float>(c),
                                 y0 + step * static_cast<float>(r), mass, r == 0 ? 0 : 1));
            body->addverlet(p.back(), 1);
        }
    }
    auto at = [&](int32_t r, int32_t c) { return p[static_cast<size_t>(r * cols + c)]; };
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols; ++c) {
            if (c + 1 < cols) body->addconstraint(Join(w, at(r, c), at(r, c + 1), 1.0f, kTear), 0);
            if (r + 1 < rows) body->addconstraint(Join(w, at(r, c), at(r + 1, c), 1.0f, kTear), 0);
        }
    }
    Ref<PhysicsBody> t = HiddenTemplate(w, 40.0f, 4.0f);
    return CaptureScene(w, *t);
}

// A cloth pinned along its top edge. Its threads break when stretched 4 pixels past their
// length (hanging stretches them less than 1), so a box thrown into it tears a hole; its
// particles collide, its threads do not. The thrown boxes are heavy against the light cloth.
SceneData Cloth() { return ClothScene(10, 25, 15, 16.0f, 208.0f, 40.0f, 0.25f); }

// Soft balls: rings of particles round a centre, held round by soft spokes and by braces that
// keep the rim from folding; they squash on landing and spring back.
SceneData SoftBodies() {
    Ref<PhysicsWorld> w = NewWorld(5);
    Floor(*w);
    struct Ring {
        float x, y, radius;
    };
    const Ring rings[] = {{150.0f, 420.0f, 40.0f},
                          {300.0f, 300.0f, 34.0f},
                          {460.0f, 380.0f, 44.0f},
                          {620.0f, 250.0f, 36.0f},
                          {380.0f, 120.0f, 30.0f}};
    for (const Ring& ring : rings) MakeBall(*w, ring.x, ring.y, ring.radius);
    Ref<PhysicsBody> t = HiddenTemplate(*w, 40.0f, 1.0f);
    return CaptureScene(*w, *t);
}

// Weights hung on ropes from fixed points, to cut: three boxes, each on two ropes in a V.
SceneData Ropes() {
    Ref<PhysicsWorld> w = NewWorld(10);
    Floor(*w);
    const float xs[] = {200.0f, 400.0f, 600.0f};
    const float drops[] = {260.0f, 340.0f, 220.0f};
    for (int32_t i = 0; i < 3; ++i) {
        const float x = xs[i], y = drops[i];
        Ref<PhysicsBody> box = MakeBox(*w, x - 20.0f, y, x + 20.0f, y + 40.0f, 2.0f);
        TListEnum corners = box->verlets->ObjectEnumerator();
        const Ref<Verlet> left = ObjectCast<Verlet>(corners.NextObject());
        const Ref<Verlet> right = ObjectCast<Verlet>(corners.NextObject());
        MakeRope(*w, x - 70.0f, 40.0f, left->pos->x, left->pos->y, nullptr, left, 0.5f);
        MakeRope(*w, x + 70.0f, 40.0f, right->pos->x, right->pos->y, nullptr, right, 0.5f);
    }
    Ref<PhysicsBody> t = HiddenTemplate(*w, 40.0f, 1.0f);
    return CaptureScene(*w, *t);
}

// A figure of sticks hanging by its head from a rope: cut the rope and it drops in a heap.
SceneData Ragdoll() {
    Ref<PhysicsWorld> w = NewWorld(10);
    Floor(*w);
    Ref<PhysicsBody> body = PhysicsBody::Create(w.get());
    auto joint = [&](float x, float y) {
        Ref<Verlet> v = Particle(*w, x, y, 1.0f);
        body->addverlet(v, 1);
        return v;
    };
    auto bone = [&](const Ref<Verlet>& a, const Ref<Verlet>& b) {
        body->addconstraint(Join(*w, a, b), 1);
    };
    auto brace = [&](const Ref<Verlet>& a, const Ref<Verlet>& b) {
        body->addconstraint(Join(*w, a, b), 0);
    };
    const float cx = 400.0f, top = 140.0f;
    const Ref<Verlet> head = joint(cx, top);
    const Ref<Verlet> neck = joint(cx, top + 30.0f);
    const Ref<Verlet> shoulderL = joint(cx - 22.0f, top + 36.0f);
    const Ref<Verlet> shoulderR = joint(cx + 22.0f, top + 36.0f);
    const Ref<Verlet> hipL = joint(cx - 14.0f, top + 110.0f);
    const Ref<Verlet> hipR = joint(cx + 14.0f, top + 110.0f);
    const Ref<Verlet> elbowL = joint(cx - 30.0f, top + 76.0f);
    const Ref<Verlet> elbowR = joint(cx + 30.0f, top + 76.0f);
    const Ref<Verlet> handL = joint(cx - 34.0f, top + 116.0f);
    const Ref<Verlet> handR = joint(cx + 34.0f, top + 116.0f);
    const Ref<Verlet> kneeL = joint(cx - 16.0f, top + 160.0f);
    const Ref<Verlet> kneeR = joint(cx + 16.0f, top + 160.0f);
    const Ref<Verlet> footL = joint(cx - 18.0f, top + 210.0f);
    const Ref<Verlet> footR = joint(cx + 18.0f, top + 210.0f);
    bone(head, neck);
    bone(neck, shoulderL);
    bone(neck, shoulderR);
    bone(shoulderL, hipL);
    bone(shoulderR, hipR);
    bone(hipL, hipR);
    bone(shoulderL, elbowL);
    bone(elbowL, handL);
    bone(shoulderR, elbowR);
    bone(elbowR, handR);
    bone(hipL, kneeL);
    bone(kneeL, footL);
    bone(hipR, kneeR);
    bone(kneeR, footR);
    // The torso keeps its shape: braced across both ways, and the head held upright.
    brace(shoulderL, hipR);
    brace(shoulderR, hipL);
    brace(shoulderL, shoulderR);
    brace(head, shoulderL);
    brace(head, shoulderR);
    MakeRope(*w, cx, 40.0f, head->pos->x, head->pos->y, nullptr, head, 0.5f);
    Ref<PhysicsBody> t = HiddenTemplate(*w, 40.0f, 1.0f);
    return CaptureScene(*w, *t);
}

// A large cloth pinned along its top edge, light and finely woven, whose threads break when
// stretched 4 pixels past their length: cut shapes out of it, or tear it with thrown boxes.
SceneData Sheet() { return ClothScene(16, 41, 30, 12.0f, 160.0f, 30.0f, 0.1f); }

// A deck of planks across the gap between two platforms, hinged plank to plank, with a few
// boxes dropped onto it.
SceneData Bridge() {
    Ref<PhysicsWorld> w = NewWorld(8);
    Floor(*w);
    Box(*w, 10.0f, 420.0f, 170.0f, 168.0f, kStatic, 0);
    Box(*w, 620.0f, 420.0f, 170.0f, 168.0f, kStatic, 0);
    Ref<PhysicsBody> deck = PhysicsBody::Create(w.get());
    const int32_t columns = 21;
    const float x0 = 180.0f, x1 = 620.0f, top = 400.0f, depth = 10.0f;
    std::vector<Ref<Verlet>> up, down;
    for (int32_t k = 0; k < columns; ++k) {
        const float x = x0 + (x1 - x0) * static_cast<float>(k) / static_cast<float>(columns - 1);
        const uint8_t active = (k == 0 || k == columns - 1) ? 0 : 1;
        const float mass = active ? 1.0f : kStatic;
        up.push_back(Particle(*w, x, top, mass, active));
        down.push_back(Particle(*w, x, top + depth, mass, active));
        deck->addverlet(up.back(), 1);
        deck->addverlet(down.back(), 1);
    }
    for (size_t k = 0; k < up.size(); ++k) {
        deck->addconstraint(Join(*w, up[k], down[k]), 0);
        if (k + 1 == up.size()) break;
        deck->addconstraint(Join(*w, up[k], up[k + 1]), 1);
        deck->addconstraint(Join(*w, down[k], down[k + 1]), 1);
        // A plank is braced both ways; the cell between two planks is left free, as a hinge.
        if (k % 2 == 0) {
            deck->addconstraint(Join(*w, up[k], down[k + 1]), 0);
            deck->addconstraint(Join(*w, down[k], up[k + 1]), 0);
        }
    }
    for (int32_t i = 0; i < 4; ++i) {
        Box(*w, 230.0f + 100.0f * static_cast<float>(i), 250.0f - 40.0f * static_cast<float>(i),
            36.0f, 36.0f, 1.0f);
    }
    Ref<PhysicsBody> t = HiddenTemplate(*w, 40.0f, 1.0f);
    return CaptureScene(*w, *t);
}

// Three tall towers of boxes, standing in the stable step until hit (the default step lets them
// sway and topple within a few seconds). Each box stands 12 pixels (the contact distance) above
// the one below and 12 pixels to the side, alternately, so that corners rest on edges.
SceneData Tower() {
    Ref<PhysicsWorld> w = NewWorld(5);
    w->stepMode = StepMode::kStable;
    Floor(*w);
    const int32_t heights[] = {9, 7, 8};
    for (int32_t t = 0; t < 3; ++t) {
        for (int32_t r = 0; r < heights[t]; ++r) {
            Box(*w, 290.0f + 160.0f * static_cast<float>(t) + (r % 2 == 0 ? 0.0f : 12.0f),
                530.0f + kRowRiseY * static_cast<float>(r), 50.0f, 50.0f, kBoxMass);
        }
    }
    Ref<PhysicsBody> t = HiddenTemplate(*w, 40.0f, 2.0f);
    return CaptureScene(*w, *t);
}

// A hundred and eighty small boxes stacked in rows: a load for the collision pass. The block
// stands in the middle of the floor, with the upper half of the window and a strip on either side
// left free to throw into.
SceneData Crowd() {
    Ref<PhysicsWorld> w = NewWorld(5);
    w->stepMode = StepMode::kStable;
    Floor(*w);
    constexpr int32_t kRows = 10, kColumns = 18;
    const float size = 20.0f, pitch = 32.0f;
    const float left = (800.0f - pitch * static_cast<float>(kColumns)) / 2.0f;
    for (int32_t r = 0; r < kRows; ++r) {
        for (int32_t c = 0; c < kColumns; ++c) {
            Box(*w, left + pitch * static_cast<float>(c) + (r % 2 == 0 ? 0.0f : 6.0f),
                560.0f - pitch * static_cast<float>(r), size, size, 1.0f);
        }
    }
    Ref<PhysicsBody> t = HiddenTemplate(*w, 30.0f, 2.0f);
    return CaptureScene(*w, *t);
}

// The demo's own pyramid, as the program builds it without --scene.
SceneData Pyramid() {
    Ref<PhysicsWorld> w = NewWorld(kConstraintIterations);
    Ref<PhysicsBody> t = BuildScene(*w);
    return CaptureScene(*w, *t);
}

// Stacks that stand in the stable step: a pyramid of twelve rows of small boxes and a wall of
// bricks laid in a running bond, each whole brick on two below.
SceneData Stacks() {
    Ref<PhysicsWorld> w = NewWorld(5);
    w->stepMode = StepMode::kStable;
    Floor(*w);
    const int32_t rows = 12;
    const float box = 30.0f, pitch = 42.0f;  // 12 pixels apart: the contact distance
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t k = 0; k < rows - r; ++k) {
            Box(*w, 20.0f + pitch * (static_cast<float>(k) + 0.5f * static_cast<float>(r)),
                548.0f - pitch * static_cast<float>(r), box, box, kBoxMass);
        }
    }
    // Rows of three bricks alternate with rows of two between half bricks, 12 pixels apart.
    const float left = 580.0f, brickH = 20.0f, stepY = 32.0f;
    for (int32_t r = 0; r < 15; ++r) {
        const float y = 558.0f - stepY * static_cast<float>(r);
        if (r % 2 == 0) {
            for (int32_t k = 0; k < 3; ++k) {
                Box(*w, left + 62.0f * static_cast<float>(k), y, 50.0f, brickH, kBoxMass);
            }
        } else {
            Box(*w, left, y, 19.0f, brickH, kBoxMass);
            Box(*w, left + 31.0f, y, 50.0f, brickH, kBoxMass);
            Box(*w, left + 93.0f, y, 50.0f, brickH, kBoxMass);
            Box(*w, left + 155.0f, y, 19.0f, brickH, kBoxMass);
        }
    }
    Ref<PhysicsBody> t = HiddenTemplate(*w, 40.0f, 2.0f);
    return CaptureScene(*w, *t);
}

struct Maker {
    const char* name;
    SceneData (*make)();
};

constexpr Maker kMakers[] = {{"bridge", Bridge}, {"chain", Chain},     {"cloth", Cloth},
                             {"crowd", Crowd},   {"pyramid", Pyramid}, {"ragdoll", Ragdoll},
                             {"ropes", Ropes},   {"sheet", Sheet},     {"softbodies", SoftBodies},
                             {"stacks", Stacks}, {"tower", Tower}};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-scenes DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    for (const Maker& m : kMakers) {
        const std::filesystem::path file = dir / (std::string(m.name) + ".json");
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << WriteScene(m.make());
        out.close();
        if (!out) {
            std::fprintf(stderr, "make-scenes: cannot write %s\n", file.c_str());
            return 1;
        }
    }
    return 0;
}
