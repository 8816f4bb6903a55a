// Per-step cost of the physics core: the world update (relaxation and integration), the body
// pass and the collision pass, over stacks of boxes of growing size. No 2-D driver is current,
// so drawing costs nothing here.

#include <benchmark/benchmark.h>

#include "physics/body.h"
#include "physics/constraint.h"
#include "physics/verlet.h"
#include "physics/world.h"

namespace {

Ref<PhysicsBody> Box(PhysicsWorld* w, float x, float y, float mass, uint8_t active, float sx,
                     float sy) {
    Ref<Verlet> p[4] = {
        Verlet::Create(w, MakeVect(x, y), MakeVect(0, 0), mass, active, 0),
        Verlet::Create(w, MakeVect(x + sx, y), MakeVect(0, 0), mass, active, 0),
        Verlet::Create(w, MakeVect(x + sx, y + sy), MakeVect(0, 0), mass, active, 0),
        Verlet::Create(w, MakeVect(x, y + sy), MakeVect(0, 0), mass, active, 0)};
    auto b = PhysicsBody::Create(w);
    for (auto& v : p) b->addverlet(v, 1);
    for (int i = 0; i < 4; ++i) b->addconstraint(constraint::Create(w, p[i], p[(i + 1) % 4], 1, 0, -1), 1);
    b->addconstraint(constraint::Create(w, p[3], p[1], 1, 0, -1), 0);
    b->addconstraint(constraint::Create(w, p[2], p[0], 1, 0, -1), 0);
    return b;
}

// A floor and `boxes` boxes in rows of ten, stacked 60 apart, settled for a while.
Ref<PhysicsWorld> Stack(int boxes) {
    WorldList = std::make_shared<TList>();
    FunctionPtrList = std::make_shared<TList>();
    auto world = PhysicsWorld::Create(800.0f, 600.0f, 1);
    world->CONSTRAINT_ITERATIONS = 5;
    Box(world.get(), 10, 590, 99999.0f, 0, 780, 10);
    for (int i = 0; i < boxes; ++i) {
        Box(world.get(), 60.0f + 70.0f * static_cast<float>(i % 10),
            530.0f - 60.0f * static_cast<float>(i / 10), 1.0f, 1, 50, 50);
    }
    return world;
}

void Step(PhysicsWorld* w) {
    w->Update();
    PhysicsBody::UpdateAllPositions(w);
    PhysicsBody::CollideAll(w);
}

void BM_Step(benchmark::State& state) {
    auto world = Stack(static_cast<int>(state.range(0)));
    for (int i = 0; i < 300; ++i) Step(world.get());
    for (auto _ : state) Step(world.get());
    state.SetItemsProcessed(state.iterations() * world->VerletArray->last);
    state.counters["particles"] = static_cast<double>(world->VerletArray->last);
}
BENCHMARK(BM_Step)->Arg(10)->Arg(45)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);

void BM_CollideAll(benchmark::State& state) {
    auto world = Stack(static_cast<int>(state.range(0)));
    for (int i = 0; i < 300; ++i) Step(world.get());
    for (auto _ : state) PhysicsBody::CollideAll(world.get());
    state.SetItemsProcessed(state.iterations() * world->PhysicsBodies->Count());
}
BENCHMARK(BM_CollideAll)->Arg(45)->Arg(200)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
