// The stable step: stacks stand and boxes keep their shape, thrown boxes fly at their speed,
// constraints break and walls hold, and nothing but the world's own numbers carries from one step
// to the next.

#include "physics/stable_step.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bench/stack_scenes.h"
#include "physics/internal/step_cache.h"
#include "physics_fixture.h"
#include "runtime/error.h"

namespace {

class StableStepTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        w->CONSTRAINT_ITERATIONS = 5;
        w->stepMode = StepMode::kStable;
    }

    // A box the demo's way: corners clockwise from the top-left, four colliding sides, two braces.
    Ref<PhysicsBody> Box(float x, float y, float size, float mass = 1.0f, uint8_t active = 1) {
        Ref<Verlet> p[4] = {Particle(x, y, 0, 0, mass, active),
                            Particle(x + size, y, 0, 0, mass, active),
                            Particle(x + size, y + size, 0, 0, mass, active),
                            Particle(x, y + size, 0, 0, mass, active)};
        auto b = PhysicsBody::Create(w);
        for (auto& v : p) b->addverlet(v, 1);
        for (int i = 0; i < 4; ++i) {
            b->addconstraint(constraint::Create(w, p[i], p[(i + 1) % 4], 1, 0, -1), 1);
        }
        b->addconstraint(constraint::Create(w, p[0], p[2], 1, 0, -1), 0);
        b->addconstraint(constraint::Create(w, p[1], p[3], 1, 0, -1), 0);
        b->UpdatePosition();
        return b;
    }

    void Floor(float x0 = 10.0f, float x1 = 790.0f, float y0 = 590.0f, float y1 = 600.0f) {
        auto f = PhysicsBody::Create(w);
        Ref<Verlet> p[4] = {Particle(x0, y0, 0, 0, 99999, 0), Particle(x1, y0, 0, 0, 99999, 0),
                            Particle(x1, y1, 0, 0, 99999, 0), Particle(x0, y1, 0, 0, 99999, 0)};
        for (auto& v : p) f->addverlet(v, 1);
        for (int i = 0; i < 4; ++i) {
            f->addconstraint(constraint::Create(w, p[i], p[(i + 1) % 4], 1, 0, -1), 1);
        }
    }

    // A pyramid of `rows` 50-pixel boxes built as the demo builds its own: 70 apart, each row 35
    // right and 62 up; returns the top box.
    Ref<PhysicsBody> Pyramid(int rows) {
        Floor();
        Ref<PhysicsBody> top;
        for (int r = 0; r < rows; ++r) {
            for (int k = 0; k < rows - r; ++k) {
                top = Box(20.0f + 35.0f * static_cast<float>(r) + 70.0f * static_cast<float>(k),
                          530.0f - 62.0f * static_cast<float>(r), 50.0f);
            }
        }
        return top;
    }

    void Steps(int n) {
        for (int i = 0; i < n; ++i) StepWorld(*w);
    }

    // The farthest any constraint is from its rest length.
    float WorstSide() const {
        float worst = 0.0f;
        for (constraint* c : w->ConstraintList->each<constraint>()) {
            const float dx = c->v1->pos->x - c->v2->pos->x;
            const float dy = c->v1->pos->y - c->v2->pos->y;
            worst = std::fmax(worst, std::fabs(std::sqrt(dx * dx + dy * dy) - c->OriginalLength));
        }
        return worst;
    }

    std::vector<float> State() const {
        std::vector<float> out;
        for (Verlet* v : w->VerletList->each<Verlet>()) {
            for (const Vect* x : {v->pos.get(), v->oldpos.get(), v->vel.get()}) {
                out.push_back(x->x);
                out.push_back(x->y);
            }
        }
        return out;
    }
};

TEST_F(StableStepTest, PyramidStandsWithSquareBoxes) {
    Ref<PhysicsBody> top = Pyramid(9);
    const float x0 = top->Pos->x;
    const float y0 = top->Pos->y;
    Steps(1500);
    // the floor, 10 pixels below the bottom row, lifts it by the 2 pixels it stands into them
    EXPECT_LT(std::hypot(top->Pos->x - x0, top->Pos->y - y0), 3.0f);
    EXPECT_LT(WorstSide(), 1.0f);
}

// A straight tower stands in the stable step and falls in the default one, so the check can fail.
TEST_F(StableStepTest, StraightTowerStandsWhereTheDefaultStepTopplesIt) {
    for (StepMode mode : {StepMode::kStable, StepMode::kDefault}) {
        SetUp();
        w->stepMode = mode;
        Floor();
        Ref<PhysicsBody> top;
        for (int r = 0; r < 8; ++r)
            top = Box(375.0f, 530.0f - 62.0f * static_cast<float>(r), 50.0f);
        const float x0 = top->Pos->x;
        const float y0 = top->Pos->y;
        Steps(3000);
        const float drift = std::hypot(top->Pos->x - x0, top->Pos->y - y0);
        if (mode == StepMode::kStable) {
            EXPECT_LT(drift, 3.0f);
            EXPECT_LT(WorstSide(), 1.0f);
        } else {
            EXPECT_GT(drift, 50.0f);
        }
    }
}

// With contact damping a 40-row pyramid of the demo's boxes, in a world made for it, settles and
// stays still: every box where it was built and in shape, none moving once settled. The plain
// stable step holds it up too but keeps it swaying, so the check can fail.
TEST_F(StableStepTest, DampedContactsHoldATallPyramidStill) {
    constexpr int kRows = 40;
    for (float damping : {0.05f, 0.0f}) {
        SetUp();
        world = PhysicsWorld::Create(70.0f * kRows + 200.0f, 62.0f * kRows + 100.0f, 1);
        w = world.get();
        w->CONSTRAINT_ITERATIONS = 5;
        w->stepMode = StepMode::kStable;
        w->contactDamping = damping;
        const float floorTop = w->Height - 10.0f;
        Floor(100.0f, 100.0f + 70.0f * (kRows - 1) + 50.0f, floorTop, w->Height);
        std::vector<Ref<PhysicsBody>> boxes;
        for (int r = 0; r < kRows; ++r) {
            for (int k = 0; k < kRows - r; ++k) {
                boxes.push_back(
                    Box(100.0f + 35.0f * static_cast<float>(r) + 70.0f * static_cast<float>(k),
                        floorTop - 60.0f - 62.0f * static_cast<float>(r), 50.0f));
            }
        }
        std::vector<float> built;  // x, y per box
        for (const auto& b : boxes) built.insert(built.end(), {b->Pos->x, b->Pos->y});
        float fastest = 0.0f;  // over the last 200 steps
        for (int i = 0; i < 400; ++i) {
            StepWorld(*w);
            if (i < 200) continue;
            for (const auto& b : boxes)
                fastest = std::fmax(fastest, std::hypot(b->Vel->x, b->Vel->y));
        }
        if (damping == 0.0f) {
            EXPECT_GT(fastest, 0.045f) << "the plain stable step sways";
            continue;
        }
        EXPECT_LT(fastest, 0.045f);
        float farthest = 0.0f;
        for (size_t i = 0; i < boxes.size(); ++i) {
            farthest = std::fmax(farthest, std::hypot(boxes[i]->Pos->x - built[2 * i],
                                                      boxes[i]->Pos->y - built[2 * i + 1]));
        }
        EXPECT_LT(farthest, 8.0f) << "a box left its place";
        EXPECT_LT(WorstSide(), 1.0f);
    }
}

TEST_F(StableStepTest, HeapOfBoxesKeepsThemInShapeAndInsideTheWorld) {
    Floor();
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 16; ++c) {
            Box(30.0f + 46.0f * static_cast<float>(c) + (r % 2 == 0 ? 0.0f : 9.0f),
                540.0f - 40.0f * static_cast<float>(r), 20.0f);
        }
    }
    Steps(600);
    EXPECT_LT(WorstSide(), 2.0f);
    for (Verlet* v : w->VerletList->each<Verlet>()) {
        if (!v->active) continue;
        EXPECT_TRUE(v->pos->x >= 0.0f && v->pos->x <= 800.0f);
        EXPECT_LT(v->pos->y, 590.0f) << "inside the floor";
    }
}

// In free air contact damping slows nothing.
TEST_F(StableStepTest, ThrownBoxFliesAtItsSpeedThenLandsWhole) {
    for (float damping : {0.0f, 0.05f}) {
        SetUp();
        w->contactDamping = damping;
        NoGravity();
        Ref<PhysicsBody> box = Box(100.0f, 100.0f, 40.0f);
        box->SetVelocity(Vect(3.0f, -1.0f));
        Steps(20);
        EXPECT_NEAR(box->Pos->x, 120.0f + 60.0f, 1e-3f);
        EXPECT_NEAR(box->Pos->y, 120.0f - 20.0f, 1e-3f);
        EXPECT_NEAR(box->Vel->x, 3.0f, 1e-4f);
        EXPECT_NEAR(box->Vel->y, -1.0f, 1e-4f);

        w->gravity->set(0.0f, 0.07f);
        Floor();
        Steps(800);
        EXPECT_NEAR(box->maxxy->y, 590.0f - 6.0f, 0.5f) << "resting on the floor's top";
        EXPECT_LT(std::fabs(box->Vel->x) + std::fabs(box->Vel->y), 0.01f);
        EXPECT_LT(WorstSide(), 0.5f);
    }
}

// A box made past a wall (a release outside the window) is brought onto it with no speed from
// being brought there: it does not fly back across the world.
TEST_F(StableStepTest, BoxMadePastAWallComesOntoItWithoutSpeed) {
    NoGravity();
    Ref<PhysicsBody> right = Box(1100.0f, 300.0f, 40.0f);
    Ref<PhysicsBody> above = Box(400.0f, -240.0f, 40.0f);
    StepWorld(*w);
    // Brought onto the wall, each box is flattened there and its sides push its corners apart
    // along it; across the wall they keep no speed.
    for (Verlet* v : right->activeverlets->fast<Verlet>()) EXPECT_EQ(v->vel->x, 0.0f);
    for (Verlet* v : above->activeverlets->fast<Verlet>()) EXPECT_EQ(v->vel->y, 0.0f);
    Steps(30);
    EXPECT_GE(right->Pos->x, 700.0f) << "the box from the right crossed the world";
    EXPECT_LE(above->Pos->y, 100.0f) << "the box from above crossed the world";
}

TEST_F(StableStepTest, ConstraintBreaksUnderAHardPullAndWallsHold) {
    Ref<Verlet> pin = Particle(400, 300, 0, 0, 1, 0);
    Ref<Verlet> bob = Particle(420, 300, 0.5f, 0, 1, 1);
    constraint::Create(w, pin, bob, 1, 5, -1);
    Steps(10);
    EXPECT_EQ(w->ConstraintArray->last, 1) << "a gentle pull is held";
    EXPECT_NEAR(std::hypot(bob->pos->x - 400.0f, bob->pos->y - 300.0f), 20.0f, 0.01f);
    bob->SetVelocity(Vect(30.0f, 0.0f));
    StepWorld(*w);
    EXPECT_EQ(w->ConstraintArray->last, 0) << "stretched past its break point";
    EXPECT_EQ(w->ConstraintList->Count(), 0);
    Steps(40);
    EXPECT_GE(bob->pos->x, 0.0f);
    EXPECT_LE(bob->pos->x, 800.0f);
    EXPECT_LE(bob->pos->y, 600.0f);
}

// The buffers are rebuilt from the world every step: throwing them away between steps changes no
// bit, so a saved world continues exactly; with contact damping too.
TEST_F(StableStepTest, NothingButTheWorldCarriesFromStepToStep) {
    for (float damping : {0.0f, 0.05f}) {
        SetUp();
        w->contactDamping = damping;
        Pyramid(4);
        Ref<PhysicsBody> thrown = Box(300.0f, 100.0f, 50.0f);
        thrown->SetVelocity(Vect(2.0f, 3.0f));
        Steps(150);
        const std::vector<float> straight = State();

        SetUp();  // a new world
        w->contactDamping = damping;
        Pyramid(4);
        thrown = Box(300.0f, 100.0f, 50.0f);
        thrown->SetVelocity(Vect(2.0f, 3.0f));
        for (int i = 0; i < 150; ++i) {
            StepWorld(*w);
            if (i % 7 == 3) w->Cache().stable = StableScratch{};
        }
        const std::vector<float> broken = State();
        ASSERT_EQ(straight.size(), broken.size());
        EXPECT_EQ(std::memcmp(straight.data(), broken.data(), straight.size() * sizeof(float)), 0);
    }
}

// The step split over threads gives every bit the one-thread step gives: a 40-row pyramid (820
// boxes) with a box thrown into its flank and a rod pulled until it breaks, on 1, 2 and 3 threads;
// again with the two particles either side of the array's middle (where two threads split it)
// sharing their previous-position vector, where the write-back must keep its one-thread order
// (the later particle's value last); and again with contact damping.
class StableStepThreads : public FreshRegistries<> {
  protected:
    static std::vector<uint32_t> Run(int32_t threads, bool shared, float damping = 0.0f) {
        bench::Scene s = bench::Pyramid(40);
        PhysicsWorld* w = s.world.get();
        w->stepMode = StepMode::kStable;
        w->contactDamping = damping;
        SetStepThreads(*w, threads);
        Ref<PhysicsBody> thrown = s.templateBox->duplicate();
        Vect where(200.0f, 1500.0f);
        thrown->Position(where);
        thrown->SetVelocity(Vect(7.0f, 2.0f));
        Ref<Verlet> pin = Verlet::Create(w, MakeVect(1500, 200), MakeVect(0, 0), 1, 0, 0);
        Ref<Verlet> bob = Verlet::Create(w, MakeVect(1520, 200), MakeVect(0.5f, 0), 1, 1, 0);
        constraint::Create(w, pin, bob, 1, 5, -1);
        if (shared) {  // the two particles either side of the middle of the array
            const int32_t half = w->VerletArray->last / 2;
            ObjectCast<Verlet>(w->VerletArray->at(half - 1))->oldpos =
                ObjectCast<Verlet>(w->VerletArray->at(half))->oldpos;
        }
        const int32_t constraints = w->ConstraintArray->last;
        for (int i = 0; i < 100; ++i) {
            if (i == 40) {  // straight away from the pin
                const float dx = bob->pos->x - pin->pos->x, dy = bob->pos->y - pin->pos->y;
                const float d = std::sqrt(dx * dx + dy * dy);
                bob->SetVelocity(Vect(30.0f * dx / d, 30.0f * dy / d));
            }
            StepWorld(*w);
        }
        EXPECT_EQ(w->ConstraintArray->last, constraints - 1) << "the pulled rod breaks";
        std::vector<uint32_t> bits;
        for (Verlet* v : w->VerletList->each<Verlet>()) {
            for (const Vect* x : {v->pos.get(), v->oldpos.get(), v->vel.get()}) {
                for (float f : {x->x, x->y}) {
                    uint32_t u = 0;
                    std::memcpy(&u, &f, sizeof u);
                    bits.push_back(u);
                }
            }
        }
        return bits;
    }
};

TEST_F(StableStepThreads, SplittingTheStepChangesNoBit) {
    for (bool shared : {false, true}) {
        const std::vector<uint32_t> one = Run(1, shared);
        for (int32_t threads : {2, 3}) {
            EXPECT_EQ(Run(threads, shared), one) << threads << " threads, shared " << shared;
        }
    }
    EXPECT_EQ(Run(2, false, 0.03f), Run(1, false, 0.03f)) << "damped";
}

TEST_F(StableStepThreads, ThreadCountOutOfRangeRaisesTheRuntimeError) {
    Ref<PhysicsWorld> w = PhysicsWorld::Create(800.0f, 600.0f, 1);
    EXPECT_THROW(SetStepThreads(*w, -1), RuntimeError);
    EXPECT_THROW(SetStepThreads(*w, 9), RuntimeError);
    SetStepThreads(*w, 8);
    SetStepThreads(*w, 0);
}

}  // namespace
