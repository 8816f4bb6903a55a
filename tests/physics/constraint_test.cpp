#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "physics_fixture.h"

namespace {

// A line sink that keeps what it is given.
struct LineRecorder {
    struct Line {
        float x0, y0, x1, y1;
    };
    static void Draw(void* context, float x0, float y0, float x1, float y1) {
        static_cast<LineRecorder*>(context)->lines.push_back({x0, y0, x1, y1});
    }
    void Reset() { lines.clear(); }
    std::vector<Line> lines;
};

class ConstraintTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        NoGravity();
        w->CONSTRAINT_ITERATIONS = 1;
    }
    // Only the constraint pass, so that integration does not move anything.
    void Relax() { constraint::Update(w); }
    // Points the world's line sink at a fresh recorder.
    LineRecorder* Record() {
        recorder = LineRecorder{};
        w->lineSink = {&LineRecorder::Draw, &recorder};
        return &recorder;
    }
    LineRecorder recorder;
};

TEST_F(ConstraintTest, CreateTakesTheGivenOrPresentLength) {
    auto a = Particle(100, 530), b = Particle(150, 530);
    auto measured = constraint::Create(w, a, b, 1, 0, -1);
    EXPECT_EQ(measured->OriginalLength, 50.0f);
    EXPECT_EQ(measured->GetLength(), 50.0f);
    EXPECT_EQ(measured->TargetLength, 0.0f);
    EXPECT_EQ(constraint::Create(w, a, b, 1, 0, 20)->OriginalLength, 20.0f);
    EXPECT_EQ(constraint::Create(w, a, b, 1, 0, 0)->OriginalLength, 0.0f);
    EXPECT_EQ(constraint::Create(w, a, b, 1, 0, NAN)->OriginalLength, 50.0f);
    EXPECT_EQ(measured->index, 0);
    EXPECT_EQ(w->ConstraintArray->last, 4);
}

struct RelaxCase {
    float m1, m2;
    uint8_t a1, a2;
    float x2;  // second end's start; the first starts at 0, rest length 50
    float want1, want2;
};

class RelaxationTest : public ConstraintTest, public ::testing::WithParamInterface<RelaxCase> {};

TEST_P(RelaxationTest, OnePassMovesTheEndsByTheirShares) {
    const RelaxCase c = GetParam();
    auto a = Particle(0, 0, 0, 0, c.m1, c.a1);
    auto b = Particle(c.x2, 0, 0, 0, c.m2, c.a2);
    auto k = constraint::Create(w, a, b, 1, 0, 50);
    Relax();
    EXPECT_FLOAT_EQ(a->pos->x, c.want1);
    EXPECT_FLOAT_EQ(b->pos->x, c.want2);
    EXPECT_FLOAT_EQ(k->totmass, c.m1 + c.m2);
    EXPECT_EQ(k->TargetLength, 50.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RelaxationTest,
    ::testing::Values(RelaxCase{1, 1, 1, 1, 60, 3, 57},        // both active: half each
                      RelaxCase{1, 1, 1, 0, 60, 12, 60},       // one end takes it all, unhalved
                      RelaxCase{1, 3, 1, 1, 60, 4.5f, 58.5f},  // the lighter end moves further
                      RelaxCase{1, 1, 1, 1, 40, -2, 42},       // compressed: pushed apart
                      RelaxCase{1, 1, 0, 0, 90, 0, 90},        // both inactive: nothing moves
                      RelaxCase{1, 1, 0, 1, 60, 0, 48}));

TEST_F(ConstraintTest, ZeroLengthMergesAtTheMassCentreWhateverTheFlags) {
    for (uint8_t active : {1, 0}) {
        auto a = Particle(0, 0, 0, 0, 1, active), b = Particle(4, 0, 0, 0, 3, active);
        auto k = constraint::Create(w, a, b, 1, 0, 0);
        Relax();
        EXPECT_FLOAT_EQ(a->pos->x, 3.0f);
        EXPECT_FLOAT_EQ(b->pos->x, 3.0f);
        k->remove();
    }
}

TEST_F(ConstraintTest, MasslessEndsMoveNeitherEndAndMakeNoNaN) {
    auto a = Particle(0, 0, 0, 0, 0), b = Particle(60, 0, 0, 0, 0);
    auto c = Particle(0, 10, 0, 0, 0), d = Particle(4, 10, 0, 0, 0);
    auto e = Particle(0, 20, 0, 0, 0, 1), f = Particle(70, 20, 0, 0, 0, 0);
    auto stretched = constraint::Create(w, a, b, 1, 0, 50);
    constraint::Create(w, c, d, 1, 0, 0);
    constraint::Create(w, e, f, 1, 0, 50);
    Relax();
    EXPECT_EQ(a->pos->x, 0.0f);
    EXPECT_EQ(b->pos->x, 60.0f);
    EXPECT_EQ(c->pos->x, 0.0f);
    EXPECT_EQ(d->pos->x, 4.0f);
    EXPECT_EQ(e->pos->x, 0.0f);
    EXPECT_EQ(stretched->v1prop, 0.0f);
    EXPECT_FALSE(std::isnan(stretched->v2prop));
}

TEST_F(ConstraintTest, BreakingIsStrictAndTheBrokenConstraintActsUntilRemoval) {
    w->CONSTRAINT_ITERATIONS = 1;
    auto a = Particle(0, 0), b = Particle(55, 0);
    auto exact = constraint::Create(w, a, b, 1, 5, 50);
    Relax();
    EXPECT_EQ(exact->setremove, 0);
    EXPECT_EQ(w->ConstraintArray->last, 1);

    LineRecorder* sink = Record();
    auto c = Particle(0, 100), d = Particle(60, 100);
    auto breaking = constraint::Create(w, c, d, 1, 5, 50);
    Relax();
    EXPECT_EQ(breaking->setremove, 1);
    EXPECT_EQ(sink->lines.size(), 2u);  // drawn in the update that breaks it
    EXPECT_FLOAT_EQ(c->pos->x, 3.0f);   // and still relaxed in it
    EXPECT_FALSE(w->ConstraintList->Contains(breaking.get()));
    EXPECT_EQ(w->ConstraintArray->last, 1);
    sink->Reset();
    Relax();
    EXPECT_EQ(sink->lines.size(), 1u);
}

TEST_F(ConstraintTest, NonPositiveBreakPointOrCompressionNeverBreaks) {
    auto a = Particle(0, 0), b = Particle(500, 0), c = Particle(0, 50), d = Particle(1, 50);
    auto never = constraint::Create(w, a, b, 1, 0, 50);
    auto negative = constraint::Create(w, a, b, 1, -3, 50);
    auto squeezed = constraint::Create(w, c, d, 1, 0.5f, 50);
    Relax();
    EXPECT_EQ(never->setremove + negative->setremove + squeezed->setremove, 0);
}

TEST_F(ConstraintTest, MarkedConstraintMovedIntoAVisitedSlotSurvivesOneMoreUpdate) {
    LineRecorder* sink = Record();
    auto p = Particle(0, 0), q = Particle(100, 0), r = Particle(0, 10), s = Particle(20, 10);
    auto t = Particle(0, 30), u = Particle(100, 30);
    auto first = constraint::Create(w, p, q, 1, 5, 50);  // stretched by 50: breaks
    auto middle = constraint::Create(w, r, s, 1, 5, 20);
    auto third = constraint::Create(w, t, u, 1, 5, 50);  // breaks too
    Relax();
    EXPECT_EQ(first->setremove, 1);
    EXPECT_EQ(third->setremove, 1);
    EXPECT_EQ(third->index, 0);
    EXPECT_EQ(w->ConstraintArray->last, 2);
    EXPECT_TRUE(w->ConstraintList->Contains(third.get()));
    sink->Reset();
    Relax();
    EXPECT_EQ(sink->lines.size(), 2u);  // still drawn once more
    EXPECT_EQ(w->ConstraintArray->last, 1);
    EXPECT_EQ(w->ConstraintArray->Getbyindex(0), middle);
    EXPECT_EQ(middle->index, 0);
}

TEST_F(ConstraintTest, ZeroIterationsDrawsButNeverRelaxesOrRemoves) {
    LineRecorder* sink = Record();
    w->CONSTRAINT_ITERATIONS = 0;
    auto a = Particle(0, 0), b = Particle(100, 0);
    auto k = constraint::Create(w, a, b, 1, 5, 50);
    Relax();
    EXPECT_EQ(sink->lines.size(), 1u);
    EXPECT_EQ(b->pos->x, 100.0f);
    EXPECT_EQ(k->setremove, 0);
    EXPECT_EQ(k->TargetLength, 0.0f);
}

TEST_F(ConstraintTest, SetLengthChangesWhatTheNextUpdateHolds) {
    auto a = Particle(0, 0), b = Particle(50, 0);
    auto k = constraint::Create(w, a, b, 1, 0, -1);
    k->SetLength(40);
    EXPECT_EQ(k->TargetLength, 0.0f);
    w->CONSTRAINT_ITERATIONS = 60;
    Relax();
    EXPECT_NEAR(b->pos->x - a->pos->x, 40.0f, 1e-3);
    k->SetElasticity(0.5f);
    EXPECT_EQ(k->GetElasticity(), 0.5f);
}

TEST_F(ConstraintTest, DrawsEveryConstraintInListOrderBeforeRelaxing) {
    LineRecorder* sink = Record();
    w->CONSTRAINT_ITERATIONS = 5;
    auto a = Particle(10, 20), b = Particle(70, 20), c = Particle(10, 80);
    constraint::Create(w, a, b, 1, 0, 50);
    constraint::Create(w, c, a, 1, 0, 50);
    w->Update();
    ASSERT_EQ(sink->lines.size(), 2u);
    // From the first end to the second, where they stood before relaxation.
    const LineRecorder::Line& l0 = sink->lines[0];
    EXPECT_EQ(l0.x0, 10.0f);
    EXPECT_EQ(l0.y0, 20.0f);
    EXPECT_EQ(l0.x1, 70.0f);
    EXPECT_EQ(l0.y1, 20.0f);
    const LineRecorder::Line& l1 = sink->lines[1];
    EXPECT_EQ(l1.x0, 10.0f);
    EXPECT_EQ(l1.y0, 80.0f);
    EXPECT_EQ(l1.x1, 10.0f);
    EXPECT_EQ(l1.y1, 20.0f);
    sink->Reset();
    w->Update();
    EXPECT_EQ(sink->lines.size(), 2u);  // once per update
    EXPECT_NE(sink->lines[0].x1, 70.0f);
}

TEST_F(ConstraintTest, NothingIsDrawnWithoutASinkAndTheSinkGetsItsContext) {
    auto a = Particle(0, 0), b = Particle(50, 0);
    constraint::Create(w, a, b, 1, 0, -1);
    EXPECT_EQ(constraint::Update(w), 0);
    LineRecorder* sink = Record();
    w->lineSink.draw = nullptr;  // a context without a function draws nothing either
    constraint::Update(w);
    EXPECT_TRUE(sink->lines.empty());
}

TEST_F(ConstraintTest, RemoveTwiceLeavesTheOtherConstraintsAlone) {
    auto a = Particle(0, 0), b = Particle(50, 0);
    auto k1 = constraint::Create(w, a, b, 1, 0, -1);
    auto k2 = constraint::Create(w, a, b, 1, 0, -1);
    k1->remove();
    EXPECT_EQ(k2->index, 0);
    k1->remove();
    EXPECT_EQ(w->ConstraintArray->last, 1);
    EXPECT_EQ(w->ConstraintArray->Getbyindex(0), k2);
}

// The relaxation gathers records and copies of positions; its result must be that of relaxing one
// constraint at a time through its own fields, pass after pass in slot order, in every case the
// passes tell apart: both ends, one end or neither end active, massless ends, a zero length, a
// stretch that takes the present-distance correction, a break, a constraint from a particle to
// itself, a position that is not a number; with a vector shared by two particles or an end
// that has left the world, the passes on the vectors themselves; and rods relaxed side by side in
// every such case, with what the relaxation keeps between updates changed under it.
class RelaxationCases : public ::testing::TestWithParam<int> {};

struct Built {
    Ref<PhysicsWorld> world;
    std::vector<Ref<Verlet>> particles;
    std::vector<Ref<constraint>> constraints;
};

Built Build(int variant) {
    Built b;
    b.world = PhysicsWorld::Create(800.0f, 600.0f, 1);
    PhysicsWorld* w = b.world.get();
    w->CONSTRAINT_ITERATIONS = 4;
    auto particle = [&](float x, float y, float mass, uint8_t active) {
        b.particles.push_back(
            Verlet::Create(w, MakeVect(x, y), MakeVect(0.0f, 0.0f), mass, active, 0));
        return b.particles.back();
    };
    auto join = [&](const Ref<Verlet>& p, const Ref<Verlet>& q, float e, float brk, float len) {
        b.constraints.push_back(constraint::Create(w, p, q, e, brk, len));
    };
    // A chain of unequal masses, stretched far enough in one place for the second correction.
    Ref<Verlet> prev = particle(10.0f, 10.0f, 1.0f, 1);
    for (int i = 1; i < 6; ++i) {
        Ref<Verlet> next = particle(10.0f + 13.7f * static_cast<float>(i), 10.0f + 3.1f * i,
                                    0.5f + static_cast<float>(i), 1);
        join(prev, next, 0.9f, 0.0f, i == 3 ? 2.0f : 11.0f);
        prev = next;
    }
    auto fixed = particle(200.0f, 50.0f, 3.0f, 0);
    auto loose = particle(230.0f, 61.0f, 1.0f, 1);
    join(fixed, loose, 1.0f, 0.0f, 20.0f);                            // second end only
    join(loose, fixed, 0.5f, 0.0f, 25.0f);                            // first end only
    join(fixed, particle(260.0f, 40.0f, 1.0f, 0), 1.0f, 0.0f, 5.0f);  // neither
    join(particle(300.0f, 300.0f, 0.0f, 1), particle(310.0f, 300.0f, 0.0f, 1), 1.0f, 0.0f, 3.0f);
    join(particle(400.0f, 100.0f, 2.0f, 1), particle(407.0f, 104.0f, 1.0f, 0), 1.0f, 0.0f, 0.0f);
    join(loose, loose, 1.0f, 0.0f, 4.0f);                               // to itself
    join(particle(500.0f, 500.0f, 1.0f, 1), loose, 1.0f, 0.5f, 10.0f);  // breaks
    join(particle(NAN, 20.0f, 1.0f, 1), particle(600.0f, 20.0f, 1.0f, 1), 1.0f, 0.0f, 8.0f);
    if (variant == 1) {  // two particles on one vector
        Ref<Verlet> twin = Verlet::Create(w, b.particles[2]->pos, MakeVect(0.0f, 0.0f), 1.0f, 1, 0);
        b.particles.push_back(twin);
        join(twin, b.particles[4], 1.0f, 0.0f, 30.0f);
    } else if (variant == 2) {  // an end that has left the world
        Ref<Verlet> gone = particle(120.0f, 140.0f, 1.0f, 1);
        join(gone, b.particles[1], 1.0f, 0.0f, 30.0f);
        gone->remove();
    } else if (variant == 3) {
        // Rods side by side, relaxed together: stretched a little, far enough for the second
        // correction, past their break point, at a coordinate that is not a number or infinite.
        for (int i = 0; i < 14; ++i) {
            const float x = 20.0f + 40.0f * static_cast<float>(i);
            const float stretch = (i % 3 == 0) ? 9.0f : 1.3f;
            Ref<Verlet> top = particle(x, 400.0f, 1.0f + 0.25f * static_cast<float>(i), 1);
            Ref<Verlet> bottom = particle(x + 3.0f, 400.0f + 10.0f * stretch, 1.5f, 1);
            join(top, bottom, 0.75f + 0.05f * static_cast<float>(i % 4), i == 5 ? 2.0f : 0.0f,
                 10.0f);
        }
        b.particles[b.particles.size() - 6]->pos->x = NAN;
        b.particles[b.particles.size() - 3]->pos->y = INFINITY;
    }
    return b;
}

// Between updates: some rods' ends made inactive, then a rod given another end, so that what the
// relaxation keeps from one update to the next must be made again.
void Change(Built& b, int update) {
    const size_t n = b.particles.size();
    if (update == 2) {
        for (size_t k = n - 28; k < n; k += 6) b.particles[k]->active = 0;
    }
    if (update == 3) b.constraints[b.constraints.size() - 2]->v2 = b.particles[n - 12];
}

// memcpy rather than std::bit_cast: the WebAssembly toolchain's library lacks the latter.
uint32_t Bits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

TEST_P(RelaxationCases, GatheredPassesGiveTheBitsOfOneConstraintAtATime) {
    WorldList = std::make_shared<TList>();
    FunctionPtrList = std::make_shared<TList>();
    Built fast = Build(GetParam());
    Built slow = Build(GetParam());
    for (int update = 0; update < 4; ++update) {
        const Array& arr = *slow.world->ConstraintArray;
        if (GetParam() == 3) {
            Change(fast, update);
            Change(slow, update);
        }
        constraint::Update(fast.world.get());
        for (int32_t i = 0; i < slow.world->CONSTRAINT_ITERATIONS; ++i) {
            for (int32_t j = 0; j < arr.last; ++j) {
                ObjectCast<constraint>(arr.at(j))->Relax(i == 0);
            }
        }
        for (int32_t j = 0; j < arr.last; ++j) {
            auto* c = ObjectCast<constraint>(arr.at(j));
            if (c->setremove) c->remove();
        }
        for (size_t k = 0; k < fast.particles.size(); ++k) {
            const Vect& f = *fast.particles[k]->pos;
            const Vect& s = *slow.particles[k]->pos;
            ASSERT_EQ(Bits(f.x), Bits(s.x)) << "particle " << k << " after update " << update;
            ASSERT_EQ(Bits(f.y), Bits(s.y)) << "particle " << k << " after update " << update;
        }
        for (size_t k = 0; k < fast.constraints.size(); ++k) {
            const constraint& f = *fast.constraints[k];
            const constraint& s = *slow.constraints[k];
            for (auto field : {&constraint::TargetLength, &constraint::totmass, &constraint::v1prop,
                               &constraint::v2prop}) {
                ASSERT_EQ(Bits(f.*field), Bits(s.*field)) << "constraint " << k;
            }
            ASSERT_EQ(f.setremove, s.setremove) << "constraint " << k;
            ASSERT_EQ(f.index, s.index) << "constraint " << k;
        }
    }
    EXPECT_EQ(fast.constraints[11]->setremove, 1);  // the breaking one did break
    WorldList.reset();
    FunctionPtrList.reset();
}

INSTANTIATE_TEST_SUITE_P(CopiesSharedVectorAndLeftParticle, RelaxationCases,
                         ::testing::Values(0, 1, 2, 3));

}  // namespace
