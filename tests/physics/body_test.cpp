#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "physics/internal/bodywalk.h"
#include "physics_fixture.h"

namespace {

class BodyTest : public WorldTest {
  protected:
    // A square body built the way the demo builds its boxes: four corners and four edges as
    // collision items, two diagonals only in the structure list.
    Ref<PhysicsBody> Box(float x, float y, float size = 50.0f) {
        auto p1 = Particle(x, y), p2 = Particle(x + size, y), p3 = Particle(x + size, y + size),
             p4 = Particle(x, y + size);
        std::vector<Ref<constraint>> edges = {
            constraint::Create(w, p1, p2, 1, 0, -1), constraint::Create(w, p2, p3, 1, 0, -1),
            constraint::Create(w, p3, p4, 1, 0, -1), constraint::Create(w, p4, p1, 1, 0, -1)};
        auto b = PhysicsBody::Create(w);
        for (auto& p : {p1, p2, p3, p4}) b->addverlet(p, 1);
        for (auto& e : edges) b->addconstraint(e, 1);
        b->addconstraint(constraint::Create(w, p4, p2, 1, 0, -1), 0);
        b->addconstraint(constraint::Create(w, p3, p1, 1, 0, -1), 0);
        return b;
    }
};

TEST_F(BodyTest, CreateTakesTheNextIdAndDefaults) {
    w->PhysicsBodyIDCount = 7;
    auto b = PhysicsBody::Create(w);
    EXPECT_EQ(b->ID, 7);
    EXPECT_EQ(w->PhysicsBodyIDCount, 8);
    EXPECT_EQ(PhysicsBody::Create(w)->ID, 8);
    EXPECT_EQ(w->PhysicsBodies->First(), b);
    EXPECT_EQ(b->GetBounce(), 1.0f);
    EXPECT_EQ(b->GetFriction(), 0.5f);
    for (const VectRef& v : {b->maxxy, b->minxy, b->Pos, b->Vel}) {
        EXPECT_EQ(v->x, 0.0f);
        EXPECT_EQ(v->y, 0.0f);
    }
    PhysicsBody bare;
    EXPECT_EQ(bare.verlets, nullptr);
    EXPECT_EQ(bare.bounce, 0.0f);
}

TEST_F(BodyTest, AddAndRemoveKeepBothPairsOfListsInStep) {
    auto b = PhysicsBody::Create(w);
    auto p = Particle(1, 1), q = Particle(2, 2);
    b->addverlet(p, 0);
    b->addverlet(q, 1);
    EXPECT_FALSE(b->activeverlets->Contains(p.get()));
    EXPECT_TRUE(b->activeverlets->Contains(q.get()));
    EXPECT_EQ(b->removeverlet(q.get()), 1);
    EXPECT_FALSE(b->activeverlets->Contains(q.get()));
    EXPECT_EQ(b->removeverlet(q.get()), 0);
    b->addactiveverlet(p);
    EXPECT_EQ(b->removeactiveverlet(p.get()), 1);
    EXPECT_EQ(b->removeactiveverlet(p.get()), 0);
    auto c = constraint::Create(w, p, q, 1, 0, -1);
    b->addconstraint(c, 1);
    EXPECT_EQ(b->removeactiveconstraint(c.get()), 1);
    EXPECT_EQ(b->removeconstraint(c.get()), 1);
    EXPECT_EQ(b->removeconstraint(c.get()), 0);
    EXPECT_TRUE(w->VerletList->Contains(q.get()));  // taking out of a body keeps it in the world
}

TEST_F(BodyTest, BoundingBoxIsPaddedByTheCollisionRadius) {
    auto b = PhysicsBody::Create(w);
    b->addverlet(Particle(0, 0), 1);
    b->addverlet(Particle(10, 20), 1);
    b->addverlet(Particle(500, 500), 0);  // not a collision particle: does not bound the box
    b->UpdateBoundingBox();
    EXPECT_EQ(b->minxy->x, -6.0f);
    EXPECT_EQ(b->minxy->y, -6.0f);
    EXPECT_EQ(b->maxxy->x, 16.0f);
    EXPECT_EQ(b->maxxy->y, 26.0f);
    auto empty = PhysicsBody::Create(w);
    empty->maxxy->set(3, 4);
    empty->UpdateBoundingBox();
    EXPECT_EQ(empty->maxxy->x, 3.0f);
    EXPECT_EQ(empty->maxxy->y, 4.0f);
}

TEST_F(BodyTest, MassCentreAndItsMovement) {
    auto b = PhysicsBody::Create(w);
    auto p = Particle(0, 0, 0, 0, 1), q = Particle(4, 0, 0, 0, 3);
    b->addverlet(p, 0);
    b->addverlet(q, 0);
    b->UpdatePosition();
    EXPECT_EQ(b->Pos->x, 3.0f);
    EXPECT_EQ(b->Vel->x, 0.0f);
    p->oldpos->x -= 1;
    q->oldpos->x -= 1;
    b->UpdatePosition();
    EXPECT_EQ(b->Vel->x, 1.0f);
    EXPECT_EQ(b->Vel->y, 0.0f);
}

TEST_F(BodyTest, NoParticlesOrNoMassKeepsTheLastCentre) {
    auto b = PhysicsBody::Create(w);
    b->Pos->set(5, 6);
    b->Vel->set(1, 1);
    b->UpdatePosition();
    b->addverlet(Particle(10, 10, 0, 0, 0), 1);
    b->UpdatePosition();
    EXPECT_EQ(b->Pos->x, 5.0f);
    EXPECT_EQ(b->Pos->y, 6.0f);
    EXPECT_EQ(b->Vel->x, 1.0f);
    EXPECT_EQ(b->maxxy->x, 16.0f);  // the box is still refreshed
}

TEST_F(BodyTest, PositionMovesByTheOffsetFromTheCentreAndHandsItBack) {
    auto b = PhysicsBody::Create(w);
    auto p = Particle(5, 5);
    b->addverlet(p, 1);
    b->UpdatePosition();
    auto target = MakeVect(8, 1);
    b->Position(*target);
    EXPECT_EQ(target->x, 3.0f);
    EXPECT_EQ(target->y, -4.0f);
    EXPECT_EQ(p->pos->x, 8.0f);
    EXPECT_EQ(p->pos->y, 1.0f);
    EXPECT_EQ(b->Pos->x, 5.0f);  // not recomputed
}

TEST_F(BodyTest, ForceVelocityAndMoveReachEveryParticle) {
    auto b = Box(100, 100);
    b->AddForce(Vect(0, 1));
    b->SetVelocity(Vect(2, 0));
    b->Move(Vect(10, 0));
    for (Verlet* p : b->verlets->each<Verlet>()) {
        EXPECT_EQ(p->accvel->y, 1.0f);
        EXPECT_EQ(p->pos->x - p->oldpos->x, 2.0f);
    }
    EXPECT_EQ(ObjectCast<Verlet>(b->verlets->First())->pos->x, 110.0f);
}

TEST_F(BodyTest, DuplicateIsADeepCopyWiredToItsOwnParticles) {
    auto src = Box(100, 100);
    src->SetBounce(0.3f);
    src->SetFriction(0.1f);
    const int32_t particlesBefore = w->VerletArray->last;
    auto copy = src->duplicate();
    EXPECT_EQ(copy->ID, src->ID + 1);
    EXPECT_EQ(copy->GetBounce(), 1.0f);
    EXPECT_EQ(copy->GetFriction(), 0.5f);
    EXPECT_EQ(copy->verlets->Count(), 4);
    EXPECT_EQ(copy->constraints->Count(), 6);
    EXPECT_EQ(copy->activeverlets->Count(), 4);
    EXPECT_EQ(copy->activeconstraints->Count(), 4);
    EXPECT_EQ(w->VerletArray->last, particlesBefore + 4);
    std::vector<Verlet*> srcParticles, copyParticles;
    for (Verlet* v : src->verlets->each<Verlet>()) srcParticles.push_back(v);
    for (Verlet* v : copy->verlets->each<Verlet>()) copyParticles.push_back(v);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(srcParticles[i]->cpd.get(), copyParticles[i]);
        EXPECT_EQ(copyParticles[i]->pos->x, srcParticles[i]->pos->x);
    }
    std::vector<constraint*> copied;
    for (constraint* c : copy->constraints->each<constraint>()) copied.push_back(c);
    ASSERT_EQ(copied.size(), 6u);
    // Edges P1-P2 ... P4-P1, then the diagonals P4-P2 and P3-P1, ends in the source's order.
    const int ends[6][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {3, 1}, {2, 0}};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(copied[i]->v1.get(), copyParticles[ends[i][0]]) << i;
        EXPECT_EQ(copied[i]->v2.get(), copyParticles[ends[i][1]]) << i;
    }
    EXPECT_FLOAT_EQ(copied[4]->OriginalLength, std::sqrt(5000.0f));
    auto again = copy->duplicate();
    EXPECT_EQ(srcParticles[0]->cpd.get(), copyParticles[0]);  // the first body's cpd is kept
    EXPECT_EQ(copyParticles[0]->cpd, ObjectCast<Verlet>(again->verlets->First()));
}

TEST_F(BodyTest, DuplicateFollowsTheStructureListsForTheCollisionLists) {
    auto b = PhysicsBody::Create(w);
    auto p = Particle(0, 0), q = Particle(10, 0), outsider = Particle(50, 50);
    b->addverlet(p, 0);
    b->addverlet(q, 0);
    b->addactiveverlet(q);
    b->addactiveverlet(p);
    b->addactiveverlet(q);         // listed twice: copied twice
    b->addactiveverlet(outsider);  // not in `verlets`: not copied
    auto copy = b->duplicate();
    std::vector<Verlet*> active;
    for (Verlet* v : copy->activeverlets->each<Verlet>()) active.push_back(v);
    ASSERT_EQ(active.size(), 3u);
    EXPECT_EQ(active[0], p->cpd.get());
    EXPECT_EQ(active[1], q->cpd.get());
    EXPECT_EQ(active[2], q->cpd.get());
}

TEST_F(BodyTest, DuplicateJoinsAConstraintReachingOutsideToTheSameOutsideParticle) {
    auto b = PhysicsBody::Create(w);
    auto inside = Particle(0, 0), outside = Particle(30, 0);
    auto other = PhysicsBody::Create(w);
    other->addverlet(outside, 1);
    other->duplicate();  // leaves outside->cpd pointing at another body's copy
    b->addverlet(inside, 1);
    b->addconstraint(constraint::Create(w, inside, outside, 1, 0, -1), 1);
    auto copy = b->duplicate();
    auto c = ObjectCast<constraint>(copy->constraints->First());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->v1, inside->cpd);
    EXPECT_EQ(c->v2, outside);
    EXPECT_EQ(c->OriginalLength, 30.0f);
}

TEST_F(BodyTest, RemoveTakesTheContentsOutOfTheWorldButKeepsTheBodysLists) {
    auto keep = Box(300, 300);
    auto b = Box(100, 100);
    b->remove();
    EXPECT_FALSE(w->PhysicsBodies->Contains(b.get()));
    EXPECT_EQ(w->VerletArray->last, 4);
    EXPECT_EQ(w->ConstraintArray->last, 6);
    EXPECT_EQ(b->verlets->Count(), 4);
    EXPECT_EQ(b->constraints->Count(), 6);
    for (Verlet* v : b->verlets->each<Verlet>()) EXPECT_FALSE(w->VerletList->Contains(v));
    for (Verlet* v : keep->verlets->each<Verlet>()) {
        EXPECT_EQ(w->VerletArray->Getbyindex(v->index).get(), v);
    }
    b->remove();  // twice: nothing else goes
    EXPECT_EQ(w->VerletArray->last, 4);
}

// The passes over all bodies walk the body list with the next bodies' links, lists and first
// list links asked for a few places ahead; whatever the list's length, the walk must still visit
// every body once, in order, skipping what is not a body, and bodies whose lists are empty or
// missing must not trip the look-ahead.
TEST_F(BodyTest, WalkOverAllBodiesVisitsEachOnceInListOrderAtEveryLength) {
    for (int n = 0; n <= 24; ++n) {
        SetUp();
        std::vector<PhysicsBody*> expected;
        for (int i = 0; i < n; ++i) {
            auto b = i % 3 == 0 ? PhysicsBody::Create(w) : Box(10.0f * i, 20.0f);
            if (i % 5 == 1) w->PhysicsBodies->AddLast(MakeVect(0.0f, 0.0f));  // not a body
            if (i % 7 == 2) b->activeverlets = nullptr;                       // no list at all
            expected.push_back(b.get());
        }
        for (size_t expectedCount : {size_t{0}, kWalkAheadBodies}) {  // both ways of walking
            std::vector<PhysicsBody*> seen;
            WalkBodies(*w->PhysicsBodies, &PhysicsBody::activeverlets,
                       &PhysicsBody::activeconstraints, expectedCount,
                       [&seen](PhysicsBody* b) { seen.push_back(b); });
            EXPECT_EQ(seen, expected) << n << " bodies, expecting " << expectedCount;
        }
    }
}

}  // namespace
