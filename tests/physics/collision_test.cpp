#include "physics/collision.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "physics_fixture.h"

namespace {

class CollisionTest : public WorldTest {
  protected:
    // A body whose collision particles are the given ones and whose box is set by hand, so that
    // a test can choose overlaps independently of the particles.
    Ref<PhysicsBody> Body(std::vector<Ref<Verlet>> ps, float x0, float y0, float x1, float y1) {
        auto b = PhysicsBody::Create(w);
        for (auto& p : ps) b->addverlet(p, 1);
        b->minxy->set(x0, y0);
        b->maxxy->set(x1, y1);
        return b;
    }
    // A body made of one edge a-b, with its box computed from its particles.
    Ref<PhysicsBody> Edge(const Ref<Verlet>& a, const Ref<Verlet>& b) {
        auto body = PhysicsBody::Create(w);
        body->addverlet(a, 1);
        body->addverlet(b, 1);
        body->addconstraint(constraint::Create(w, a, b, 1, 0, -1), 1);
        body->UpdatePosition();
        return body;
    }
    Ref<PhysicsBody> Single(const Ref<Verlet>& p) {
        auto body = PhysicsBody::Create(w);
        body->addverlet(p, 1);
        body->UpdatePosition();
        return body;
    }
};

TEST_F(CollisionTest, BoxesThatMerelyTouchOrShareTheirExtentsAreNotCollided) {
    auto p = Particle(100, 100), q = Particle(105, 100);
    auto a = Body({p}, 0, 0, 104, 110);
    auto b = Body({q}, 104, 5, 200, 115);  // A.maxxy.x == B.minxy.x
    PhysicsBody::collide(*a, *b);
    EXPECT_EQ(p->pos->x, 100.0f);
    b->minxy->set(0, 5);
    b->maxxy->set(104, 115);  // identical x extents
    PhysicsBody::collide(*a, *b);
    EXPECT_EQ(p->pos->x, 100.0f);
    auto r = Particle(300, 300), s = Particle(308, 300);
    auto one = Single(r), two = Single(s);  // same height: identical y extents
    PhysicsBody::collide(*one, *two);
    EXPECT_EQ(r->pos->x, 300.0f);
}

struct PairCase {
    float gap;
    uint8_t qActive;
    float wantP, wantQ;
};

class ParticlePairTest : public CollisionTest, public ::testing::WithParamInterface<PairCase> {};

TEST_P(ParticlePairTest, OverlappingDiscsArePushedApartByHalfEach) {
    const PairCase c = GetParam();
    auto p = Particle(100, 100), q = Particle(100 + c.gap, 100, 0, 0, 1, c.qActive);
    auto a = Body({p}, 94, 94, 106, 106);
    auto b = Body({q}, 95, 95, 125, 107);
    PhysicsBody::collide(*a, *b);
    EXPECT_FLOAT_EQ(p->pos->x, c.wantP);
    EXPECT_FLOAT_EQ(q->pos->x, c.wantQ);
    EXPECT_EQ(p->pos->y, 100.0f);
}

INSTANTIATE_TEST_SUITE_P(Cases, ParticlePairTest,
                         ::testing::Values(PairCase{10, 1, 99, 111}, PairCase{10, 0, 99, 110},
                                           PairCase{12, 1, 100, 112}, PairCase{0, 1, 100, 100}));

TEST_F(CollisionTest, PairsComeInListOrderWithEveryCorrectionAppliedAtOnce) {
    auto p1 = Particle(0, 0), p2 = Particle(10, 0), p3 = Particle(20, 0);
    Body({p1}, -10, -10, 30, 10);
    Body({p2}, -9, -9, 31, 11);
    Body({p3}, -8, -8, 32, 12);
    PhysicsBody::CollideAll(w);
    // (1, 2) pushes p1 and p2 apart by 1 each; (1, 3) is out of reach; (2, 3) then sees 9.
    EXPECT_FLOAT_EQ(p1->pos->x, -1.0f);
    EXPECT_FLOAT_EQ(p2->pos->x, 9.5f);
    EXPECT_FLOAT_EQ(p3->pos->x, 21.5f);
}

TEST_F(CollisionTest, ParticleOnAnEdgeSharesThePushByMassAndPlace) {
    auto ea = Particle(0, 0), eb = Particle(40, 0), t = Particle(20, 4);
    auto edge = Edge(ea, eb);
    auto particle = Single(t);
    PhysicsBody::collide(*particle, *edge);
    EXPECT_FLOAT_EQ(t->pos->y, 8.0f);
    EXPECT_FLOAT_EQ(ea->pos->y, -2.0f);
    EXPECT_FLOAT_EQ(eb->pos->y, -2.0f);
    EXPECT_EQ(t->pos->x, 20.0f);
    // The roles swap when the edge's body comes first: the same stage runs for B's particles.
    t->pos->set(20, 4);
    ea->pos->set(0, 0);
    eb->pos->set(40, 0);
    PhysicsBody::collide(*edge, *particle);
    EXPECT_FLOAT_EQ(t->pos->y, 8.0f);
}

TEST_F(CollisionTest, HeavyStaticEdgeLeavesAlmostTheWholePushToTheParticle) {
    auto ea = Particle(0, 0, 0, 0, 99999, 0), eb = Particle(40, 0, 0, 0, 99999, 0);
    auto t = Particle(20, 4);
    auto edge = Edge(ea, eb);
    auto particle = Single(t);
    PhysicsBody::collide(*particle, *edge);
    EXPECT_FLOAT_EQ(t->pos->y, 4.0f + 8.0f * 99999.0f / 100000.0f);
    EXPECT_EQ(ea->pos->y, 0.0f);
    EXPECT_EQ(eb->pos->y, 0.0f);
}

TEST_F(CollisionTest, FrictionAgainstAStaticEdgeIsAPendingVelocityChange) {
    auto ea = Particle(0, 0, 0, 0, 1, 0), eb = Particle(40, 0, 0, 0, 1, 0);
    auto t = Particle(20, 4);
    t->vel->set(1, 0);
    auto edge = Edge(ea, eb);
    auto particle = Single(t);
    PhysicsBody::collide(*particle, *edge);
    EXPECT_FLOAT_EQ(t->accvel->x, -0.25f);
    EXPECT_EQ(t->accvel->y, 0.0f);
    EXPECT_EQ(ea->accvel->x, 0.0f);  // inactive ends take no velocity
}

// A particle sliding at 1 px/step against a stack of static floors, each one contact of friction
// 0.25: up to 2 in all, the pass sums the contacts' friction; past 2, which would send it back
// faster than it came, it takes their mean, which stops it. A lone pair is never averaged.
struct FrictionLoadCase {
    int floors;
    float pending;
};
class FrictionLoadTest : public CollisionTest,
                         public ::testing::WithParamInterface<FrictionLoadCase> {};

TEST_P(FrictionLoadTest, APassAveragesTheFrictionOfAParticleInMoreContactsThanItCanTake) {
    const FrictionLoadCase c = GetParam();
    auto t = Particle(20, 4);
    t->vel->set(1, 0);
    auto particle = Single(t);
    std::vector<Ref<PhysicsBody>> floors;
    for (int i = 0; i < c.floors; ++i) {
        floors.push_back(Edge(Particle(0, 0, 0, 0, 1, 0), Particle(40, 0, 0, 0, 1, 0)));
    }
    auto again = [&] {
        t->pos->set(20, 4);
        t->accvel->set(0, 0);
    };
    PhysicsBody::CollideAll(w);
    EXPECT_FLOAT_EQ(t->accvel->x, c.pending);
    EXPECT_EQ(t->accvel->y, 0.0f);
    again();
    PhysicsBody::CollideAllPairs(w);
    EXPECT_FLOAT_EQ(t->accvel->x, c.pending) << "all-pairs walk";
    again();
    for (auto& f : floors) PhysicsBody::collide(*particle, *f);
    EXPECT_FLOAT_EQ(t->accvel->x, -0.25f * static_cast<float>(c.floors)) << "lone pairs";
}

INSTANTIATE_TEST_SUITE_P(Floors, FrictionLoadTest,
                         ::testing::Values(FrictionLoadCase{8, -2.0f},
                                           FrictionLoadCase{12, -1.0f}));

TEST_F(CollisionTest, ZeroBounceStopsThePushButNotTheFriction) {
    auto ea = Particle(0, 0), eb = Particle(40, 0), t = Particle(20, 4);
    t->vel->set(2, 0);
    auto edge = Edge(ea, eb);
    auto particle = Single(t);
    edge->SetBounce(0);
    PhysicsBody::collide(*particle, *edge);
    EXPECT_EQ(t->pos->y, 4.0f);
    EXPECT_EQ(ea->pos->y, 0.0f);
    EXPECT_FLOAT_EQ(t->accvel->x, -0.5f);
    EXPECT_FLOAT_EQ(ea->accvel->x, 0.25f);
    EXPECT_FLOAT_EQ(eb->accvel->x, 0.25f);
}

TEST_F(CollisionTest, FootBeyondTheEdgesEndGivesNoEdgeContact) {
    auto ea = Particle(0, 0, 0, 0, 1, 0), eb = Particle(40, 0, 0, 0, 1, 0);
    auto t = Particle(45, 4);
    auto edge = PhysicsBody::Create(w);
    edge->addverlet(ea, 0);
    edge->addverlet(eb, 0);
    edge->addconstraint(constraint::Create(w, ea, eb, 1, 0, -1), 1);
    edge->minxy->set(-6, -6);
    edge->maxxy->set(46, 6);
    auto particle = Single(t);
    PhysicsBody::collide(*particle, *edge);
    EXPECT_EQ(t->pos->y, 4.0f);
    // With its end particle as a collision particle, the end pushes it instead.
    edge->addactiveverlet(eb);
    PhysicsBody::collide(*particle, *edge);
    EXPECT_GT(t->pos->x, 45.0f);
}

TEST_F(CollisionTest, AParticleInACornerIsPushedByBothEdgesInListOrder) {
    auto c1 = Particle(0, 0, 0, 0, 99999, 0), c2 = Particle(40, 0, 0, 0, 99999, 0),
         c3 = Particle(0, 40, 0, 0, 99999, 0);
    auto corner = PhysicsBody::Create(w);
    for (auto& p : {c1, c2, c3}) corner->addverlet(p, 1);
    corner->addconstraint(constraint::Create(w, c1, c2, 1, 0, -1), 1);
    corner->addconstraint(constraint::Create(w, c1, c3, 1, 0, -1), 1);
    corner->UpdatePosition();
    auto t = Particle(20, 4, 0, 0, 1, 1);
    auto near = Particle(4, 20, 0, 0, 1, 1);
    auto body = PhysicsBody::Create(w);
    body->addverlet(t, 1);
    body->addverlet(near, 1);
    body->UpdatePosition();
    PhysicsBody::collide(*body, *corner);
    EXPECT_GT(t->pos->y, 11.9f);
    EXPECT_GT(near->pos->x, 11.9f);
}

TEST_F(CollisionTest, DegenerateContactsAreSkippedWithoutNaN) {
    // Coincident particles.
    auto p = Particle(100, 100), q = Particle(100, 100);
    auto a = Body({p}, 94, 94, 106, 106);
    auto b = Body({q}, 95, 95, 107, 107);
    PhysicsBody::collide(*a, *b);
    EXPECT_EQ(p->pos->x, 100.0f);
    EXPECT_EQ(q->pos->x, 100.0f);
    // A particle exactly on an edge, and a contact whose masses are all zero.
    auto ea = Particle(0, 0), eb = Particle(40, 0), on = Particle(20, 0);
    auto edge = Edge(ea, eb);
    auto particle = Single(on);
    PhysicsBody::collide(*particle, *edge);
    EXPECT_EQ(on->pos->y, 0.0f);
    auto za = Particle(0, 100, 0, 0, 0), zb = Particle(40, 100, 0, 0, 0),
         zt = Particle(20, 104, 0, 0, 0);
    auto zedge = Edge(za, zb);
    auto zparticle = Single(zt);
    PhysicsBody::collide(*zparticle, *zedge);
    for (auto& v : {za, zb, zt}) {
        EXPECT_FALSE(std::isnan(v->pos->y));
        EXPECT_FALSE(std::isnan(v->accvel->x));
    }
    EXPECT_EQ(zt->pos->y, 104.0f);
}

TEST(Geometry, ClosestPointOnSegment) {
    auto p = ClosestPointOnSegment(Vect(0, 0), Vect(10, 0), Vect(4, 7));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->x, 4.0f);
    EXPECT_EQ(p->y, 0.0f);
    EXPECT_EQ(ClosestPointOnSegment(Vect(0, 0), Vect(10, 0), Vect(12, 3)), nullptr);
    p = ClosestPointOnSegment(Vect(0, 0), Vect(0, 10), Vect(5, 5));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->x, 0.0f);
    EXPECT_EQ(p->y, 5.0f);
    p = ClosestPointOnSegment(Vect(0, 0), Vect(10, 10), Vect(0, 10));
    ASSERT_NE(p, nullptr);
    EXPECT_FLOAT_EQ(p->x, 5.0f);
    EXPECT_FLOAT_EQ(p->y, 5.0f);
    EXPECT_EQ(ClosestPointOnSegment(Vect(3, 3), Vect(3, 3), Vect(3, 4)), nullptr);
}

TEST(Geometry, ClosestPointOnLineAlwaysGivesAPoint) {
    auto p = ClosestPointOnLine(Vect(0, 0), Vect(10, 0), Vect(15, 3));
    EXPECT_EQ(p->x, 15.0f);
    EXPECT_EQ(p->y, 0.0f);
    p = ClosestPointOnLine(Vect(2, 0), Vect(2, 10), Vect(5, 50));
    EXPECT_EQ(p->x, 2.0f);
    EXPECT_EQ(p->y, 50.0f);
    p = ClosestPointOnLine(Vect(0, 0), Vect(10, 10), Vect(20, 0));
    EXPECT_FLOAT_EQ(p->x, 10.0f);
    EXPECT_FLOAT_EQ(p->y, 10.0f);
    p = ClosestPointOnLine(Vect(1, 1), Vect(1, 1), Vect(7, 8));  // a = b: m is not a number
    EXPECT_EQ(p->x, 7.0f);
    EXPECT_EQ(p->y, 1.0f);
}

TEST(Geometry, LinesIntersectIsStrictAndRemembersThePoint) {
    EXPECT_EQ(LinesIntersect(0, 0, 10, 10, 0, 10, 10, 0), 1);
    EXPECT_FLOAT_EQ(IntersectX, 5.0f);
    EXPECT_FLOAT_EQ(IntersectY, 5.0f);
    EXPECT_EQ(LinesIntersect(0, 0, 10, 0, 10, 0, 10, 10), 0);  // meet at an end point
    EXPECT_FLOAT_EQ(IntersectX, 10.0f);                        // written all the same
    EXPECT_EQ(LinesIntersect(0, 0, 10, 0, 0, 5, 10, 5), 0);    // parallel: left unchanged
    EXPECT_FLOAT_EQ(IntersectX, 10.0f);
    EXPECT_EQ(LinesIntersect(0, 0, 1, 1, 5, 0, 6, -1), 0);  // lines cross outside the segments
    EXPECT_FLOAT_EQ(IntersectX, 2.5f);
}

TEST(Geometry, PointInPolygonByCrossingParity) {
    const std::vector<float> square = {0, 0, 10, 0, 10, 10, 0, 10};
    EXPECT_EQ(PointInPolygon(5, 5, square), 1);
    EXPECT_EQ(PointInPolygon(15, 5, square), 0);
    EXPECT_EQ(PointInPolygon(-1, 5, square), 0);
    const std::vector<float> segment = {0, 0, 10, 10};  // two points: no closing edge
    EXPECT_EQ(PointInPolygon(0, 5, segment), 1);
    const std::vector<VectRef> pts = {MakeVect(0, 0), MakeVect(10, 0), MakeVect(10, 10),
                                      MakeVect(0, 10)};
    EXPECT_EQ(PointInVectPolygon(5, 5, pts), 1);
    EXPECT_EQ(PointInVectPolygon(15, 5, pts), 0);
    EXPECT_EQ(RayCrossesEdge(0, 0, 0, 10, -1, 10), 1);  // end included
    EXPECT_EQ(RayCrossesEdge(0, 5, 10, 5, -1, 5), 0);   // horizontal edge never counts
}

}  // namespace
