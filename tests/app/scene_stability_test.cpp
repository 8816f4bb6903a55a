// Every built-in scene runs for 10,000 frames (three steps each) with a box thrown into it now
// and then, and stays sound: every coordinate finite, no particle outside the world by more
// than a step's travel. The sanitizer build runs 120 frames (SANDBOX_SCENE_FRAMES).

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "app/builtin_scenes.h"
#include "app/program.h"
#include "app/scene_file.h"
#include "physics/constraint.h"
#include "physics/stable_step.h"
#include "physics/verlet.h"

#ifndef SANDBOX_SCENE_FRAMES
#define SANDBOX_SCENE_FRAMES 10000
#endif

namespace {

constexpr float kMargin = 20.0f;  // beyond the walls: at most one step's travel, clamped next step

// Builds the built-in scene of that name (which loads without warnings) into `out`.
void BuildBuiltin(const std::string& name, SceneWorld& out) {
    const BuiltinScene* found = nullptr;
    for (const BuiltinScene& b : BuiltinScenes()) {
        if (b.name == name) found = &b;
    }
    ASSERT_NE(found, nullptr) << name;
    const SceneLoad load = LoadScene(found->text, name);
    ASSERT_TRUE(load.scene) << load.error;
    EXPECT_TRUE(load.warnings.empty()) << name;
    out = BuildSceneWorld(*load.scene);
}

class BuiltinSceneStability : public ::testing::TestWithParam<std::string> {};

TEST_P(BuiltinSceneStability, StaysFiniteAndInsideTheWorld) {
    SceneWorld s;
    ASSERT_NO_FATAL_FAILURE(BuildBuiltin(GetParam(), s));
    PhysicsWorld& w = *s.world;
    int32_t throws = 0;
    for (int32_t frame = 1; frame <= SANDBOX_SCENE_FRAMES; ++frame) {
        if (frame % 400 == 50 && throws < 12) {
            // Across the top, fast, alternately leftwards and rightwards, as the mouse throws.
            Ref<PhysicsBody> copy = s.templateBody->duplicate();
            copy->UpdatePosition();
            Vect target(100.0f + static_cast<float>((throws * 170) % 600), 120.0f);
            copy->Position(target);
            const float vx = throws % 2 == 0 ? 7.0f : -7.0f;
            copy->SetVelocity(Vect(vx, 2.0f));
            ++throws;
        }
        for (int32_t k = 0; k < kStepsPerFrame; ++k) StepWorld(w);
        if (frame % 50 != 0 && frame != SANDBOX_SCENE_FRAMES) continue;
        int32_t i = 0;
        for (Verlet* v : w.VerletList->each<Verlet>()) {
            const float x = v->pos->x, y = v->pos->y;
            ASSERT_TRUE(std::isfinite(x) && std::isfinite(y))
                << "frame " << frame << ", particle " << i;
            ASSERT_TRUE(x >= -kMargin && x <= w.Width + kMargin && y >= -kMargin &&
                        y <= w.Height + kMargin)
                << "frame " << frame << ", particle " << i << " at " << x << ", " << y;
            ++i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Scenes, BuiltinSceneStability,
                         ::testing::Values("bridge", "chain", "cloth", "crowd", "pyramid",
                                           "ragdoll", "ropes", "sheet", "softbodies", "stacks",
                                           "tower"));

// Left alone, a scene stands: after ten seconds nothing creeps (every particle moves less than a
// twentieth of a pixel a frame over the next second), nothing has sunk through the floor, and
// every stiff constraint still has its length, so nothing has folded or torn. The chain swings
// for good: it is not in this list. The tower and the stacks stand in the stable step.
class BuiltinSceneRest : public ::testing::TestWithParam<std::string> {};

TEST_P(BuiltinSceneRest, SettlesAndKeepsItsShapeUntilTouched) {
    SceneWorld s;
    ASSERT_NO_FATAL_FAILURE(BuildBuiltin(GetParam(), s));
    PhysicsWorld& w = *s.world;
    const int32_t constraints = w.ConstraintArray->last;
    auto frame = [&w] {
        for (int32_t k = 0; k < kStepsPerFrame; ++k) StepWorld(w);
    };
    for (int32_t f = 0; f < 600; ++f) frame();
    std::vector<float> before;
    for (Verlet* v : w.VerletList->each<Verlet>()) {
        before.push_back(v->pos->x);
        before.push_back(v->pos->y);
    }
    for (int32_t f = 0; f < 60; ++f) frame();
    size_t i = 0;
    for (Verlet* v : w.VerletList->each<Verlet>()) {
        const float dx = v->pos->x - before[i], dy = v->pos->y - before[i + 1];
        EXPECT_LT(std::sqrt(dx * dx + dy * dy) / 60.0f, 0.05f)
            << "particle " << i / 2 << " creeps, at " << v->pos->x << ", " << v->pos->y;
        // The floor's own particles and other fixed ones are where they were made.
        if (v->active) {
            EXPECT_LE(v->pos->y, 590.0f) << "particle " << i / 2 << " has sunk into the floor";
        }
        i += 2;
    }
    EXPECT_EQ(w.ConstraintArray->last, constraints) << "a constraint broke";
    for (constraint* c : w.ConstraintList->each<constraint>()) {
        if (c->elasticity < 1.0f) continue;  // springs give
        const float dx = c->v1->pos->x - c->v2->pos->x, dy = c->v1->pos->y - c->v2->pos->y;
        EXPECT_NEAR(std::sqrt(dx * dx + dy * dy), c->OriginalLength,
                    0.1f * c->OriginalLength + 0.5f);
    }
}

INSTANTIATE_TEST_SUITE_P(Scenes, BuiltinSceneRest,
                         ::testing::Values("bridge", "cloth", "crowd", "pyramid", "ragdoll",
                                           "ropes", "sheet", "softbodies", "stacks", "tower"));

// The crowd is a load, not a wall: settled, its boxes leave the upper part of the window and a
// strip on either side free, so that there is room to throw into it.
TEST(BuiltinScenes, CrowdLeavesRoomToThrowInto) {
    const BuiltinScene* crowd = nullptr;
    for (const BuiltinScene& s : BuiltinScenes()) {
        if (s.name == "crowd") crowd = &s;
    }
    ASSERT_NE(crowd, nullptr);
    const SceneLoad load = LoadScene(crowd->text, "crowd");
    ASSERT_TRUE(load.scene) << load.error;
    SceneWorld s = BuildSceneWorld(*load.scene);
    for (int32_t f = 0; f < 600 * kStepsPerFrame; ++f) StepWorld(*s.world);
    int32_t moving = 0;
    for (Verlet* v : s.world->VerletList->each<Verlet>()) {
        if (!v->active) continue;
        ++moving;
        EXPECT_GT(v->pos->y, 0.4f * 600.0f) << "particle at " << v->pos->x << ", " << v->pos->y;
        EXPECT_GT(v->pos->x, 80.0f) << "particle at " << v->pos->x << ", " << v->pos->y;
        EXPECT_LT(v->pos->x, 720.0f) << "particle at " << v->pos->x << ", " << v->pos->y;
    }
    EXPECT_GE(moving, 4 * 150) << "still a crowd";
}

// The stacking scenes step to the same bits whether the stable step runs on one thread or is
// split over two or three: every particle's position, previous position and speed after 300
// frames.
TEST(BuiltinScenes, StackingScenesStepTheSameOnOneThreadOrSeveral) {
    for (const char* name : {"stacks", "crowd", "tower"}) {
        std::vector<float> one;
        for (int32_t threads : {1, 2, 3}) {
            SceneWorld s;
            ASSERT_NO_FATAL_FAILURE(BuildBuiltin(name, s));
            ASSERT_EQ(s.world->stepMode, StepMode::kStable) << name;
            SetStepThreads(*s.world, threads);
            for (int32_t f = 0; f < 300 * kStepsPerFrame; ++f) StepWorld(*s.world);
            std::vector<float> state;
            for (Verlet* v : s.world->VerletList->each<Verlet>()) {
                for (const Vect* x : {v->pos.get(), v->oldpos.get(), v->vel.get()}) {
                    state.push_back(x->x);
                    state.push_back(x->y);
                }
            }
            if (threads == 1) {
                one = state;
                continue;
            }
            ASSERT_EQ(state.size(), one.size());
            EXPECT_EQ(std::memcmp(state.data(), one.data(), one.size() * sizeof(float)), 0)
                << name << " on " << threads << " threads";
        }
    }
}

TEST(BuiltinScenes, LoadWithoutWarningsAndWriteBackTheirOwnText) {
    ASSERT_GE(BuiltinScenes().size(), 11u);
    for (const BuiltinScene& s : BuiltinScenes()) {
        const SceneLoad load = LoadScene(s.text, std::string(s.name));
        ASSERT_TRUE(load.scene) << load.error;
        EXPECT_TRUE(load.warnings.empty()) << s.name;
        // Loaded and captured again, a scene writes back to its own text.
        SceneWorld built = BuildSceneWorld(*load.scene);
        EXPECT_EQ(WriteScene(CaptureScene(*built.world, *built.templateBody)), s.text) << s.name;
    }
}

}  // namespace
