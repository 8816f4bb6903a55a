// The tools' library calls: picking, removing, cutting, pinning, building and grabbing, checked
// through what a user would see after stepping the world (a box lifted, a cloth torn, a ball that
// keeps its shape) and through the world's own invariants (every slot's particle knows its slot,
// no constraint reaches a particle that is gone).

#include "physics/edit.h"

#include <cmath>

#include "physics/body.h"
#include "physics/collision.h"
#include "physics_fixture.h"

namespace {

class EditTest : public WorldTest {
  protected:
    // The demo's step: relaxation and integration, body positions, collision.
    void Step(int32_t n = 1) {
        for (int32_t i = 0; i < n; ++i) {
            w->Update();
            PhysicsBody::UpdateAllPositions(w);
            PhysicsBody::CollideAll(w);
        }
    }

    Ref<PhysicsBody> Floor() {
        Ref<PhysicsBody> f = MakeBox(*w, 10.0f, 590.0f, 790.0f, 600.0f, 99999.0f);
        for (Verlet* v : f->verlets->fast<Verlet>()) SetPinned(*v, true);
        return f;
    }

    // Every slot's particle and constraint holds that slot, every listed one holds a slot, and no
    // constraint of the world or of a body's collision list has an end that is out of the world.
    void ExpectConsistent() {
        const Array& ps = *w->VerletArray;
        for (int32_t i = 0; i < ps.last; ++i) {
            EXPECT_EQ(static_cast<Verlet*>(ps.at(i))->index, i);
        }
        for (Verlet* v : w->VerletList->fast<Verlet>()) EXPECT_TRUE(InWorld(*v));
        const Array& cs = *w->ConstraintArray;
        for (int32_t i = 0; i < cs.last; ++i) {
            auto* c = static_cast<constraint*>(cs.at(i));
            EXPECT_EQ(c->index, i);
            EXPECT_TRUE(InWorld(*c->v1) && InWorld(*c->v2)) << "constraint " << i;
        }
        for (PhysicsBody* b : w->PhysicsBodies->fast<PhysicsBody>()) {
            for (Verlet* v : b->activeverlets->fast<Verlet>()) EXPECT_TRUE(InWorld(*v));
            for (constraint* c : b->activeconstraints->fast<constraint>()) {
                EXPECT_TRUE(InWorld(*c));
            }
        }
    }

    static float Length(const constraint& c) {
        const float dx = c.v1->pos->x - c.v2->pos->x, dy = c.v1->pos->y - c.v2->pos->y;
        return std::sqrt(dx * dx + dy * dy);
    }
    static int32_t Count(const TList& list) { return list.Count(); }
};

TEST_F(EditTest, PickingFindsTheNearestParticleAndTheSmallestBodyUnderThePoint) {
    Ref<Verlet> a = Particle(100.0f, 100.0f);
    Ref<Verlet> b = Particle(110.0f, 100.0f);
    EXPECT_EQ(NearestParticle(*w, 104.0f, 100.0f, 10.0f), a);
    EXPECT_EQ(NearestParticle(*w, 105.0f, 100.0f, 10.0f), a) << "a tie goes to the lower slot";
    EXPECT_EQ(NearestParticle(*w, 120.0f, 100.0f, 10.0f), b) << "the radius counts inclusively";
    EXPECT_EQ(NearestParticle(*w, 121.0f, 100.0f, 10.0f), nullptr);

    // A small box standing inside a large one's outline: the point in both finds the small one.
    Ref<PhysicsBody> big = MakeBox(*w, 200.0f, 200.0f, 400.0f, 400.0f);
    Ref<PhysicsBody> small = MakeBox(*w, 250.0f, 250.0f, 270.0f, 270.0f);
    EXPECT_EQ(BodyAt(*w, 260.0f, 260.0f), small);
    EXPECT_EQ(BodyAt(*w, 300.0f, 390.0f), big);
    EXPECT_EQ(BodyAt(*w, 400.0f, 300.0f), big) << "the outline itself counts";
    EXPECT_EQ(BodyAt(*w, 401.0f, 300.0f), nullptr);
    // A straight rope has no area: only the margin finds it.
    Ref<PhysicsBody> rope = MakeRope(*w, 500.0f, 100.0f, 500.0f, 200.0f);
    EXPECT_EQ(BodyAt(*w, 503.0f, 150.0f), nullptr);
    EXPECT_EQ(BodyAt(*w, 503.0f, 150.0f, 4.0f), rope);
    // A press inside the small box, away from its corners, holds its nearest corner.
    const Ref<Verlet> held = ParticleToHold(*w, 262.0f, 263.0f, 5.0f);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->pos->x, 270.0f);
    EXPECT_EQ(held->pos->y, 270.0f);
    EXPECT_EQ(ParticleToHold(*w, 600.0f, 500.0f, 5.0f), nullptr);
    // An erased body is found no more.
    RemoveBody(*w, *small);
    EXPECT_EQ(BodyAt(*w, 260.0f, 260.0f), big);
}

TEST_F(EditTest, RemovingABodyTakesWhatHangsOnItAndLeavesTheRestWhole) {
    Floor();
    Ref<PhysicsBody> left = MakeBox(*w, 100.0f, 500.0f, 150.0f, 550.0f);
    Ref<PhysicsBody> right = MakeBox(*w, 300.0f, 500.0f, 350.0f, 550.0f);
    auto corner = [](const PhysicsBody& b, int32_t k) {
        TListEnum e = b.verlets->ObjectEnumerator();
        for (int32_t i = 0; i < k; ++i) e.NextObject();
        return ObjectCast<Verlet>(e.NextObject());
    };
    // A rope from the left box's corner to the right box's, and a stick across them too.
    Ref<PhysicsBody> rope =
        MakeRope(*w, 150.0f, 500.0f, 300.0f, 500.0f, corner(*left, 1), corner(*right, 0));
    ASSERT_TRUE(rope);
    MakeStick(*w, corner(*left, 2), corner(*right, 3), 1.0f);
    const int32_t ropeLinks = Count(*rope->constraints);
    const int32_t particles = w->VerletArray->last, constraints = w->ConstraintArray->last;

    Ref<PhysicsBody> keep = left;  // the caller holds the body while it goes
    RemoveBody(*w, *left);
    EXPECT_FALSE(w->PhysicsBodies->Contains(left.get()));
    EXPECT_EQ(w->VerletArray->last, particles - 4);
    // The box's six, the rope's link tied to it, the stick.
    EXPECT_EQ(w->ConstraintArray->last, constraints - 6 - 1 - 1);
    EXPECT_EQ(Count(*rope->constraints), ropeLinks - 1);
    EXPECT_EQ(Count(*left->verlets), 4) << "the body's own lists stay for a copy";
    ExpectConsistent();

    // The rest steps on: the rope now hangs from the right box alone and falls with it.
    Step(300);
    ExpectConsistent();
    for (Verlet* v : w->VerletList->fast<Verlet>()) {
        EXPECT_TRUE(std::isfinite(v->pos->x) && std::isfinite(v->pos->y));
        EXPECT_LE(v->pos->y, 600.0f);
    }
}

TEST_F(EditTest, ACutStrokeBreaksTheThreadsItCrossesAndTheClothTears) {
    // A cloth of 9 x 8 particles, 20 apart, pinned along its top row.
    constexpr int32_t kCols = 9, kRows = 8;
    Ref<PhysicsBody> cloth = PhysicsBody::Create(w);
    std::vector<Ref<Verlet>> p;
    for (int32_t r = 0; r < kRows; ++r) {
        for (int32_t c = 0; c < kCols; ++c) {
            p.push_back(Particle(300.0f + 20.0f * static_cast<float>(c),
                                 100.0f + 20.0f * static_cast<float>(r), 0.0f, 0.0f, 0.25f,
                                 r == 0 ? 0 : 1));
            cloth->addverlet(p.back(), 1);
        }
    }
    auto at = [&](int32_t r, int32_t c) { return p[static_cast<size_t>(r * kCols + c)]; };
    for (int32_t r = 0; r < kRows; ++r) {
        for (int32_t c = 0; c < kCols; ++c) {
            if (c + 1 < kCols) cloth->addconstraint(MakeStick(*w, at(r, c), at(r, c + 1), 1.0f), 0);
            if (r + 1 < kRows) cloth->addconstraint(MakeStick(*w, at(r, c), at(r + 1, c), 1.0f), 0);
        }
    }
    const int32_t threads = w->ConstraintArray->last;

    // A stroke between rows 3 and 4, wider than the cloth: every vertical thread there, only.
    std::vector<constraint*> crossed;
    CrossedConstraints(*w, 250.0f, 170.0f, 600.0f, 170.0f, crossed);
    EXPECT_EQ(static_cast<int32_t>(crossed.size()), kCols);
    for (constraint* c : crossed) EXPECT_FLOAT_EQ(c->v1->pos->x, c->v2->pos->x);
    // A stroke that only touches a thread's end counts; one that stops short does not.
    crossed.clear();
    CrossedConstraints(*w, 300.0f, 90.0f, 300.0f, 100.0f, crossed);
    EXPECT_EQ(crossed.size(), 2u) << "the top-left particle's two threads";
    crossed.clear();
    CrossedConstraints(*w, 290.0f, 90.0f, 299.0f, 99.0f, crossed);
    EXPECT_TRUE(crossed.empty());
    // Along a thread, on its line.
    crossed.clear();
    CrossedConstraints(*w, 305.0f, 100.0f, 315.0f, 100.0f, crossed);
    EXPECT_EQ(crossed.size(), 1u);

    EXPECT_EQ(CutConstraints(*w, 250.0f, 170.0f, 600.0f, 170.0f), kCols);
    EXPECT_EQ(w->ConstraintArray->last, threads - kCols);
    EXPECT_EQ(Count(*cloth->constraints), threads - kCols);
    ExpectConsistent();

    Step(120);
    // The lower part has fallen away; the upper part still hangs where it was.
    EXPECT_GT(at(kRows - 1, 4)->pos->y, 400.0f);
    EXPECT_NEAR(at(3, 4)->pos->y, 160.0f, 3.0f);
}

TEST_F(EditTest, APinnedParticleHoldsItsChainUntilUnpinned) {
    Ref<Verlet> top = Particle(400.0f, 100.0f, 3.0f, 0.0f);  // moving when pinned
    Ref<Verlet> bob = Particle(400.0f, 150.0f);
    MakeStick(*w, top, bob, 1.0f);
    SetPinned(*top, true);
    EXPECT_TRUE(IsPinned(*top));
    Step(200);
    EXPECT_EQ(top->pos->x, 400.0f);
    EXPECT_EQ(top->pos->y, 100.0f);
    EXPECT_NEAR(bob->pos->y, 150.0f, 0.5f);

    SetPinned(*top, false);
    Step(60);
    EXPECT_GT(top->pos->y, 150.0f) << "unpinned, it falls with the bob";
}

TEST_F(EditTest, BuiltShapesHaveTheirSizeAndTinyOnesAreRefused) {
    // Corners given in either order make the same box, corners clockwise from the top-left.
    Ref<PhysicsBody> box = MakeBox(*w, 160.0f, 140.0f, 100.0f, 100.0f);
    ASSERT_TRUE(box);
    std::vector<std::pair<float, float>> corners;
    for (Verlet* v : box->verlets->fast<Verlet>()) corners.emplace_back(v->pos->x, v->pos->y);
    const std::vector<std::pair<float, float>> want = {
        {100.0f, 100.0f}, {160.0f, 100.0f}, {160.0f, 140.0f}, {100.0f, 140.0f}};
    EXPECT_EQ(corners, want);
    EXPECT_EQ(Count(*box->activeconstraints), 4);
    EXPECT_EQ(Count(*box->constraints), 6);

    EXPECT_FALSE(MakeBox(*w, 100.0f, 100.0f, 103.0f, 200.0f));
    EXPECT_FALSE(MakeBall(*w, 100.0f, 100.0f, 1.5f));
    EXPECT_FALSE(MakeRope(*w, 100.0f, 100.0f, 102.0f, 102.0f));
    Ref<Verlet> a = Particle(10.0f, 10.0f);
    EXPECT_FALSE(MakeStick(*w, a, a, 1.0f));
    EXPECT_FALSE(MakeRope(*w, 10.0f, 10.0f, 50.0f, 10.0f, a, a));
}

TEST_F(EditTest, ABallDroppedOnTheFloorLandsAndKeepsItsShape) {
    Floor();
    constexpr float kRadius = 40.0f;
    Ref<PhysicsBody> ball = MakeBall(*w, 400.0f, 300.0f, kRadius);
    ASSERT_TRUE(ball);
    Step(600);  // ten seconds at three steps a frame... and more
    // The centre is the first particle; the rim follows in order round it.
    std::vector<Verlet*> ring;
    for (Verlet* v : ball->verlets->fast<Verlet>()) ring.push_back(v);
    const Verlet& centre = *ring.front();
    ring.erase(ring.begin());
    float twiceArea = 0.0f;
    for (size_t i = 0; i < ring.size(); ++i) {
        const Verlet& p = *ring[i];
        const Verlet& q = *ring[(i + 1) % ring.size()];
        const float dx = p.pos->x - centre.pos->x, dy = p.pos->y - centre.pos->y;
        EXPECT_NEAR(std::sqrt(dx * dx + dy * dy), kRadius, 0.25f * kRadius) << "rim particle " << i;
        twiceArea += (p.pos->x - centre.pos->x) * (q.pos->y - centre.pos->y) -
                     (p.pos->y - centre.pos->y) * (q.pos->x - centre.pos->x);
    }
    // Not folded and not inside out: the ring still winds the way it was made, round most of its
    // area.
    EXPECT_GT(twiceArea / 2.0f, 0.8f * 3.14159f * kRadius * kRadius);
    // Resting on the floor, kept off it by the contact distance.
    EXPECT_NEAR(centre.pos->y, 590.0f - kContactDistance - kRadius, 0.1f * kRadius);
}

TEST_F(EditTest, RopesHangFromTheirFixedEndOrFromWhatTheyAreTiedTo) {
    // Drawn from empty space: the start is fixed, the end is free, no link is longer than allowed.
    Ref<PhysicsBody> rope = MakeRope(*w, 100.0f, 50.0f, 200.0f, 50.0f);
    ASSERT_TRUE(rope);
    const Verlet* first = static_cast<Verlet*>(rope->verlets->First().get());
    EXPECT_TRUE(IsPinned(*first));
    for (constraint* c : rope->constraints->fast<constraint>()) {
        EXPECT_LE(c->GetLength(), kRopeLinkLength);
    }
    // Tied at both ends to two particles: no new particle at either end.
    Ref<Verlet> a = Particle(400.0f, 50.0f, 0.0f, 0.0f, 1.0f, 0);
    Ref<Verlet> b = Particle(500.0f, 50.0f, 0.0f, 0.0f, 1.0f, 0);
    Ref<PhysicsBody> tied = MakeRope(*w, 400.0f, 50.0f, 500.0f, 50.0f, a, b);
    ASSERT_TRUE(tied);
    EXPECT_FALSE(tied->verlets->Contains(a.get()) || tied->verlets->Contains(b.get()));
    EXPECT_EQ(Count(*tied->constraints), Count(*tied->verlets) + 1);

    Step(600);
    // The free rope hangs straight down from its fixed end; the tied one sags between its ends.
    const Verlet* freeEnd = nullptr;
    for (Verlet* v : rope->verlets->fast<Verlet>()) freeEnd = v;
    EXPECT_NEAR(freeEnd->pos->x, 100.0f, 2.0f);
    EXPECT_GT(freeEnd->pos->y, 140.0f);
    float lowest = 0.0f;
    for (Verlet* v : tied->verlets->fast<Verlet>()) lowest = std::max(lowest, v->pos->y);
    EXPECT_GT(lowest, 55.0f);
    EXPECT_EQ(a->pos->x, 400.0f);
    ExpectConsistent();
}

TEST_F(EditTest, AStickSnapsBackAtOnceAndASpringOnlyPartWay) {
    Ref<Verlet> top1 = Particle(200.0f, 100.0f, 0.0f, 0.0f, 1.0f, 0);
    Ref<Verlet> bob1 = Particle(200.0f, 150.0f);
    Ref<Verlet> top2 = Particle(400.0f, 100.0f, 0.0f, 0.0f, 1.0f, 0);
    Ref<Verlet> bob2 = Particle(400.0f, 150.0f);
    Ref<constraint> stick = MakeStick(*w, top1, bob1, 1.0f);
    Ref<constraint> spring = MakeStick(*w, top2, bob2, 0.02f);
    EXPECT_FLOAT_EQ(spring->GetLength(), 50.0f);
    // Both pulled 20 pixels long, at rest, then one step.
    for (Verlet* bob : {bob1.get(), bob2.get()}) {
        bob->pos->y = 170.0f;
        bob->oldpos->y = 170.0f;
    }
    constraint::Update(w);  // the relaxation alone
    EXPECT_NEAR(Length(*stick), 50.0f, 0.5f);
    EXPECT_GT(Length(*spring), 60.0f);
    EXPECT_LT(Length(*spring), 70.0f);
}

TEST_F(EditTest, AGrabbedBoxIsLiftedByItsCornerAndFlungOnRelease) {
    Floor();
    Ref<PhysicsBody> box = MakeBox(*w, 375.0f, 540.0f, 425.0f, 590.0f);
    Step(60);
    const int32_t particles = w->VerletArray->last, constraints = w->ConstraintArray->last;
    Ref<Verlet> corner = ObjectCast<Verlet>(box->verlets->First());  // the top-left
    const float x0 = corner->pos->x, y0 = corner->pos->y;
    EXPECT_EQ(NearestParticle(*w, x0 + 3.0f, y0 + 3.0f, 10.0f), corner);

    Grab grab;
    grab.Begin(*w, corner, x0, y0);
    ASSERT_TRUE(grab.Holding());
    EXPECT_EQ(w->VerletArray->last, particles + 1);
    EXPECT_EQ(w->ConstraintArray->last, constraints + 1);
    // Lift the cursor to y 300 over a second, then hold it there for two.
    for (int32_t f = 1; f <= 180; ++f) {
        const float y = f <= 60 ? y0 - 4.0f * static_cast<float>(f) : 300.0f;
        grab.MoveTo(375.0f, y);
        grab.Advance(3);
        Step(3);
    }
    // The corner hangs near the cursor, the box below it, every particle well off the floor.
    EXPECT_NEAR(corner->pos->x, 375.0f, 5.0f);
    EXPECT_NEAR(corner->pos->y, 300.0f, 10.0f);
    for (Verlet* v : box->verlets->fast<Verlet>()) EXPECT_LT(v->pos->y, 420.0f);
    for (constraint* c : box->constraints->fast<constraint>()) {
        EXPECT_NEAR(Length(*c), c->GetLength(), 0.05f * c->GetLength())
            << "the box keeps its shape";
    }

    // Swing it to the right and let go mid-swing: it keeps the speed it had.
    for (int32_t f = 1; f <= 10; ++f) {
        grab.MoveTo(375.0f + 15.0f * static_cast<float>(f), 300.0f);
        grab.Advance(3);
        Step(3);
    }
    const float vx = corner->pos->x - corner->oldpos->x;
    EXPECT_NEAR(vx, 5.0f, 0.5f) << "moving with the cursor, 15 pixels a frame of three steps";
    grab.Release();
    EXPECT_FALSE(grab.Holding());
    EXPECT_EQ(w->VerletArray->last, particles);
    EXPECT_EQ(w->ConstraintArray->last, constraints);
    EXPECT_EQ(corner->pos->x - corner->oldpos->x, vx) << "release leaves the velocity as it was";
    ExpectConsistent();
    Step(30);
    EXPECT_GT(corner->pos->x, 525.0f + 100.0f) << "flung on to the right";
}

TEST_F(EditTest, APinnedParticleGrabbedIsMovedAndStaysPinnedWhereDropped) {
    Ref<Verlet> pin = Particle(200.0f, 100.0f, 0.0f, 0.0f, 1.0f, 0);
    Ref<Verlet> bob = Particle(200.0f, 140.0f);
    MakeStick(*w, pin, bob, 1.0f);
    const int32_t particles = w->VerletArray->last;
    Grab grab;
    grab.Begin(*w, pin, 200.0f, 100.0f);
    EXPECT_EQ(grab.Anchor(), nullptr);
    EXPECT_EQ(w->VerletArray->last, particles) << "no spring for a pinned particle";
    for (int32_t f = 1; f <= 50; ++f) {
        grab.MoveTo(200.0f + 4.0f * static_cast<float>(f), 100.0f);
        grab.Advance(3);
        Step(3);
    }
    grab.Release();
    Step(300);
    EXPECT_TRUE(IsPinned(*pin));
    EXPECT_EQ(pin->pos->x, 400.0f);
    EXPECT_EQ(pin->pos->y, 100.0f);
    const float dx = bob->pos->x - 400.0f, dy = bob->pos->y - 100.0f;
    EXPECT_NEAR(std::sqrt(dx * dx + dy * dy), 40.0f, 0.5f) << "the bob swings from the pin";
}

TEST_F(EditTest, AHoldOnAParticleThatGoesIsReleased) {
    Ref<PhysicsBody> box = MakeBox(*w, 100.0f, 100.0f, 150.0f, 150.0f);
    const int32_t particles = w->VerletArray->last;
    Grab grab;
    grab.Begin(*w, NearestParticle(*w, 100.0f, 100.0f, 5.0f), 100.0f, 100.0f);
    ASSERT_TRUE(grab.Holding());
    RemoveBody(*w, *box);  // the spring reaches into the box: it goes with it
    grab.MoveTo(120.0f, 120.0f);
    grab.Advance(3);
    EXPECT_FALSE(grab.Holding());
    EXPECT_EQ(w->VerletArray->last, particles - 4);
    EXPECT_EQ(w->ConstraintArray->last, 0);
    ExpectConsistent();
}

}  // namespace
