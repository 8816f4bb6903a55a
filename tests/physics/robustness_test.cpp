// Faults that once corrupted the simulation or memory: constraints stretched so far that their
// relaxation overflowed to NaN, members that outlived their world, a callback appended by the
// last callback of an Update that did not run in it, and a pile too big for its world that the
// collision pass pushed through the floor.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "physics/collision.h"
#include "physics/edit.h"
#include "physics/stable_step.h"
#include "physics_fixture.h"
#include "runtime/error.h"

namespace {

float Distance(const Verlet& a, const Verlet& b) {
    return std::hypot(a.pos->x - b.pos->x, a.pos->y - b.pos->y);
}

bool Finite(const Verlet& v) {
    return std::isfinite(v.pos->x) && std::isfinite(v.pos->y) && std::isfinite(v.oldpos->x) &&
           std::isfinite(v.oldpos->y);
}

class FarStretched : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        NoGravity();
        w->CONSTRAINT_ITERATIONS = 1;
    }
};

// Worked numbers for one pass. Below the limit the pass is the rest-length formula, throwing
// the ends past each other; past it the correction is divided by the present distance.
TEST_F(FarStretched, OnePassKeepsTheFormulaBelowTheLimitAndDividesByTheDistancePastIt) {
    // Both ends active, masses equal: the limit is five times the rest length.
    auto a = Particle(0, 0), b = Particle(240, 0);  // 4.8 x 50: k = 3.8, each end moves 228
    auto c = constraint::Create(w, a, b, 1, 0, 50);
    constraint::Update(w);
    EXPECT_FLOAT_EQ(a->pos->x, 228.0f);
    EXPECT_FLOAT_EQ(b->pos->x, 12.0f);

    a->pos->set(0, 0);
    b->pos->set(300, 0);  // 6 x 50: the formula would leave them 450 apart; half the excess goes
    constraint::Update(w);
    EXPECT_FLOAT_EQ(a->pos->x, 62.5f);
    EXPECT_FLOAT_EQ(b->pos->x, 237.5f);

    // One end active: the limit is three times the rest length, and past it the active end lands
    // on the rest length.
    b->active = 0;
    a->pos->set(0, 0);
    b->pos->set(145, 0);  // 2.9 x 50: k = 1.9, the end jumps to 275.5
    constraint::Update(w);
    EXPECT_FLOAT_EQ(a->pos->x, 275.5f);
    a->pos->set(0, 0);
    b->pos->set(0, 200);  // 4 x 50
    constraint::Update(w);
    EXPECT_FLOAT_EQ(a->pos->x, 0.0f);
    EXPECT_FLOAT_EQ(a->pos->y, 150.0f);
    EXPECT_FLOAT_EQ(b->pos->y, 200.0f);
    EXPECT_EQ(c->setremove, 0);
}

struct Stretch {
    float times;  // the constraint's length over its rest length at the start
    uint8_t secondActive;
};
void PrintTo(const Stretch& s, std::ostream* os) {
    *os << s.times << "x, second end " << (s.secondActive ? "active" : "inactive");
}

class LoneConstraint : public WorldTest, public ::testing::WithParamInterface<Stretch> {};

// A lone constraint released far stretched, under gravity, stepped as the demo steps (five
// passes per update): every coordinate stays a number and the length is back at rest within a
// few steps, also once the pair lies on the floor of the world.
TEST_P(LoneConstraint, StaysFiniteAndReturnsToItsRestLength) {
    const Stretch s = GetParam();
    w->CONSTRAINT_ITERATIONS = 5;
    const float half = 25.0f * s.times;
    auto a = Particle(400 - half, 300);
    auto b = Particle(400 + half, 300, 0, 0, 1, s.secondActive);
    constraint::Create(w, a, b, 1, 0, 50);
    for (int step = 1; step <= 400; ++step) {
        w->Update();
        ASSERT_TRUE(Finite(*a) && Finite(*b)) << "step " << step;
        if (step >= 10) {
            ASSERT_NEAR(Distance(*a, *b), 50.0f, 2.5f) << "step " << step;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Stretches, LoneConstraint,
                         ::testing::Values(Stretch{4, 1}, Stretch{4.5f, 1}, Stretch{5, 1},
                                           Stretch{6, 1}, Stretch{10, 1}, Stretch{15, 1},
                                           Stretch{3.5f, 0}, Stretch{5, 0}, Stretch{12, 0}),
                         [](const ::testing::TestParamInfo<Stretch>& info) {
                             std::string t = std::to_string(info.param.times);
                             t = t.substr(0, t.find_last_not_of('0') + 1);
                             if (t.back() == '.') t.pop_back();
                             for (char& ch : t) ch = ch == '.' ? '_' : ch;
                             return "x" + t + (info.param.secondActive ? "_both" : "_one");
                         });

// Members keep a link to their world that does not keep it alive. Once a program replaces
// WorldList and the world goes, using a member that still lives raises the run-time error.
TEST_F(WorldTest, MembersOutlivingTheirWorldRaiseTheRuntimeError) {
    auto a = Particle(100, 100), b = Particle(150, 100);
    auto c = constraint::Create(w, a, b, 1, 0, -1);
    auto body = PhysicsBody::Create(w);
    body->addverlet(a, 1);
    body->addconstraint(c, 1);
    auto removed = Particle(200, 100);
    removed->remove();  // out of the world's containers, but still linked to it

    std::weak_ptr<PhysicsWorld> gone = world;
    world.reset();
    WorldList = std::make_shared<TList>();
    ASSERT_TRUE(gone.expired());
    EXPECT_TRUE(a->pworld.expired());

    EXPECT_THROW(a->checkwalls(), RuntimeError);
    EXPECT_THROW(removed->checkwalls(), RuntimeError);
    EXPECT_THROW(a->duplicate(), RuntimeError);
    EXPECT_THROW(a->remove(), RuntimeError);
    EXPECT_THROW(c->remove(), RuntimeError);
    EXPECT_THROW(body->duplicate(), RuntimeError);
    EXPECT_THROW(body->remove(), RuntimeError);
    EXPECT_THROW(Verlet().checkwalls(), RuntimeError);  // never linked
    // Whatever does not need the world goes on working.
    EXPECT_EQ(a->Move(Vect(1, 0)), 0);
    EXPECT_EQ(a->pos->x, 101.0f);
}

std::vector<int>* g_calls = nullptr;
int32_t Plain(PhysicsWorld*) {
    g_calls->push_back(1);
    return 0;
}
bool g_appended = false;
int32_t AppendsOnce(PhysicsWorld* w) {
    g_calls->push_back(2);
    if (!g_appended) w->AddProperty(&Plain);
    g_appended = true;
    return 0;
}
int32_t AppendsThenLeaves(PhysicsWorld* w) {
    g_calls->push_back(3);
    w->AddProperty(&Plain);
    w->RemoveProperty(&AppendsThenLeaves);
    return 0;
}

class LastCallback : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        g_calls = &calls;
        g_appended = false;
        // Only the callbacks under test: the two passes would add nothing here.
        w->RemoveProperty(&constraint::Update);
        w->RemoveProperty(&Verlet::Update);
    }
    std::vector<int> calls;
};

TEST_F(LastCallback, AppendingRunsTheNewEntryInTheSameUpdate) {
    w->AddProperty(&AppendsOnce);
    w->Update();
    EXPECT_EQ(calls, (std::vector<int>{2, 1}));
    calls.clear();
    w->Update();
    EXPECT_EQ(calls, (std::vector<int>{2, 1}));
}

TEST_F(LastCallback, RemovingItselfAfterAppendingStillRunsTheNewEntry) {
    w->AddProperty(&AppendsThenLeaves);
    w->Update();
    EXPECT_EQ(calls, (std::vector<int>{3, 1}));
    calls.clear();
    w->Update();
    EXPECT_EQ(calls, (std::vector<int>{1}));
}

}  // namespace

// Six hundred of the demo's boxes, three times the window's area, dropped as one overlapping
// block: the pile is crushed by its own weight, and the collision pass's contacts, summed, push
// particles through the floor and walls. Whatever the pile does, no particle ends a step more
// than the walls' give past them.
TEST_F(WorldTest, AnOverfullPileStaysWithinTheWallsGive) {
    w->CONSTRAINT_ITERATIONS = 5;
    for (int row = 0; row < 20; ++row) {
        for (int col = 0; col < 30; ++col) {
            const float x = 10.0f + 25.0f * static_cast<float>(col);
            const float y = 40.0f + 25.0f * static_cast<float>(row);
            ASSERT_NE(MakeBox(*w, x, y, x + 50.0f, y + 50.0f), nullptr);
        }
    }
    float farthest = 0.0f;
    int worstStep = 0;
    for (int step = 1; step <= 400; ++step) {
        StepWorld(*w);
        for (Verlet* v : w->VerletList->fast<Verlet>()) {
            const float out =
                std::max({-v->pos->x, v->pos->x - 800.0f, -v->pos->y, v->pos->y - 600.0f, 0.0f});
            if (out > farthest) farthest = out, worstStep = step;
        }
    }
    EXPECT_LE(farthest, kWallGive) << "at step " << worstStep;
}
