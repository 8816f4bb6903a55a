#include "physics/debug_draw.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <utility>
#include <vector>

#include "physics/body.h"
#include "physics/constraint.h"
#include "physics/internal/step_cache.h"
#include "physics/verlet.h"
#include "physics/world.h"

namespace {

// A bare world (made without Create) has no lists: it draws as an empty one.
template <class T>
auto Each(const Ref<TList>& list) {
    static const TList kEmpty;
    return (list ? *list : kEmpty).fast<T>();
}

// The loops b's colliding constraints close: runs of them through particles that end exactly two
// of them each, back to where they began (a box's four sides, a ball's rim; in a body of several,
// each). Their corners go into xy loop after loop, each loop's corner count into `sizes`; open
// runs (a chain's links) and loops through a particle that ends more edges give none.
void EdgeLoops(const PhysicsBody& b, std::vector<float>& xy, std::vector<int32_t>& sizes,
               std::vector<std::pair<const Verlet*, int32_t>>& ends) {
    std::vector<const constraint*> edges;
    if (b.activeconstraints) {
        for (const constraint* c : b.activeconstraints->fast<constraint>()) {
            if (c->v1 != c->v2) edges.push_back(c);  // a constraint on one particle ends nothing
        }
    }
    const auto n = static_cast<int32_t>(edges.size());
    if (n < 3) return;
    ends.clear();
    for (int32_t i = 0; i < n; ++i) {
        ends.emplace_back(edges[static_cast<size_t>(i)]->v1.get(), i);
        ends.emplace_back(edges[static_cast<size_t>(i)]->v2.get(), i);
    }
    std::sort(ends.begin(), ends.end());
    // Where a particle's entries start, and whether it ends exactly two edges.
    auto first = [&ends](const Verlet* v) {
        return static_cast<size_t>(
            std::lower_bound(ends.begin(), ends.end(), std::make_pair(v, INT32_MIN)) -
            ends.begin());
    };
    auto two = [&ends](size_t k) {
        return k + 1 < ends.size() && ends[k + 1].first == ends[k].first &&
               (k + 2 >= ends.size() || ends[k + 2].first != ends[k].first);
    };
    std::vector<uint8_t> used(static_cast<size_t>(n), 0);
    for (int32_t e0 = 0; e0 < n; ++e0) {
        if (used[static_cast<size_t>(e0)] != 0) continue;
        used[static_cast<size_t>(e0)] = 1;
        const Verlet* start = edges[static_cast<size_t>(e0)]->v1.get();
        const Verlet* at = edges[static_cast<size_t>(e0)]->v2.get();
        if (!two(first(start))) continue;
        const size_t mark = xy.size();
        xy.push_back(start->pos->x);
        xy.push_back(start->pos->y);
        int32_t edge = e0;
        bool closed = false;
        while (true) {
            if (at == start) {
                closed = true;
                break;
            }
            const size_t k = first(at);
            if (!two(k)) break;  // an open end, or a fork
            xy.push_back(at->pos->x);
            xy.push_back(at->pos->y);
            edge = ends[k].second != edge ? ends[k].second : ends[k + 1].second;
            if (used[static_cast<size_t>(edge)] != 0) break;
            used[static_cast<size_t>(edge)] = 1;
            const constraint* c = edges[static_cast<size_t>(edge)];
            at = c->v1.get() == at ? c->v2.get() : c->v1.get();
        }
        const auto corners = static_cast<int32_t>((xy.size() - mark) / 2);
        if (closed && corners >= 3) {
            sizes.push_back(corners);
        } else {
            xy.resize(mark);
        }
    }
}

// Fills the bodies; `filled` gets, by place in the body list, whether each one was.
void DrawBodies(const PhysicsWorld& world, DebugDraw& draw, const DebugStyle& style,
                std::vector<uint8_t>& filled) {
    std::vector<float> outline;
    std::vector<int32_t> sizes;
    std::vector<std::pair<const Verlet*, int32_t>> ends;
    for (const PhysicsBody* b : Each<PhysicsBody>(world.PhysicsBodies)) {
        outline.clear();
        sizes.clear();
        filled.push_back(0);
        if (style.outline == DebugOutline::kEdgeLoop) {
            EdgeLoops(*b, outline, sizes, ends);
        } else if (b->verlets) {
            for (const Verlet* v : b->verlets->fast<Verlet>()) {
                outline.push_back(v->pos->x);
                outline.push_back(v->pos->y);
            }
            sizes.push_back(static_cast<int32_t>(outline.size() / 2));
        }
        size_t at = 0;
        for (const int32_t corners : sizes) {
            const float* xy = outline.data() + at;
            at += 2 * static_cast<size_t>(corners);
            if (corners < 3) continue;  // a point or a stick has no inside to fill
            const DebugColor fill = style.bodyColor != nullptr
                                        ? style.bodyColor(style.bodyColorContext, *b, style.body)
                                        : style.body;
            draw.FillPolygon(xy, corners, fill);
            filled.back() = 1;
        }
    }
}

// Each constraint in list order, in the colour the style gives it.
void DrawConstraints(const PhysicsWorld& world, DebugDraw& draw, const DebugStyle& style,
                     const std::vector<uint8_t>& filled) {
    if (style.constraintColor == nullptr) {
        for (const constraint* c : Each<constraint>(world.ConstraintList)) {
            draw.Line(c->v1->pos->x, c->v1->pos->y, c->v2->pos->x, c->v2->pos->y, style.constraint);
        }
        return;
    }
    // What is known of each constraint, by its slot in the world's array.
    std::vector<DebugConstraintInfo> info;
    const Array* slots = world.ConstraintArray.get();
    const int32_t count = slots != nullptr ? slots->last : 0;
    info.resize(static_cast<size_t>(count));
    auto slotOf = [slots, count](const constraint* c) {
        const bool held = c->index >= 0 && c->index < count && slots->at(c->index) == c;
        return held ? static_cast<size_t>(c->index) : SIZE_MAX;
    };
    size_t place = 0;
    for (const PhysicsBody* b : Each<PhysicsBody>(world.PhysicsBodies)) {
        const bool wasFilled = place < filled.size() && filled[place] != 0;
        ++place;
        if (!b->constraints) continue;
        for (const constraint* c : b->constraints->fast<constraint>()) {
            const size_t slot = slotOf(c);
            if (slot == SIZE_MAX || info[slot].body != nullptr) continue;
            info[slot].body = b;
            info[slot].filled = wasFilled;
        }
        if (!b->activeconstraints) continue;
        for (const constraint* c : b->activeconstraints->fast<constraint>()) {
            const size_t slot = slotOf(c);
            if (slot != SIZE_MAX && info[slot].body == b) info[slot].collides = true;
        }
    }
    const DebugConstraintInfo none;
    for (const constraint* c : Each<constraint>(world.ConstraintList)) {
        const size_t slot = slotOf(c);
        const DebugConstraintInfo& known = slot != SIZE_MAX ? info[slot] : none;
        const DebugColor color =
            style.constraintColor(style.constraintColorContext, *c, known, style.constraint);
        if (color.a == 0) continue;
        draw.Line(c->v1->pos->x, c->v1->pos->y, c->v2->pos->x, c->v2->pos->y, color);
    }
}

void DrawBoxes(const PhysicsWorld& world, DebugDraw& draw, DebugColor color) {
    for (const PhysicsBody* b : Each<PhysicsBody>(world.PhysicsBodies)) {
        if (!b->minxy || !b->maxxy) continue;
        const float x0 = b->minxy->x, y0 = b->minxy->y, x1 = b->maxxy->x, y1 = b->maxxy->y;
        const float corners[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
        draw.Outline(corners, 4, color);
    }
}

// Each pair the last collision pass tested, joined centre to centre. The pass knows the bodies by
// their places in the list, so the drawing finds the bodies at those places now.
void DrawPairs(const PhysicsWorld& world, DebugDraw& draw, DebugColor color) {
    std::vector<const PhysicsBody*> atPlace;
    for (const PhysicsBody* b : Each<PhysicsBody>(world.PhysicsBodies)) atPlace.push_back(b);
    const Broadphase& broadphase = world.Cache().broadphase;
    for (const Broadphase::Pair& p : broadphase.pairs()) {
        if (!broadphase.Met(p)) continue;
        if (static_cast<size_t>(p.inner) >= atPlace.size()) continue;  // gone since the pass
        const PhysicsBody& a = *atPlace[static_cast<size_t>(p.outer)];
        const PhysicsBody& b = *atPlace[static_cast<size_t>(p.inner)];
        if (!a.Pos || !b.Pos) continue;
        draw.Line(a.Pos->x, a.Pos->y, b.Pos->x, b.Pos->y, color);
    }
}

void DrawParticles(const PhysicsWorld& world, DebugDraw& draw, const DebugStyle& style) {
    const float arm = style.particleArm;
    for (const Verlet* v : Each<Verlet>(world.VerletList)) {
        const float x = v->pos->x, y = v->pos->y;
        if (arm == 0.0f) {
            draw.Point(x, y, style.particle);
            continue;
        }
        draw.Line(x - arm, y, x + arm, y, style.particle);
        draw.Line(x, y - arm, x, y + arm, style.particle);
    }
}

void DrawPinned(const PhysicsWorld& world, DebugDraw& draw, const DebugStyle& style) {
    const float h = style.pinnedHalf;
    for (const Verlet* v : Each<Verlet>(world.VerletList)) {
        if (v->active) continue;
        const float x0 = v->pos->x - h, y0 = v->pos->y - h, x1 = v->pos->x + h, y1 = v->pos->y + h;
        const float corners[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
        draw.Outline(corners, 4, style.pinned);
    }
}

}  // namespace

void DrawWorld(const PhysicsWorld& world, DebugDraw& draw, DebugLayer layers,
               const DebugStyle& style) {
    std::vector<uint8_t> filled;
    if (Has(layers, DebugLayer::kBodies)) DrawBodies(world, draw, style, filled);
    if (Has(layers, DebugLayer::kConstraints)) DrawConstraints(world, draw, style, filled);
    if (Has(layers, DebugLayer::kBoxes)) DrawBoxes(world, draw, style.box);
    if (Has(layers, DebugLayer::kPairs)) DrawPairs(world, draw, style.pair);
    if (Has(layers, DebugLayer::kParticles)) DrawParticles(world, draw, style);
    if (Has(layers, DebugLayer::kPinned)) DrawPinned(world, draw, style);
}

int32_t TestedPairCount(const PhysicsWorld& world) {
    const Broadphase& broadphase = world.Cache().broadphase;
    int32_t count = 0;
    for (const Broadphase::Pair& p : broadphase.pairs()) count += broadphase.Met(p) ? 1 : 0;
    return count;
}
