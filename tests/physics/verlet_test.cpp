#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "physics_fixture.h"

namespace {

using VerletTest = WorldTest;

void ExpectVect(const Vect& v, float x, float y) {
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
}

TEST_F(VerletTest, CreateAdoptsTheVectorsAndTakesTheNextSlot) {
    auto pos = MakeVect(100, 530);
    auto vel = MakeVect(3, 0);
    auto p = Verlet::Create(w, pos, vel, 2.0f, 1, 1);
    EXPECT_EQ(p->pos, pos);
    EXPECT_EQ(p->vel, vel);
    ExpectVect(*p->oldpos, 97, 530);
    ExpectVect(*p->accvel, 0, 0);
    EXPECT_EQ(p->index, 0);
    EXPECT_EQ(p->cpd, nullptr);
    EXPECT_EQ(p->ghost, 1);
    EXPECT_EQ(w->VerletArray->Getbyindex(0), p);
    EXPECT_EQ(Particle(0, 0)->index, 1);
    pos->x = 120;  // the caller's vector is the particle's position
    EXPECT_EQ(p->pos->x, 120.0f);
}

TEST_F(VerletTest, ActiveParticleMovesByItsVelocityAndGravity) {
    const float g = 0.07f;
    auto p = Particle(100, 530, 3, 0);
    w->Update();
    EXPECT_EQ(p->pos->x, 103.0f);
    EXPECT_EQ(p->pos->y, 530.0f + g);
    EXPECT_EQ(p->vel->x, 3.0f);
    EXPECT_EQ(p->vel->y, g);
    ExpectVect(*p->oldpos, 100, 530);
}

TEST_F(VerletTest, InactiveParticleDriftsToTheWallAndNeverFalls) {
    auto p = Particle(780, 530, 3, 0, 1, 0);
    for (int i = 0; i < 6; ++i) w->Update();
    EXPECT_EQ(p->pos->y, 530.0f);
    EXPECT_LE(p->pos->x, 800.0f + 3.0f);
    auto rest = Particle(50, 50, 0, 0, 1, 0);
    for (int i = 0; i < 10; ++i) w->Update();
    ExpectVect(*rest->pos, 50, 50);
}

TEST_F(VerletTest, FreeFallMatchesTheClosedFormStepByStep) {
    // With gravity g per step per step and no walls reached, after n steps the particle has
    // fallen g * n * (n + 1) / 2; float rounding of pos - oldpos keeps it close, not exact.
    auto p = Particle(400, 10);
    for (int n = 1; n <= 50; ++n) {
        w->Update();
        ASSERT_NEAR(p->pos->y - 10.0f, 0.07 * n * (n + 1) / 2, 2e-3) << "step " << n;
    }
}

TEST_F(VerletTest, AddedVelocityAppliesOnceAtFullWeight) {
    NoGravity();
    auto p = Particle(100, 100);
    p->AddVelocity(Vect(1, 0));
    p->AddVelocity(Vect(1, 0));
    ExpectVect(*p->GetVelocity(), 2, 0);
    w->Update();
    EXPECT_EQ(p->pos->x, 102.0f);
    ExpectVect(*p->accvel, 0, 0);
    w->Update();
    EXPECT_EQ(p->pos->x, 104.0f);  // kept as momentum, not added again
}

struct WallCase {
    float start;
    float oldAfterWalls;
    float afterStep;
};

class WallTest : public WorldTest, public ::testing::WithParamInterface<WallCase> {};

TEST_P(WallTest, WallsClampAndHalveTheOvershoot) {
    NoGravity();
    const WallCase c = GetParam();
    auto p = Particle(c.start, 300);
    p->checkwalls();
    EXPECT_EQ(p->oldpos->x, c.oldAfterWalls);
    EXPECT_EQ(p->pos->x, std::clamp(c.start, 0.0f, 800.0f));
    auto q = Particle(c.start, 300);  // the update runs the same test before integrating
    w->Update();
    EXPECT_EQ(q->pos->x, c.afterStep);
}

INSTANTIATE_TEST_SUITE_P(Walls, WallTest,
                         ::testing::Values(WallCase{-4, -2, 2}, WallCase{806, 803, 797},
                                           WallCase{0, 0, 0}, WallCase{800, 800, 800}));

TEST_F(VerletTest, NotANumberCountsAsBelowZero) {
    auto p = Particle(300, 300);
    p->pos->x = std::numeric_limits<float>::quiet_NaN();
    p->pos->y = std::numeric_limits<float>::quiet_NaN();
    p->checkwalls();
    EXPECT_EQ(p->pos->x, 0.0f);
    EXPECT_EQ(p->pos->y, 0.0f);
    EXPECT_TRUE(std::isnan(p->oldpos->x));  // half of NaN: the next step is NaN along x
}

// A particle's vectors may be one object (its creator passed the same vector twice, or someone
// pointed a field at another's vector): each step's writes are then seen by its later reads.
TEST_F(VerletTest, SharedVectorsSeeEachWriteOfTheStep) {
    const float g = w->gravity->y;
    auto both = MakeVect(100, 200);
    auto p = Verlet::Create(w, both, both, 1.0f, 1, 0);  // oldpos (0, 0)
    auto q = Particle(300, 300, 2, 0);
    q->vel = w->gravity;  // velocity written into the world's gravity
    const float qy = 300.0f + g;
    w->Update();
    // pos and vel: vel = pos - oldpos + accvel, then pos = pos + vel reads the new vel twice
    ExpectVect(*both, 200, (200.0f + g) + (200.0f + g));
    ExpectVect(*p->oldpos, 100, 200.0f + g);
    // q's vel = (2, g) overwrites gravity, which the particles after q then fall by
    ExpectVect(*q->pos, 302, qy);
    ExpectVect(*w->gravity, 2, g);
}

TEST_F(VerletTest, PositionMovesByWholeUnitsAndKeepsVelocity) {
    auto p = Particle(10, 10, 1, 1);
    p->Position(Vect(12.7f, 7.3f));
    ExpectVect(*p->pos, 12, 8);
    ExpectVect(*p->oldpos, 11, 7);
    p->Move(Vect(0.5f, -0.25f));
    ExpectVect(*p->pos, 12.5f, 7.75f);
    ExpectVect(*p->oldpos, 11.5f, 6.75f);
}

TEST_F(VerletTest, SetVelocityTakesEffectAtTheNextStep) {
    auto p = Particle(100, 100, 0, 0, 1, 0);
    p->SetVelocity(Vect(5, 0));
    ExpectVect(*p->vel, 0, 0);
    w->Update();
    ExpectVect(*p->pos, 105, 100);
}

TEST_F(VerletTest, GetVelocityReturnsAFreshVector) {
    auto p = Particle(100, 100, 2, 0);
    auto v = p->GetVelocity();
    v->x = 50;
    ExpectVect(*p->GetVelocity(), 2, 0);
}

TEST_F(VerletTest, RemoveMovesTheLastParticleIntoTheFreedSlot) {
    auto a = Particle(1, 1), b = Particle(2, 2), c = Particle(3, 3);
    a->remove();
    EXPECT_EQ(c->index, 0);
    EXPECT_EQ(w->VerletArray->Getbyindex(0), c);
    EXPECT_EQ(w->VerletArray->last, 2);
    EXPECT_FALSE(w->VerletList->Contains(a.get()));
    b->remove();  // the last slot: nothing moves
    EXPECT_EQ(c->index, 0);
    EXPECT_EQ(w->VerletArray->last, 1);
    a->remove();  // a second removal must not take out the particle now in slot 0
    EXPECT_EQ(w->VerletArray->Getbyindex(0), c);
    EXPECT_EQ(w->VerletArray->last, 1);
    w->Update();  // removed particles are no longer integrated
    EXPECT_EQ(a->pos->y, 1.0f);
}

TEST_F(VerletTest, DuplicateStartsWithTheSourcesStepVelocityAndNoAddedVelocity) {
    auto p = Particle(100, 100, 2, 0);
    w->Update();
    p->AddVelocity(Vect(9, 9));
    p->cpd = Particle(0, 0);
    p->pos->x += 5;  // moved by something other than its velocity
    auto copy = p->duplicate();
    EXPECT_NE(copy->pos, p->pos);
    ExpectVect(*copy->pos, p->pos->x, p->pos->y);
    ExpectVect(*copy->vel, p->vel->x, p->vel->y);
    ExpectVect(*copy->accvel, 0, 0);
    EXPECT_EQ(copy->cpd, nullptr);
    EXPECT_EQ(copy->index, 2);
    ExpectVect(*copy->oldpos, p->pos->x - p->vel->x, p->pos->y - p->vel->y);
}

}  // namespace
