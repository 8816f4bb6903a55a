// A small scene built the way the demo builds its own: a static floor and boxes copied with
// duplicate and Move, stepped for a few hundred steps.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "physics/collision.h"
#include "physics/stable_step.h"
#include "physics_fixture.h"

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

class SceneTest : public WorldTest {
  protected:
    Ref<PhysicsBody> Quad(const float (&xy)[4][2], float mass, uint8_t active, bool braceBoxWise) {
        std::vector<Ref<Verlet>> p;
        for (auto& c : xy) p.push_back(Particle(c[0], c[1], 0, 0, mass, active));
        std::vector<Ref<constraint>> edges;
        for (int i = 0; i < 4; ++i)
            edges.push_back(constraint::Create(w, p[i], p[(i + 1) % 4], 1, 0, -1));
        auto b = PhysicsBody::Create(w);
        for (auto& v : p) b->addverlet(v, 1);
        for (auto& e : edges) b->addconstraint(e, 1);
        if (braceBoxWise) {
            b->addconstraint(constraint::Create(w, p[3], p[1], 1, 0, -1), 0);
            b->addconstraint(constraint::Create(w, p[2], p[0], 1, 0, -1), 0);
        } else {
            b->addconstraint(constraint::Create(w, p[0], p[2], 1, 0, -1), 0);
            b->addconstraint(constraint::Create(w, p[1], p[3], 1, 0, -1), 0);
        }
        return b;
    }

    void Build() {
        w->CONSTRAINT_ITERATIONS = 5;
        const float floorXY[4][2] = {{10, 590}, {790, 590}, {790, 600}, {10, 600}};
        const float boxXY[4][2] = {{100, 530}, {150, 530}, {150, 580}, {100, 580}};
        Quad(floorXY, 99999.0f, 0, false);
        auto last = Quad(boxXY, 1.0f, 1, true);
        auto first = last;
        for (int i = 0; i < 3; ++i) {
            last = last->duplicate();
            last->Move(Vect(70, 0));
        }
        auto second = first->duplicate();
        second->Move(Vect(35, -62));
        second->duplicate()->Move(Vect(70, 0));
        auto thrown = first->duplicate();
        thrown->UpdatePosition();
        auto target = MakeVect(400, 100);
        thrown->Position(*target);
        thrown->SetVelocity(Vect(3, -1));
    }

    void Step() {
        w->Update();
        PhysicsBody::UpdateAllPositions(w);
        PhysicsBody::CollideAll(w);
    }

    std::vector<float> Positions() const {
        std::vector<float> out;
        for (Verlet* v : w->VerletList->each<Verlet>()) {
            out.push_back(v->pos->x);
            out.push_back(v->pos->y);
        }
        return out;
    }
};

TEST_F(SceneTest, BoxesSettleOnTheFloorWithoutNaNAndWithConsistentSlots) {
    Build();
    EXPECT_EQ(w->PhysicsBodies->Count(), 8);
    EXPECT_EQ(w->VerletArray->last, 32);
    EXPECT_EQ(w->ConstraintArray->last, 48);
    for (int i = 0; i < 400; ++i) Step();
    for (Verlet* v : w->VerletList->each<Verlet>()) {
        ASSERT_FALSE(std::isnan(v->pos->x) || std::isnan(v->pos->y));
        if (v->active) {
            EXPECT_LT(v->pos->y, 590.0f) << "fell into the floor";
        }
        EXPECT_EQ(w->VerletArray->Getbyindex(v->index).get(), v);
    }
    for (constraint* c : w->ConstraintList->each<constraint>()) {
        EXPECT_EQ(w->ConstraintArray->Getbyindex(c->index).get(), c);
    }
    // The floor has not moved.
    auto floor = ObjectCast<PhysicsBody>(w->PhysicsBodies->First());
    auto corner = ObjectCast<Verlet>(floor->verlets->First());
    EXPECT_EQ(corner->pos->x, 10.0f);
    EXPECT_EQ(corner->pos->y, 590.0f);
}

TEST_F(SceneTest, TwoRunsGiveIdenticalBits) {
    Build();
    for (int i = 0; i < 300; ++i) Step();
    const std::vector<float> first = Positions();

    WorldList = std::make_shared<TList>();
    FunctionPtrList = std::make_shared<TList>();
    world = PhysicsWorld::Create(800.0f, 600.0f, 1);
    w = world.get();
    Build();
    for (int i = 0; i < 300; ++i) Step();
    const std::vector<float> second = Positions();
    ASSERT_EQ(first.size(), second.size());
    EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(float)), 0);
}

TEST_F(SceneTest, StepsAllocateNothing) {
    Build();
    Step();
    const long before = g_allocations.load();
    for (int i = 0; i < 50; ++i) Step();
    EXPECT_EQ(g_allocations.load() - before, 0);
}

// On one thread and split over two, once the boxes have settled (the helper is started by the
// first split step, and each piece of the contact search keeps a list of its own, which grows
// while the boxes' contacts change).
TEST_F(SceneTest, StableStepsAllocateNothing) {
    Build();
    w->stepMode = StepMode::kStable;
    for (int32_t threads : {1, 2}) {
        SetStepThreads(*w, threads);
        for (int i = 0; i < 200; ++i) StepWorld(*w);
        const long before = g_allocations.load();
        for (int i = 0; i < 50; ++i) StepWorld(*w);
        EXPECT_EQ(g_allocations.load() - before, 0) << threads << " threads";
    }
}

}  // namespace
