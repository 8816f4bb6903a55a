// One frame of the demo's simulation: three times world Update, UpdateAllPositions and
// CollideAll, on the pyramid scene plus a number of extra boxes dropped above it. The scene is
// built outside the timed loop; the pile keeps settling while it runs, as it does in the program.
// Items are simulation steps.

#include <benchmark/benchmark.h>

#include <memory>

#include "app/program.h"
#include "app/scene.h"

namespace {

void BM_DemoFrame(benchmark::State& state) {
    WorldList = std::make_shared<TList>();
    FunctionPtrList = std::make_shared<TList>();
    Ref<PhysicsWorld> world = PhysicsWorld::Create(800.0f, 600.0f, 1);
    world->CONSTRAINT_ITERATIONS = kConstraintIterations;
    Ref<PhysicsBody> templateBox = BuildScene(*world);
    // Extra boxes in a grid above the pyramid's flanks, where they fall onto it.
    const auto extra = static_cast<int32_t>(state.range(0));
    for (int32_t i = 0; i < extra; ++i) {
        Ref<PhysicsBody> box = templateBox->duplicate();
        box->Move(Vect(static_cast<float>(60 * (i % 11)) - 80.0f,
                       -500.0f + static_cast<float>(60 * (i / 11))));
    }

    for (auto _ : state) {
        for (int32_t s = 0; s < kStepsPerFrame; ++s) {
            world->Update();
            PhysicsBody::UpdateAllPositions(world.get());
            PhysicsBody::CollideAll(world.get());
        }
    }
    state.SetItemsProcessed(state.iterations() * kStepsPerFrame);
    state.counters["bodies"] = static_cast<double>(world->PhysicsBodyIDCount);
    WorldList.reset();
    FunctionPtrList.reset();
}
BENCHMARK(BM_DemoFrame)->Arg(0)->Arg(22)->Arg(55)->Unit(benchmark::kMicrosecond);

}  // namespace
