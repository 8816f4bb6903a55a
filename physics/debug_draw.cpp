#include "physics/debug_draw.h"

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

void DrawBodies(const PhysicsWorld& world, DebugDraw& draw, const DebugStyle& style) {
    std::vector<float> outline;
    for (const PhysicsBody* b : Each<PhysicsBody>(world.PhysicsBodies)) {
        outline.clear();
        if (b->verlets) {
            for (const Verlet* v : b->verlets->fast<Verlet>()) {
                outline.push_back(v->pos->x);
                outline.push_back(v->pos->y);
            }
        }
        const auto corners = static_cast<int32_t>(outline.size() / 2);
        if (corners < 3) continue;  // a point or a stick has no inside to fill
        const DebugColor fill = style.bodyColor != nullptr
                                    ? style.bodyColor(style.bodyColorContext, *b, style.body)
                                    : style.body;
        draw.FillPolygon(outline.data(), corners, fill);
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
    if (Has(layers, DebugLayer::kBodies)) DrawBodies(world, draw, style);
    if (Has(layers, DebugLayer::kConstraints)) {
        for (const constraint* c : Each<constraint>(world.ConstraintList)) {
            draw.Line(c->v1->pos->x, c->v1->pos->y, c->v2->pos->x, c->v2->pos->y, style.constraint);
        }
    }
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
