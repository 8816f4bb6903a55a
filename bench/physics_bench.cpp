// Per-step cost of the physics core on the demo's own boxes: the demo scene, pyramids of growing
// size built the demo's way, and the demo's window crowded with thrown boxes; the collision pass
// alone with the broadphase and with the all-pairs reference walk; and the memory one box takes.
//
// A step is what the program runs: world Update (constraint drawing, relaxation, integration),
// UpdateAllPositions, CollideAll. No line sink is set, so nothing is drawn. Scenes are built and
// settled outside the timed loop; items are particles stepped (or bodies, for the collision pass).
//
// The file also builds against an older tree of the library (-DPHYSICS_BENCH_BASELINE) for a
// side-by-side comparison: that tree has no broadphase, its CollideAll is the all-pairs walk.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/scene.h"
#include "bench/stack_scenes.h"
#include "physics/body.h"
#include "physics/constraint.h"
#include "physics/verlet.h"
#include "physics/world.h"
#ifndef PHYSICS_BENCH_BASELINE
#include "physics/edit.h"
#include "physics/stable_step.h"
#endif

namespace {

#ifdef PHYSICS_BENCH_BASELINE
int32_t CollideAllPairs(PhysicsWorld* w) { return PhysicsBody::CollideAll(w); }
#else
int32_t CollideAllPairs(PhysicsWorld* w) { return PhysicsBody::CollideAllPairs(w); }
#endif

constexpr int32_t kThrowDivisor = 16;  // the mouse's drag-to-speed divisor and limit
constexpr float kThrowLimit = 7.0f;

using bench::NewWorld;
using bench::Pyramid;
using bench::Scene;

#ifdef PHYSICS_BENCH_BASELINE
void Step(PhysicsWorld* w) {
    w->Update();
    PhysicsBody::UpdateAllPositions(w);
    PhysicsBody::CollideAll(w);
}
#else
// The step the world is set to: the default one, or the stable one.
void Step(PhysicsWorld* w) { StepWorld(*w); }
#endif

void Settle(PhysicsWorld* w, int steps) {
    for (int i = 0; i < steps; ++i) Step(w);
}

// The demo's 800 x 600 world with its floor and pyramid of 45 boxes.
Scene Demo() {
    Scene s = NewWorld(800.0f, 600.0f);
    s.templateBox = BuildScene(*s.world);
    return s;
}

// A scene switched to the stable step before it is settled.
template <class Build>
auto Stable(Build build) {
    return [build] {
        Scene s = build();
        s.world->stepMode = StepMode::kStable;
        return s;
    };
}

// The same, its stable steps split over `threads` threads (the same bits on any number).
template <class Build>
auto Threaded(Build build, int32_t threads) {
    return [build, threads] {
        Scene s = build();
        s.world->stepMode = StepMode::kStable;
        SetStepThreads(*s.world, threads);
        return s;
    };
}

float ThrowSpeed(int32_t delta) {
    float v = static_cast<float>(delta / kThrowDivisor);
    if (!(v <= kThrowLimit)) v = kThrowLimit;
    if (!(v >= -kThrowLimit)) v = -kThrowLimit;
    return v;
}

// Throws one box the way the mouse does: a copy of the template centred on (x, y), thrown with
// the speed of a drag of (dx, dy) pixels.
void Throw(Scene& s, float x, float y, int32_t dx, int32_t dy) {
    Ref<PhysicsBody> copy = s.templateBox->duplicate();
    copy->UpdatePosition();
    Vect target(x, y);
    copy->Position(target);
    copy->SetVelocity(Vect(ThrowSpeed(dx), ThrowSpeed(dy)));
}

// The demo scene after `boxes` throws at pseudo-random points of the window's upper two thirds,
// one frame (three steps) apart.
Scene Crowded(int32_t boxes, bool stable = false) {
    Scene s = Demo();
#ifndef PHYSICS_BENCH_BASELINE
    if (stable) s.world->stepMode = StepMode::kStable;
#else
    (void)stable;
#endif
    std::mt19937 rng(20261207u);
    for (int32_t i = 0; i < boxes; ++i) {
        const auto x = static_cast<float>(60u + rng() % 680u);
        const auto y = static_cast<float>(40u + rng() % 360u);
        const auto dx = static_cast<int32_t>(rng() % 225u) - 112;
        const auto dy = static_cast<int32_t>(rng() % 225u) - 112;
        Throw(s, x, y, dx, dy);
        Settle(s.world.get(), 3);
    }
    return s;
}

void ReportStep(benchmark::State& state, const Scene& s) {
    const auto particles = static_cast<double>(s.world->VerletArray->last);
    state.SetItemsProcessed(state.iterations() * s.world->VerletArray->last);
    state.counters["particles"] = particles;
    state.counters["bodies"] = static_cast<double>(s.world->PhysicsBodies->Count());
}

// Everything a step changes (constraints never break in these scenes): taken once the scene is
// settled and put back before every timed run, so that every run, and every build compared,
// times the very same steps from the very same state.
struct Snapshot {
    std::vector<float> values;

    template <class Visit>
    static void Walk(const Scene& s, Visit visit) {
        for (Verlet* v : s.world->VerletList->each<Verlet>()) {
            for (Vect* x : {v->pos.get(), v->oldpos.get(), v->vel.get(), v->accvel.get()}) {
                visit(x->x);
                visit(x->y);
            }
        }
        for (PhysicsBody* b : s.world->PhysicsBodies->each<PhysicsBody>()) {
            for (Vect* x : {b->minxy.get(), b->maxxy.get(), b->Pos.get(), b->Vel.get()}) {
                visit(x->x);
                visit(x->y);
            }
        }
        for (constraint* c : s.world->ConstraintList->each<constraint>()) {
            for (float* x : {&c->TargetLength, &c->totmass, &c->v1prop, &c->v2prop}) visit(*x);
        }
    }
    void Take(const Scene& s) {
        values.clear();
        Walk(s, [this](float& x) { values.push_back(x); });
    }
    void Restore(const Scene& s) const {
        size_t k = 0;
        Walk(s, [this, &k](float& x) { x = values[k++]; });
    }
};

// Scenes are built and settled once per benchmark, on its first run, and kept with their
// snapshot: the largest take seconds to build on the all-pairs walk.
struct Cached {
    Scene scene;
    Snapshot settled;
};

template <class Build>
Cached& Prepare(const std::string& key, Build build, int settle) {
    static std::map<std::string, Cached> scenes;
    auto [it, added] = scenes.try_emplace(key);
    if (added) {
        it->second.scene = build();
        Settle(it->second.scene.world.get(), settle);
        it->second.settled.Take(it->second.scene);
    }
    it->second.settled.Restore(it->second.scene);
    return it->second;
}

template <class Build>
void TimeStep(benchmark::State& state, const std::string& key, Build build, int settle) {
    Scene& s = Prepare(key, build, settle).scene;
    for (auto _ : state) Step(s.world.get());
    ReportStep(state, s);
}

// The collision pass alone, again and again on one settled state (it moves particles, so the
// pile drifts a little while it is timed, the same way for both walks).
template <class Build>
void TimeCollide(benchmark::State& state, const std::string& key, Build build, int settle,
                 bool allPairs) {
    Scene& s = Prepare(key, build, settle).scene;
    PhysicsWorld* w = s.world.get();
    for (auto _ : state) {
        if (allPairs) {
            CollideAllPairs(w);
        } else {
            PhysicsBody::CollideAll(w);
        }
    }
    state.SetItemsProcessed(state.iterations() * s.world->PhysicsBodies->Count());
    state.counters["bodies"] = static_cast<double>(s.world->PhysicsBodies->Count());
}

// One pass of the step alone, again and again on one settled state: the relaxation (the
// constraint pass, drawing nothing), the particle pass, or the bodies' boxes and centres.
enum class Pass { kRelax, kParticles, kBodies };

template <class Build>
void TimePass(benchmark::State& state, const std::string& key, Build build, int settle, Pass pass) {
    Scene& s = Prepare(key, build, settle).scene;
    PhysicsWorld* w = s.world.get();
    for (auto _ : state) {
        switch (pass) {
            case Pass::kRelax:
                constraint::Update(w);
                break;
            case Pass::kParticles:
                Verlet::Update(w);
                break;
            case Pass::kBodies:
                PhysicsBody::UpdateAllPositions(w);
                break;
        }
    }
    state.counters["bodies"] = static_cast<double>(s.world->PhysicsBodies->Count());
}

#ifndef PHYSICS_BENCH_BASELINE
// Frames as the program runs them, three steps each, with or without a grab held: the scene's
// last body (its top box) taken by its first corner and held where that stood (`lift` 0: the cost
// of the hold itself) or `lift` pixels above (the hold and the box it moves), the hold glided
// towards its target before each frame's steps (Grab::Advance). The hold is taken before the
// scene settles, so that the settled state every run starts from has it.
constexpr int32_t kStepsPerFrame = 3;

// The scene's last body: the top box of a pyramid.
Ref<PhysicsBody> LastBody(const Scene& s) {
    Ref<PhysicsBody> last;
    for (TListEnum e = s.world->PhysicsBodies->ObjectEnumerator(); e.HasNext();) {
        if (Ref<PhysicsBody> b = ObjectCast<PhysicsBody>(e.NextObject())) last = b;
    }
    return last;
}

template <class Build>
void TimeFrames(benchmark::State& state, const std::string& key, Build build, bool grab,
                float lift) {
    static std::map<std::string, std::unique_ptr<Grab>> grabs;
    std::unique_ptr<Grab>& hold = grabs[key];
    if (!hold) hold = std::make_unique<Grab>();
    Grab* g = hold.get();
    Cached& c = Prepare(
        key,
        [build, grab, g, lift] {
            Scene s = build();
            if (grab) {
                // The top box's first corner.
                const Ref<Verlet> corner =
                    ObjectCast<Verlet>(LastBody(s)->verlets->ObjectEnumerator().NextObject());
                g->Begin(*s.world, corner, corner->pos->x, corner->pos->y - lift);
            }
            return s;
        },
        60);
    PhysicsWorld* w = c.scene.world.get();
    for (auto _ : state) {
        if (g->Holding()) g->Advance(kStepsPerFrame);
        for (int32_t i = 0; i < kStepsPerFrame; ++i) Step(w);
    }
    state.SetItemsProcessed(state.iterations() * w->VerletArray->last);
    state.counters["bodies"] = static_cast<double>(w->PhysicsBodies->Count());
    state.counters["held"] = g->Holding() ? 1.0 : 0.0;
}

template <class Build>
void AddFrames(const std::string& name, Build build, int64_t frames) {
    const std::pair<const char*, float> kinds[] = {
        {"free", -1.0f}, {"held", 0.0f}, {"lifted", 40.0f}};
    for (auto [kind, lift] : kinds) {
        const std::string full = name + "/" + kind;
        const bool grab = lift >= 0.0f;
        benchmark::RegisterBenchmark(full.c_str(),
                                     [full, build, grab, lift](benchmark::State& st) {
                                         TimeFrames(st, full, build, grab, lift);
                                     })
            ->Unit(benchmark::kMicrosecond)
            ->Iterations(frames);
    }
}

// What a press costs: finding what it takes hold of (ParticleToHold), at the middle of the top
// box, more than the pick radius from its corners, so that the search falls back on the bodies.
template <class Build>
void TimePick(benchmark::State& state, const std::string& key, Build build) {
    Scene& s = Prepare(key, build, 60).scene;
    const Ref<PhysicsBody> top = LastBody(s);
    top->UpdatePosition();
    const float x = top->Pos->x, y = top->Pos->y;
    for (auto _ : state) benchmark::DoNotOptimize(ParticleToHold(*s.world, x, y, 15.0f));
    state.counters["bodies"] = static_cast<double>(s.world->PhysicsBodies->Count());
}

template <class Build>
void AddPick(const std::string& name, Build build, int64_t picks) {
    benchmark::RegisterBenchmark(name.c_str(),
                                 [name, build](benchmark::State& st) { TimePick(st, name, build); })
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(picks);
}
#endif

// Every run times a fixed number of steps (passes), the same in every build, few enough that
// the largest pyramids are timed before they come apart.
template <class Build>
void AddStep(const std::string& name, Build build, int settle, int64_t steps,
             bool processTime = false) {
    benchmark::internal::Benchmark* b = benchmark::RegisterBenchmark(
        name.c_str(),
        [name, build, settle](benchmark::State& st) { TimeStep(st, name, build, settle); });
    b->Unit(benchmark::kMicrosecond)->Iterations(steps);
    if (processTime) b->MeasureProcessCPUTime();  // every thread's, not the main one's alone
}

template <class Build>
void AddCollide(const std::string& name, Build build, int settle, int64_t passes) {
    for (bool allPairs : {false, true}) {
        const std::string full = name + (allPairs ? "/allpairs" : "/broadphase");
        benchmark::RegisterBenchmark(full.c_str(),
                                     [full, build, settle, allPairs](benchmark::State& st) {
                                         TimeCollide(st, full, build, settle, allPairs);
                                     })
            ->Unit(benchmark::kMicrosecond)
            ->Iterations(passes);
    }
}

template <class Build>
void AddPasses(const std::string& name, Build build, int settle, int64_t passes) {
    const std::pair<const char*, Pass> kinds[] = {
        {"relax", Pass::kRelax}, {"particles", Pass::kParticles}, {"bodies", Pass::kBodies}};
    for (auto [kind, pass] : kinds) {
        const std::string full = "pass/" + std::string(kind) + "/" + name;
        benchmark::RegisterBenchmark(full.c_str(),
                                     [name, build, settle, pass](benchmark::State& st) {
                                         TimePass(st, name, build, settle, pass);
                                     })
            ->Unit(benchmark::kMicrosecond)
            ->Iterations(passes);
    }
}

void Register() {
    AddStep("step/demo", Demo, 600, 3000);
    AddPasses("demo", Demo, 600, 3000);
    const std::pair<int32_t, int64_t> pyramids[] = {{9, 3000}, {20, 1000}, {40, 200}, {100, 40}};
    for (auto [rows, steps] : pyramids) {
        AddStep(
            "step/pyramid/" + std::to_string(rows), [rows] { return Pyramid(rows); }, 60, steps);
    }
    AddStep(
        "step/crowded/100", [] { return Crowded(100); }, 60, 1000);
    AddStep(
        "step/crowded/500", [] { return Crowded(500); }, 60, 200);
#ifndef PHYSICS_BENCH_BASELINE
    // The stable step on the same scenes.
    AddStep("step/stable/demo", Stable(Demo), 600, 3000);
    for (auto [rows, steps] : pyramids) {
        AddStep("step/stable/pyramid/" + std::to_string(rows),
                Stable([rows] { return Pyramid(rows); }), 60, steps);
    }
    AddStep(
        "step/stable/crowded/500", [] { return Crowded(500, true); }, 60, 200);
    // The stable step on one thread and on two (CPU: the whole process's processor time).
    for (auto [rows, steps] : {std::pair<int32_t, int64_t>{40, 200}, {100, 40}}) {
        for (int32_t threads : {1, 2}) {
            AddStep("step/stable/pyramid/" + std::to_string(rows) +
                        "/threads:" + std::to_string(threads),
                    Threaded([rows] { return Pyramid(rows); }, threads), 60, steps, true);
        }
    }
    // What holding a grab costs a frame: the demo, and a pyramid of 2,016 boxes.
    AddFrames("frame/demo", Demo, 1000);
    AddFrames(
        "frame/pyramid/63", [] { return Pyramid(63); }, 40);
    AddPick("pick/demo", Demo, 1000);
    AddPick(
        "pick/pyramid/63", [] { return Pyramid(63); }, 40);
#endif
    AddCollide("collide/demo", Demo, 600, 5000);
    const std::pair<int32_t, int64_t> collided[] = {{9, 5000}, {40, 300}, {63, 60}, {100, 20}};
    for (auto [rows, passes] : collided) {
        AddCollide(
            "collide/pyramid/" + std::to_string(rows), [rows] { return Pyramid(rows); }, 60,
            passes);
    }
    AddCollide(
        "collide/crowded/500", [] { return Crowded(500); }, 60, 200);
}

long PeakResidentKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;  // KiB on Linux
}

// Peak resident memory growth while boxes are added to the demo scene (duplicates of the
// template, moved about), per box. Measured first, before any benchmark has raised the peak.
double BytesPerBox() {
    constexpr int32_t kAdded = 20000;
    Scene s = Demo();
    const long before = PeakResidentKiB();
    for (int32_t i = 0; i < kAdded; ++i) {
        s.templateBox->duplicate()->Move(
            Vect(static_cast<float>(i % 10) * 60.0f, -static_cast<float>(i / 10) * 0.25f));
    }
    const long after = PeakResidentKiB();
    const double perBox = static_cast<double>(after - before) * 1024.0 / kAdded;
    WorldList.reset();
    FunctionPtrList.reset();
    return perBox;
}

}  // namespace

// --no_memory leaves out the memory measurement (for profiling the steps alone).
int main(int argc, char** argv) {
    bool memory = true;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--no_memory") {
            memory = false;
            for (int k = i; k + 1 < argc; ++k) argv[k] = argv[k + 1];
            --argc;
            break;
        }
    }
    if (memory) {
        char text[32];
        std::snprintf(text, sizeof text, "%.0f", BytesPerBox());
        benchmark::AddCustomContext("bytes_per_box", text);
    }
    Register();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
