// The broadphase must leave the collision pass's results exactly as the all-pairs walk gives
// them. Checked two ways: its pairs against an independent reading of collide's box test over
// awkward boxes, and two worlds run side by side through a long scripted scene, one colliding
// through the broadphase and one through the all-pairs walk, compared bit for bit at every step.

#include "physics/internal/broadphase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "physics/internal/bodywalk.h"
#include "physics_fixture.h"

namespace {

// collide's early test, as its comments define it: on each axis one box's end lies strictly
// inside the other box, or the other's far end lies strictly inside this one.
bool Inside(float v, float lo, float hi) { return v > lo && v < hi; }
bool Meet(float aMin, float aMax, float bMin, float bMax) {
    return Inside(aMax, bMin, bMax) || Inside(aMin, bMin, bMax) || Inside(bMax, aMin, aMax);
}
bool BoxesMeet(const PhysicsBody& a, const PhysicsBody& b) {
    return Meet(a.minxy->x, a.maxxy->x, b.minxy->x, b.maxxy->x) &&
           Meet(a.minxy->y, a.maxxy->y, b.minxy->y, b.maxxy->y);
}

class BroadphasePairs : public WorldTest {};

TEST_F(BroadphasePairs, CoverEveryMeetingPairInAllPairsOrder) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // Coordinates that trip up interval code: NaN, infinities, touching ends, zero-size boxes.
    const float odd[] = {nan, inf, -inf, 0.0f, -0.0f, 100.0f, 1e30f, -1e30f};
    std::mt19937 rng(7);
    auto coord = [&] { return static_cast<float>(rng() % 2000u) * 0.5f - 100.0f; };
    Broadphase bp;
    for (int round = 0; round < 40; ++round) {
        WorldList = std::make_shared<TList>();
        auto world = PhysicsWorld::Create(800.0f, 600.0f, 1);
        std::vector<Ref<PhysicsBody>> made;
        const int n = 5 + static_cast<int>(rng() % 200u);  // both below and above kSmallScene
        for (int i = 0; i < n; ++i) {
            auto b = PhysicsBody::Create(world.get());
            float v[4] = {coord(), coord(), 0, 0};
            v[2] = v[0] + static_cast<float>(rng() % 120u);
            v[3] = v[1] + static_cast<float>(rng() % 120u);
            if (rng() % 4u == 0) v[rng() % 4u] = odd[rng() % std::size(odd)];
            if (rng() % 10u == 0) std::swap(v[0], v[2]);  // ends swapped
            b->minxy->set(v[0], v[1]);
            b->maxxy->set(v[2], v[3]);
            made.push_back(b);
        }
        // Some bodies listed twice, one box copied exactly.
        world->PhysicsBodies->AddLast(made[1]);
        world->PhysicsBodies->AddLast(made[0]);
        made[3]->minxy->set(made[2]->minxy->x, made[2]->minxy->y);
        made[3]->maxxy->set(made[2]->maxxy->x, made[2]->maxxy->y);

        std::vector<PhysicsBody*> listed;
        for (PhysicsBody* b : world->PhysicsBodies->each<PhysicsBody>()) listed.push_back(b);
        const auto pairs = bp.Find(*world->PhysicsBodies);
        ASSERT_EQ(bp.bodies().size(), listed.size());
        std::set<std::pair<int32_t, int32_t>> found;
        for (size_t k = 0; k < pairs.size(); ++k) {
            const auto& p = pairs[k];
            ASSERT_LT(p.outer, p.inner);
            if (k > 0) {
                const auto& q = pairs[k - 1];
                ASSERT_TRUE(q.outer < p.outer || (q.outer == p.outer && q.inner < p.inner))
                    << "round " << round << ": pairs out of order at " << k;
            }
            found.insert({p.outer, p.inner});
        }
        // The pairs kept as tested are exactly those whose boxes meet.
        std::set<std::pair<int32_t, int32_t>> met;
        for (const auto& p : bp.pairs()) {
            if (bp.Met(p)) met.insert({p.outer, p.inner});
        }
        for (size_t i = 0; i < listed.size(); ++i) {
            EXPECT_EQ(bp.bodies()[i], listed[i]);
            for (size_t j = i + 1; j < listed.size(); ++j) {
                const std::pair<int32_t, int32_t> ij{static_cast<int32_t>(i),
                                                     static_cast<int32_t>(j)};
                const bool meet = BoxesMeet(*listed[i], *listed[j]);
                if (meet) {
                    EXPECT_TRUE(found.count(ij))
                        << "round " << round << ": missed pair " << i << ", " << j;
                }
                EXPECT_EQ(met.erase(ij) == 1, meet)
                    << "round " << round << ": pair " << i << ", " << j << " kept as tested";
            }
        }
        EXPECT_TRUE(met.empty());
    }
}

// A body whose box corner is a particle's position: a contact early in the pass moves the
// particle and so grows the box, and a later pair that did not meet when the pairs were found
// meets now. The pass must still collide it, as the all-pairs walk does. Both the small-scene
// walk and the grid (with far-away bodies added) are checked.
class SharedBoxCorner : public FreshRegistries<::testing::TestWithParam<int>> {
  protected:
    struct Built {
        Ref<PhysicsWorld> world;
        Ref<Verlet> corner, far;
    };

    static Ref<PhysicsBody> Body(PhysicsWorld* w, float x0, float y0, float x1, float y1) {
        auto b = PhysicsBody::Create(w);
        b->minxy->set(x0, y0);
        b->maxxy->set(x1, y1);
        return b;
    }

    static Built Build(int padding) {
        Built r;
        r.world = PhysicsWorld::Create(800.0f, 600.0f, 1);
        PhysicsWorld* w = r.world.get();
        auto particle = [w](VectRef pos) {
            return Verlet::Create(w, std::move(pos), MakeVect(0, 0), 1.0f, 1, 0);
        };
        // A pushes S's corner particle 1 px right; S's box, whose upper corner is that very
        // vector, then reaches past X's left side (110.5), which it fell short of before.
        Body(w, 94, 94, 106, 106)->addverlet(particle(MakeVect(100, 100)), 1);
        auto s = Body(w, 90, 90, 110, 100);
        r.corner = particle(s->maxxy);
        s->addverlet(r.corner, 1);
        r.far = particle(MakeVect(120, 95));
        Body(w, 110.5f, 92, 130, 98)->addverlet(r.far, 1);
        Body(w, 300, 300, 320, 320);  // a fourth body, apart
        for (int i = 0; i < padding; ++i) {
            const float x = 400.0f + 30.0f * static_cast<float>(i % 10);
            const float y = 200.0f + 30.0f * static_cast<float>(i / 10);
            Body(w, x, y, x + 20.0f, y + 20.0f);
        }
        return r;
    }
};

TEST_P(SharedBoxCorner, PairsMetOnlyAfterAContactMovedTheBoxAreCollided) {
    Built fast = Build(GetParam());
    Built reference = Build(GetParam());
    PhysicsBody::CollideAll(fast.world.get());
    PhysicsBody::CollideAllPairs(reference.world.get());
    // The all-pairs walk: the corner goes to 111, then meets X's particle 10.3 px away.
    EXPECT_NE(reference.far->pos->x, 120.0f);
    EXPECT_EQ(fast.corner->pos->x, reference.corner->pos->x);
    EXPECT_EQ(fast.corner->pos->y, reference.corner->pos->y);
    EXPECT_EQ(fast.far->pos->x, reference.far->pos->x);
    EXPECT_EQ(fast.far->pos->y, reference.far->pos->y);
}

INSTANTIATE_TEST_SUITE_P(SmallSceneAndGrid, SharedBoxCorner, ::testing::Values(0, 80));

// Two worlds built and driven alike; `reference` collides through the all-pairs walk.
class SideBySide : public FreshRegistries<> {
  protected:
    struct Run {
        Ref<PhysicsWorld> world;
        Ref<PhysicsBody> templateBox;
        Ref<PhysicsBody> pinned;  // a body whose box no step refreshes
        std::vector<Ref<PhysicsBody>> thrown;
    };

    static Ref<PhysicsBody> Square(PhysicsWorld* w, float x0, float y0, float x1, float y1,
                                   float mass, uint8_t active, uint8_t particlesCollide) {
        const float xy[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
        Ref<Verlet> p[4];
        for (int i = 0; i < 4; ++i) {
            p[i] = Verlet::Create(w, MakeVect(xy[i][0], xy[i][1]), MakeVect(0, 0), mass, active, 0);
        }
        auto b = PhysicsBody::Create(w);
        for (auto& v : p) b->addverlet(v, particlesCollide);
        for (int i = 0; i < 4; ++i) {
            b->addconstraint(constraint::Create(w, p[i], p[(i + 1) % 4], 1, 0, -1), 1);
        }
        b->addconstraint(constraint::Create(w, p[3], p[1], 1, 0, -1), 0);
        b->addconstraint(constraint::Create(w, p[2], p[0], 1, 0, -1), 0);
        return b;
    }

    static Run Build() {
        Run r;
        r.world = PhysicsWorld::Create(800.0f, 600.0f, 1);
        PhysicsWorld* w = r.world.get();
        w->CONSTRAINT_ITERATIONS = 5;
        Square(w, 10, 590, 790, 600, 99999.0f, 0, 1);
        // A pyramid of 63 boxes: with the bodies below and the throws, the scene goes past the
        // size up to which the broadphase tests every pair, and the grid takes over.
        r.templateBox = Square(w, 20, 530, 70, 580, 1.0f, 1, 1);
        Ref<PhysicsBody> last = r.templateBox;
        for (int k = 1; k < 11; ++k) {
            last = last->duplicate();
            last->Move(Vect(70, 0));
        }
        Ref<PhysicsBody> row = r.templateBox;
        for (int k = 1; k < 9; ++k) {
            row = row->duplicate();
            row->Move(Vect(35, -62));
            for (int j = 1; j < 11 - k; ++j) row->duplicate()->Move(Vect(70.0f * j, 0));
        }
        PhysicsBody::Create(w);  // no particles: keeps its first box for ever
        // A box one of whose corners stands on its own box's upper corner: a contact that moves
        // the corner moves the box while the pass runs, so that box must be read afresh.
        {
            Ref<PhysicsBody> b = PhysicsBody::Create(w);
            b->maxxy->set(480, 300);
            Ref<Verlet> p[4] = {Verlet::Create(w, MakeVect(440, 260), MakeVect(0, 0), 1, 1, 0),
                                Verlet::Create(w, MakeVect(480, 260), MakeVect(0, 0), 1, 1, 0),
                                Verlet::Create(w, b->maxxy, MakeVect(0, 0), 1, 1, 0),
                                Verlet::Create(w, MakeVect(440, 300), MakeVect(0, 0), 1, 1, 0)};
            for (auto& v : p) b->addverlet(v, 1);
            for (int i = 0; i < 4; ++i) {
                b->addconstraint(constraint::Create(w, p[i], p[(i + 1) % 4], 1, 0, -1), 1);
            }
        }
        // Edges that collide while its corners do not: the box is never refreshed, and is set
        // by hand below to awkward values while its edges still push particles about.
        r.pinned = Square(w, 300, 380, 340, 400, 99999.0f, 0, 0);  // a post boxes land on
        return r;
    }

    static void Step(Run& r, bool reference) {
        r.world->Update();
        PhysicsBody::UpdateAllPositions(r.world.get());
        if (reference) {
            PhysicsBody::CollideAllPairs(r.world.get());
        } else {
            PhysicsBody::CollideAll(r.world.get());
        }
    }

    // One scripted event, the same on both runs.
    static void Event(Run& r, int step, uint32_t what, uint32_t a, uint32_t b) {
        PhysicsWorld* w = r.world.get();
        const float nan = std::numeric_limits<float>::quiet_NaN();
        switch (what % 7u) {
            case 0:
            case 1: {  // a throw, the way the mouse makes one
                Ref<PhysicsBody> copy = r.templateBox->duplicate();
                copy->UpdatePosition();
                Vect target(static_cast<float>(60u + a % 680u), static_cast<float>(40u + b % 300u));
                copy->Position(target);
                copy->SetVelocity(
                    Vect(static_cast<float>(a % 15u) - 7.0f, static_cast<float>(b % 15u) - 7.0f));
                r.thrown.push_back(copy);
                break;
            }
            case 2:  // a thrown body removed
                if (!r.thrown.empty()) {
                    const size_t k = a % r.thrown.size();
                    r.thrown[k]->remove();
                    r.thrown.erase(r.thrown.begin() + static_cast<long>(k));
                }
                break;
            case 3:  // a thrown body copied where it stands: two bodies with identical boxes
                if (!r.thrown.empty())
                    r.thrown.push_back(r.thrown[a % r.thrown.size()]->duplicate());
                break;
            case 4:  // a body listed a second time
                if (!r.thrown.empty() && b % 3u == 0) {
                    w->PhysicsBodies->AddLast(r.thrown[a % r.thrown.size()]);
                }
                break;
            case 5:
            case 6: {  // the pinned body's box set to something awkward
                const float boxes[][4] = {
                    {294, 374, 346, 406},           {330, 395, 310, 385},
                    {nan, 374, 346, 406},           {294, 374, nan, 406},
                    {nan, nan, nan, nan},           {-INFINITY, 374, INFINITY, 406},
                    {294, -INFINITY, 346, INFINITY}};
                const auto& v = boxes[(a + static_cast<uint32_t>(step)) % std::size(boxes)];
                r.pinned->minxy->set(v[0], v[1]);
                r.pinned->maxxy->set(v[2], v[3]);
                break;
            }
        }
    }

    static std::vector<float> State(const Run& r) {
        std::vector<float> out;
        for (Verlet* v : r.world->VerletList->each<Verlet>()) {
            out.insert(out.end(), {v->pos->x, v->pos->y, v->oldpos->x, v->oldpos->y, v->accvel->x,
                                   v->accvel->y});
        }
        return out;
    }
};

TEST_F(SideBySide, BroadphaseAndAllPairsWalkGiveTheSameBitsThroughALongScene) {
    Run fast = Build();
    Run reference = Build();
    std::mt19937 rng(20261207u);
    int events = 0;
    for (int step = 0; step < 4000; ++step) {
        if (step % 25 == 0) {
            const uint32_t what = rng(), a = rng(), b = rng();
            Event(fast, step, what, a, b);
            Event(reference, step, what, a, b);
            ++events;
        }
        Step(fast, false);
        Step(reference, true);
        const std::vector<float> x = State(fast), y = State(reference);
        ASSERT_EQ(x.size(), y.size());
        ASSERT_EQ(std::memcmp(x.data(), y.data(), x.size() * sizeof(float)), 0)
            << "the runs part at step " << step;
    }
    EXPECT_EQ(events, 160);
    EXPECT_GT(fast.thrown.size(), 10u);  // the scene did get crowded
}

// Past a few hundred bodies the passes over all bodies walk with look-ahead; a pile that large,
// with a body listed twice and one with no particles among the boxes, must keep the bits of the
// plain body-by-body refresh and the all-pairs walk.
TEST_F(SideBySide, LargePileKeepsTheBitsOfTheBodyByBodyAndAllPairsWalks) {
    auto build = [] {
        Run r;
        r.world = PhysicsWorld::Create(1300.0f, 1200.0f, 1);
        PhysicsWorld* w = r.world.get();
        w->CONSTRAINT_ITERATIONS = 5;
        Square(w, 10, 1190, 1290, 1200, 99999.0f, 0, 1);
        // Columns of boxes overlapping their neighbours by a few pixels: contacts from the start.
        for (int row = 0; row < 15; ++row) {
            for (int col = 0; col < 20; ++col) {
                const float x = 20.0f + 58.0f * col + 3.0f * (row % 2);
                const float y = 1140.0f - 48.0f * row;
                Ref<PhysicsBody> b = Square(w, x, y, x + 50.0f, y + 50.0f, 1.0f, 1, 1);
                if (row == 7 && col == 3) w->PhysicsBodies->AddLast(b);
            }
        }
        PhysicsBody::Create(w);
        return r;
    };
    Run fast = build();
    Run reference = build();
    ASSERT_GT(static_cast<size_t>(fast.world->PhysicsBodies->Count()), kWalkAheadBodies);
    auto boxes = [](const Run& r) {
        std::vector<float> out;
        for (PhysicsBody* b : r.world->PhysicsBodies->fast<PhysicsBody>()) {
            for (const VectRef* v : {&b->minxy, &b->maxxy, &b->Pos, &b->Vel}) {
                out.insert(out.end(), {(*v)->x, (*v)->y});
            }
        }
        return out;
    };
    for (int step = 0; step < 40; ++step) {
        fast.world->Update();
        PhysicsBody::UpdateAllPositions(fast.world.get());
        PhysicsBody::CollideAll(fast.world.get());
        reference.world->Update();
        for (PhysicsBody* b : reference.world->PhysicsBodies->fast<PhysicsBody>()) {
            b->UpdatePosition();
        }
        PhysicsBody::CollideAllPairs(reference.world.get());
        const std::vector<float> x = State(fast), y = State(reference);
        const std::vector<float> bx = boxes(fast), by = boxes(reference);
        ASSERT_EQ(x.size(), y.size());
        ASSERT_EQ(std::memcmp(x.data(), y.data(), x.size() * sizeof(float)), 0)
            << "the runs part at step " << step;
        ASSERT_EQ(std::memcmp(bx.data(), by.data(), bx.size() * sizeof(float)), 0)
            << "the boxes part at step " << step;
    }
}

}  // namespace
