#include "app/scene.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/program.h"
#include "physics/constraint.h"
#include "physics/verlet.h"

namespace {

class DemoScene : public ::testing::Test {
  protected:
    void SetUp() override {
        world = PhysicsWorld::Create(800.0f, 600.0f, 1);
        world->CONSTRAINT_ITERATIONS = 5;
        templateBox = BuildScene(*world);
        for (PhysicsBody* b : world->PhysicsBodies->each<PhysicsBody>()) bodies.push_back(b);
    }

    static std::vector<Verlet*> Particles(const PhysicsBody& b) {
        std::vector<Verlet*> out;
        for (Verlet* v : b.verlets->each<Verlet>()) out.push_back(v);
        return out;
    }
    static std::vector<constraint*> Constraints(const TList& list) {
        std::vector<constraint*> out;
        for (constraint* c : list.each<constraint>()) out.push_back(c);
        return out;
    }
    static void ExpectAt(const Verlet* v, float x, float y) {
        EXPECT_EQ(v->pos->x, x);
        EXPECT_EQ(v->pos->y, y);
    }

    Ref<PhysicsWorld> world;
    Ref<PhysicsBody> templateBox;
    std::vector<PhysicsBody*> bodies;
};

TEST_F(DemoScene, HasFortySixBodiesWithIdsInCreationOrder) {
    ASSERT_EQ(bodies.size(), 46u);
    for (size_t i = 0; i < bodies.size(); ++i) {
        EXPECT_EQ(bodies[i]->ID, static_cast<int32_t>(i));
        EXPECT_EQ(bodies[i]->verlets->Count(), 4);
        EXPECT_EQ(bodies[i]->activeverlets->Count(), 4);
        EXPECT_EQ(bodies[i]->constraints->Count(), 6);
        EXPECT_EQ(bodies[i]->activeconstraints->Count(), 4);
    }
    EXPECT_EQ(world->PhysicsBodyIDCount, 46);
    EXPECT_EQ(bodies[1], templateBox.get());
}

TEST_F(DemoScene, ParticlesAndConstraintsSitInTheSlotsTheirIndexNames) {
    EXPECT_EQ(world->VerletList->Count(), 184);
    EXPECT_EQ(world->VerletArray->last, 184);
    EXPECT_EQ(world->ConstraintList->Count(), 276);
    EXPECT_EQ(world->ConstraintArray->last, 276);

    int32_t slot = 0;
    for (Verlet* v : world->VerletList->each<Verlet>()) {
        EXPECT_EQ(v->index, slot);
        EXPECT_EQ(world->VerletArray->at(v->index), v);
        ++slot;
    }
    slot = 0;
    for (constraint* c : world->ConstraintList->each<constraint>()) {
        EXPECT_EQ(c->index, slot);
        EXPECT_EQ(world->ConstraintArray->at(c->index), c);
        ++slot;
    }
}

TEST_F(DemoScene, FloorIsAHeavyInactiveStripWithItsBracesCornerToCorner) {
    const PhysicsBody& floor = *bodies[0];
    const std::vector<Verlet*> p = Particles(floor);
    ASSERT_EQ(p.size(), 4u);
    ExpectAt(p[0], 10, 590);
    ExpectAt(p[1], 790, 590);
    ExpectAt(p[2], 790, 600);
    ExpectAt(p[3], 10, 600);
    for (const Verlet* v : p) {
        EXPECT_EQ(v->mass, 99999.0f);
        EXPECT_EQ(v->active, 0);
        EXPECT_EQ(v->oldpos->x, v->pos->x);
        EXPECT_EQ(v->oldpos->y, v->pos->y);
    }
    const std::vector<constraint*> c = Constraints(*floor.constraints);
    ASSERT_EQ(c.size(), 6u);
    EXPECT_EQ(c[0]->OriginalLength, 780.0f);
    EXPECT_EQ(c[1]->OriginalLength, 10.0f);
    EXPECT_EQ(c[4]->v1.get(), p[0]);  // P1-P3
    EXPECT_EQ(c[4]->v2.get(), p[2]);
    EXPECT_EQ(c[5]->v1.get(), p[1]);  // P2-P4
    EXPECT_EQ(c[5]->v2.get(), p[3]);
}

TEST_F(DemoScene, TemplateKeepsItsParticleAndConstraintOrder) {
    const std::vector<Verlet*> p = Particles(*templateBox);
    ASSERT_EQ(p.size(), 4u);
    ExpectAt(p[0], 100, 530);
    ExpectAt(p[1], 150, 530);
    ExpectAt(p[2], 150, 580);
    ExpectAt(p[3], 100, 580);
    for (const Verlet* v : p) {
        EXPECT_EQ(v->mass, 1.0f);
        EXPECT_EQ(v->active, 1);
        EXPECT_EQ(v->ghost, 0);
    }
    // The template's particles are slots 4..7, right after the floor's.
    EXPECT_EQ(p[0]->index, 4);

    const std::vector<constraint*> c = Constraints(*templateBox->constraints);
    ASSERT_EQ(c.size(), 6u);
    const Verlet* ends[6][2] = {{p[0], p[1]}, {p[1], p[2]}, {p[2], p[3]},
                                {p[3], p[0]}, {p[3], p[1]}, {p[2], p[0]}};
    for (size_t i = 0; i < c.size(); ++i) {
        EXPECT_EQ(c[i]->v1.get(), ends[i][0]) << "constraint " << i;
        EXPECT_EQ(c[i]->v2.get(), ends[i][1]) << "constraint " << i;
        EXPECT_EQ(c[i]->elasticity, 1.0f);
        EXPECT_EQ(c[i]->BreakPoint, 0.0f);
    }
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(c[i]->OriginalLength, 50.0f);
    EXPECT_FLOAT_EQ(c[4]->OriginalLength, 70.710678f);
    EXPECT_FLOAT_EQ(c[5]->OriginalLength, 70.710678f);
    // Only the sides collide.
    const std::vector<constraint*> edges = Constraints(*templateBox->activeconstraints);
    ASSERT_EQ(edges.size(), 4u);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(edges[i], c[i]);
}

TEST_F(DemoScene, PyramidRowsStepRightAndUp) {
    // Top-left corners by creation order: row 1 left to right, then for each higher row its
    // first box followed by the rest of that row.
    std::vector<std::pair<float, float>> expected;
    for (int k = 0; k < 9; ++k) expected.emplace_back(100.0f + 70.0f * k, 530.0f);
    for (int r = 2; r <= 9; ++r) {
        for (int k = 0; k <= 9 - r; ++k) {
            expected.emplace_back(100.0f + 35.0f * (r - 1) + 70.0f * k, 530.0f - 62.0f * (r - 1));
        }
    }
    ASSERT_EQ(expected.size(), 45u);
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::vector<Verlet*> p = Particles(*bodies[i + 1]);
        ASSERT_EQ(p.size(), 4u);
        const auto [x, y] = expected[i];
        SCOPED_TRACE(testing::Message() << "body " << i + 1);
        ExpectAt(p[0], x, y);
        ExpectAt(p[1], x + 50, y);
        ExpectAt(p[2], x + 50, y + 50);
        ExpectAt(p[3], x, y + 50);
        for (const Verlet* v : p) {  // moved, not thrown: at rest
            EXPECT_EQ(v->oldpos->x, v->pos->x);
            EXPECT_EQ(v->oldpos->y, v->pos->y);
        }
    }
    // The last row-1 box and the single top box.
    ExpectAt(Particles(*bodies[9])[0], 660, 530);
    ExpectAt(Particles(*bodies[45])[0], 380, 34);
    ExpectAt(Particles(*bodies[45])[2], 430, 84);
}

TEST_F(DemoScene, CopiesKeepTheTemplateBraceOrder) {
    const PhysicsBody& top = *bodies[45];
    const std::vector<Verlet*> p = Particles(top);
    const std::vector<constraint*> c = Constraints(*top.constraints);
    ASSERT_EQ(c.size(), 6u);
    EXPECT_EQ(c[4]->v1.get(), p[3]);
    EXPECT_EQ(c[4]->v2.get(), p[1]);
    EXPECT_EQ(c[5]->v1.get(), p[2]);
    EXPECT_EQ(c[5]->v2.get(), p[0]);
}

}  // namespace

// F5's refusal is an error: one line on standard error naming the program, none on standard
// output (where the collision timings go).
TEST_F(DemoScene, SaveKeyFailureGoesToStandardError) {
    namespace fs = std::filesystem;
    const fs::path home = fs::current_path();
    const fs::path gone = fs::temp_directory_path() / ("save_key_" + std::to_string(getpid()));
    fs::create_directories(gone);
    fs::current_path(gone);
    fs::remove(gone);  // the working folder no longer exists: nothing can be written there
    DemoState state;
    state.world = world;
    state.templateBox = templateBox;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    SaveSceneFromKey(state);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    fs::current_path(home);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err.rfind("sandbox: Cannot save the scene: cannot write in", 0), 0u) << err;
}
