// Debug views: what each layer draws, in which order and colour, and the pairs the views take from
// the last collision pass, checked against an independent all-pairs reading of its box test.

#include "physics/debug_draw.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "physics_fixture.h"

namespace {

struct Recorder : DebugDraw {
    struct Prim {
        char kind;  // 'L'ine, 'O'utline, 'P'oint, 'F'ill
        std::vector<float> xy;
        DebugColor color;
    };
    void Line(float x0, float y0, float x1, float y1, DebugColor c) override {
        prims.push_back({'L', {x0, y0, x1, y1}, c});
    }
    void Outline(const float* xy, int32_t n, DebugColor c) override {
        prims.push_back({'O', std::vector<float>(xy, xy + 2 * n), c});
    }
    void Point(float x, float y, DebugColor c) override { prims.push_back({'P', {x, y}, c}); }
    void FillPolygon(const float* xy, int32_t n, DebugColor c) override {
        prims.push_back({'F', std::vector<float>(xy, xy + 2 * n), c});
    }
    std::vector<Prim> prims;
};

bool Inside(float v, float lo, float hi) { return v > lo && v < hi; }
bool Meet(float aMin, float aMax, float bMin, float bMax) {
    return Inside(aMax, bMin, bMax) || Inside(aMin, bMin, bMax) || Inside(bMax, aMin, aMax);
}

class DebugViews : public WorldTest {
  protected:
    // A square of four particles, its four sides and two diagonals; corner `pinned` does not move.
    Ref<PhysicsBody> Square(float x, float y, float side, int pinned = -1) {
        const float xy[4][2] = {{x, y}, {x + side, y}, {x + side, y + side}, {x, y + side}};
        Ref<Verlet> p[4];
        auto b = PhysicsBody::Create(w);
        for (int i = 0; i < 4; ++i) {
            p[i] = Particle(xy[i][0], xy[i][1], 0, 0, 1, i == pinned ? 0 : 1);
            b->addverlet(p[i], 1);
        }
        for (int i = 0; i < 4; ++i) {
            b->addconstraint(constraint::Create(w, p[i], p[(i + 1) % 4], 1, 0, -1), 1);
        }
        b->addconstraint(constraint::Create(w, p[0], p[2], 1, 0, -1), 0);
        b->addconstraint(constraint::Create(w, p[1], p[3], 1, 0, -1), 0);
        return b;
    }
};

constexpr DebugLayer kAll = DebugLayer::kBodies | DebugLayer::kConstraints | DebugLayer::kBoxes |
                            DebugLayer::kPairs | DebugLayer::kParticles | DebugLayer::kPinned;

TEST_F(DebugViews, EachLayerDrawsItsShapesInLayerOrderInItsColour) {
    auto box = Square(100, 200, 40, /*pinned=*/2);
    auto stick = PhysicsBody::Create(w);  // two particles: nothing to fill
    auto s0 = Particle(300, 300), s1 = Particle(330, 300);
    stick->addverlet(s0, 1);
    stick->addverlet(s1, 1);
    stick->addconstraint(constraint::Create(w, s0, s1, 1, 0, -1), 1);
    PhysicsBody::UpdateAllPositions(w);

    DebugStyle style;
    style.body = {1, 1, 1, 255};
    style.constraint = {2, 2, 2, 255};
    style.box = {3, 3, 3, 255};
    style.pair = {4, 4, 4, 255};
    style.particle = {5, 5, 5, 255};
    style.pinned = {6, 6, 6, 128};
    int asked = 0;
    style.bodyColorContext = &asked;
    style.bodyColor = [](void* context, const PhysicsBody& b, DebugColor fill) {
        ++*static_cast<int*>(context);
        return DebugColor{fill.r, static_cast<uint8_t>(b.ID), 9, 200};
    };
    Recorder rec;
    DrawWorld(*w, rec, kAll, style);

    // Kinds and colours in drawing order: one fill, 7 constraints, 2 boxes, no pairs before any
    // collision pass, 6 particle crosses, one pinned square.
    std::string kinds;
    std::vector<uint8_t> colours;
    for (const auto& p : rec.prims) {
        kinds += p.kind;
        colours.push_back(p.color.r);
    }
    EXPECT_EQ(kinds, "F" + std::string(7, 'L') + "OO" + std::string(12, 'L') + "O");
    std::vector<uint8_t> expected{1};
    expected.insert(expected.end(), 7, 2);
    expected.insert(expected.end(), 2, 3);
    expected.insert(expected.end(), 12, 5);
    expected.insert(expected.end(), 1, 6);
    EXPECT_EQ(colours, expected);

    // The fill: the body's particles in order, in the colour the callback chose for it.
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(rec.prims[0].xy, (std::vector<float>{100, 200, 140, 200, 140, 240, 100, 240}));
    EXPECT_EQ(rec.prims[0].color, (DebugColor{1, static_cast<uint8_t>(box->ID), 9, 200}));
    // The last constraint, the stick, end to end; the box padded by the collision radius.
    EXPECT_EQ(rec.prims[7].xy, (std::vector<float>{300, 300, 330, 300}));
    EXPECT_EQ(rec.prims[8].xy, (std::vector<float>{94, 194, 146, 194, 146, 246, 94, 246}));
    // The first particle's cross, and the square round the pinned corner with its alpha.
    EXPECT_EQ(rec.prims[10].xy, (std::vector<float>{98, 200, 102, 200}));
    EXPECT_EQ(rec.prims[11].xy, (std::vector<float>{100, 198, 100, 202}));
    EXPECT_EQ(rec.prims[22].xy, (std::vector<float>{137, 237, 143, 237, 143, 243, 137, 243}));
    EXPECT_EQ(rec.prims[22].color.a, 128);

    // Particles as points; no layers, or a world never made with Create, draw nothing.
    style.particleArm = 0.0f;
    rec.prims.clear();
    DrawWorld(*w, rec, DebugLayer::kParticles, style);
    ASSERT_EQ(rec.prims.size(), 6u);
    EXPECT_EQ(rec.prims[5].kind, 'P');
    EXPECT_EQ(rec.prims[5].xy, (std::vector<float>{330, 300}));
    rec.prims.clear();
    DrawWorld(*w, rec, DebugLayer::kNone);
    PhysicsWorld bare;
    DrawWorld(bare, rec, kAll);
    EXPECT_TRUE(rec.prims.empty());
    EXPECT_EQ(TestedPairCount(bare), 0);
}

TEST_F(DebugViews, PairsAreThoseTheLastCollisionPassTested) {
    // A loose pile, more bodies than the broadphase walks pair by pair.
    std::mt19937 rng(11);
    for (int i = 0; i < 90; ++i) {
        Square(static_cast<float>(rng() % 400u), static_cast<float>(rng() % 300u), 30);
    }
    PhysicsBody::UpdateAllPositions(w);
    Recorder rec;
    DrawWorld(*w, rec, DebugLayer::kPairs);
    EXPECT_TRUE(rec.prims.empty()) << "no collision pass yet";

    PhysicsBody::CollideAll(w);
    // Every pair of list places i < j whose boxes meet, centre to centre, in that order: the pass
    // moves particles but neither the boxes nor the centres.
    std::vector<PhysicsBody*> listed;
    for (PhysicsBody* b : w->PhysicsBodies->fast<PhysicsBody>()) listed.push_back(b);
    std::vector<std::vector<float>> want;
    std::vector<size_t> inner;
    for (size_t i = 0; i < listed.size(); ++i) {
        for (size_t j = i + 1; j < listed.size(); ++j) {
            const PhysicsBody& a = *listed[i];
            const PhysicsBody& b = *listed[j];
            if (Meet(a.minxy->x, a.maxxy->x, b.minxy->x, b.maxxy->x) &&
                Meet(a.minxy->y, a.maxxy->y, b.minxy->y, b.maxxy->y)) {
                want.push_back({a.Pos->x, a.Pos->y, b.Pos->x, b.Pos->y});
                inner.push_back(j);
            }
        }
    }
    ASSERT_GT(want.size(), 50u);
    auto drawn = [&] {
        rec.prims.clear();
        DrawWorld(*w, rec, DebugLayer::kPairs);
        std::vector<std::vector<float>> lines;
        for (const auto& p : rec.prims) lines.push_back(p.xy);
        return lines;
    };
    EXPECT_EQ(drawn(), want);
    EXPECT_EQ(TestedPairCount(*w), static_cast<int32_t>(want.size()));

    // A body added since the pass is in no pair, even lying on the pile.
    auto late = Square(0, 0, 400);
    late->UpdatePosition();
    EXPECT_EQ(drawn(), want);
    // Bodies gone from the end of the list take their pairs with them.
    late->remove();
    for (size_t k = listed.size() - 5; k < listed.size(); ++k) listed[k]->remove();
    std::vector<std::vector<float>> kept;
    for (size_t k = 0; k < want.size(); ++k) {
        if (inner[k] < listed.size() - 5) kept.push_back(want[k]);
    }
    ASSERT_LT(kept.size(), want.size());
    EXPECT_EQ(drawn(), kept);
}

}  // namespace

// The edge-loop outline follows a body's colliding edges round, in whatever order they are
// listed, fills each loop of a body of several and nothing of an open run; the constraint colour
// is asked with the body each constraint belongs to, and a transparent answer draws nothing.
TEST_F(DebugViews, EdgeLoopOutlinesAndConstraintColoursKnowTheirBodies) {
    std::vector<Ref<Verlet>> p;
    auto body = [&](std::initializer_list<std::array<float, 2>> at,
                    std::initializer_list<std::array<int, 2>> edges) {
        auto b = PhysicsBody::Create(w);
        const size_t base = p.size();
        for (const auto& xy : at) {
            p.push_back(Particle(xy[0], xy[1]));
            b->addverlet(p.back(), 1);
        }
        for (const auto& e : edges) {
            b->addconstraint(
                constraint::Create(w, p[base + size_t(e[0])], p[base + size_t(e[1])], 1, 0, -1), 1);
        }
        return b;
    };
    // A triangle listed out of order, two triangles in one body, a rope of three links; then a
    // spring of no body from the triangle to the rope, and a brace across the triangle that
    // does not collide.
    auto triangle = body({{300, 100}, {340, 100}, {320, 140}}, {{0, 1}, {2, 0}, {1, 2}});
    body({{500, 100}, {540, 100}, {520, 140}, {500, 300}, {540, 300}, {520, 340}},
         {{0, 1}, {1, 2}, {2, 0}, {3, 4}, {4, 5}, {5, 3}});
    body({{600, 100}, {600, 120}, {600, 140}, {600, 160}}, {{0, 1}, {1, 2}, {2, 3}});
    constraint::Create(w, p[0], p[9], 0.5f, 0, -1);
    triangle->addconstraint(constraint::Create(w, p[0], p[2], 1, 0, -1), 0);

    DebugStyle style;
    style.outline = DebugOutline::kEdgeLoop;
    std::vector<DebugConstraintInfo> asked;
    style.constraintColorContext = &asked;
    style.constraintColor = [](void* context, const constraint& c, const DebugConstraintInfo& info,
                               DebugColor line) {
        static_cast<std::vector<DebugConstraintInfo>*>(context)->push_back(info);
        // The rigid links of bodies with no fill (the rope's) are not drawn.
        if (info.body != nullptr && !info.filled && c.elasticity == 1.0f) line.a = 0;
        return line;
    };
    Recorder rec;
    DrawWorld(*w, rec, DebugLayer::kBodies | DebugLayer::kConstraints, style);

    ASSERT_GE(rec.prims.size(), 4u);
    EXPECT_EQ(rec.prims[0].kind, 'F');
    EXPECT_EQ(rec.prims[0].xy, (std::vector<float>{300, 100, 340, 100, 320, 140}));
    EXPECT_EQ(rec.prims[1].xy, (std::vector<float>{500, 100, 540, 100, 520, 140}));
    EXPECT_EQ(rec.prims[2].xy, (std::vector<float>{500, 300, 540, 300, 520, 340}));
    EXPECT_EQ(rec.prims[3].kind, 'L') << "three loops filled; the rope not";
    // Asked for all 3 + 6 + 3 + 1 + 1 constraints, in list order.
    ASSERT_EQ(asked.size(), 14u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(asked[i].body, triangle.get());
        EXPECT_TRUE(asked[i].collides && asked[i].filled);
    }
    for (size_t i = 3; i < 9; ++i) EXPECT_TRUE(asked[i].filled) << i;
    for (size_t i = 9; i < 12; ++i) EXPECT_FALSE(asked[i].filled) << i;
    EXPECT_TRUE(asked[11].collides);
    EXPECT_EQ(asked[12].body, nullptr);  // the spring
    EXPECT_EQ(asked[13].body, triangle.get());
    EXPECT_FALSE(asked[13].collides);
    EXPECT_TRUE(asked[13].filled);
    // Drawn: the fills, the triangles' 3 + 6 edges, the spring and the brace.
    EXPECT_EQ(rec.prims.size(), 3u + 3 + 6 + 1 + 1);
}
