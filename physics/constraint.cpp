#include "physics/constraint.h"

#include <cmath>

const ClassInfo constraint::kClass{"constraint", &Object::kClass};

Ref<constraint> constraint::Create(PhysicsWorld* world, Ref<Verlet> first, Ref<Verlet> second,
                                   float elasticity, float breakPoint, float length) {
    auto c = std::make_shared<constraint>();
    c->v1 = std::move(first);
    c->v2 = std::move(second);
    c->elasticity = elasticity;
    c->BreakPoint = breakPoint;
    if (length >= 0.0f) {
        c->OriginalLength = length;
    } else {
        const float dx = c->v1->pos->x - c->v2->pos->x;
        const float dy = c->v1->pos->y - c->v2->pos->y;
        c->OriginalLength = std::sqrt(dx * dx + dy * dy);
    }
    world->ConstraintList->AddLast(c);
    c->pworld = world;
    c->index = world->ConstraintArray->add(c);
    return c;
}

namespace {

// One relaxation of constraint k (the constraint itself or its working copy), whose ends have
// masses massA, massB and flags activeA, activeB and stand at p1, p2; the mass shares are
// refreshed when firstPass is set. p1 and p2 may be one vector.
template <class K>
inline void RelaxOne(K& k, float massA, float massB, uint8_t activeA, uint8_t activeB, Vect& p1,
                     Vect& p2, bool firstPass) {
    const float dx = p1.x - p2.x;
    const float dy = p1.y - p2.y;
    const float dist = std::sqrt(dx * dx + dy * dy);
    if (firstPass) {
        k.totmass = massA + massB;
        if (k.totmass == 0.0f) {
            // massless ends: no shares to give, and neither end is moved below
            k.v1prop = 0.0f;
            k.v2prop = 0.0f;
        } else {
            k.v1prop = massA / k.totmass / 2.0f;
            k.v2prop = massB / k.totmass / 2.0f;
        }
    }
    k.TargetLength = k.OriginalLength;
    const float diff = dist - k.TargetLength;
    if (k.BreakPoint > 0.0f && diff > k.BreakPoint) k.setremove = 1;
    if (k.totmass == 0.0f) return;

    if (k.TargetLength == 0.0f) {
        // Merge at the mass-weighted centre, whatever the active flags.
        const float x = p1.x * (massA / k.totmass) + p2.x * (massB / k.totmass);
        const float y = p1.y * (massA / k.totmass) + p2.y * (massB / k.totmass);
        p1.x = x;
        p1.y = y;
        p2.x = p1.x;
        p2.y = p1.y;
        return;
    }

    float kk = diff * k.elasticity / k.TargetLength;
    // Dividing by the rest length makes the correction grow with the square of the stretch. Past
    // about five times the rest length with both ends active (three times with one), it throws
    // the ends past each other to a distance greater than the present one; every later pass does
    // so again and the coordinates overflow within a few steps. Such a correction is divided by
    // the present distance instead: the ends then move towards the rest length (at elasticity 1,
    // halfway with both ends active, all the way with one). Below that stretch nothing changes.
    const float share = (activeA && activeB) ? k.v1prop + k.v2prop : 1.0f;
    if (kk * share > 2.0f) kk = diff * k.elasticity / dist;
    const float fx = kk * dx;
    const float fy = kk * dy;
    if (activeA && activeB) {
        p1.x = p1.x - fx * k.v2prop;
        p1.y = p1.y - fy * k.v2prop;
        p2.x = p2.x + fx * k.v1prop;
        p2.y = p2.y + fy * k.v1prop;
    } else if (activeA) {
        p1.x = p1.x - fx;
        p1.y = p1.y - fy;
    } else if (activeB) {
        p2.x = p2.x + fx;
        p2.y = p2.y + fy;
    }
}

}  // namespace

void constraint::Relax(bool firstPass) {
    RelaxOne(*this, v1->mass, v2->mass, v1->active, v2->active, *v1->pos, *v2->pos, firstPass);
}

int32_t constraint::Update(PhysicsWorld* world) {
    // Drawing: every constraint once, in list order, where it stands before relaxation.
    const LineSink sink = world->lineSink;
    if (sink.draw != nullptr) {
        for (constraint* c : world->ConstraintList->fast<constraint>()) {
            sink.draw(sink.context, c->v1->pos->x, c->v1->pos->y, c->v2->pos->x, c->v2->pos->y);
        }
    }

    Array& arr = *world->ConstraintArray;
    const int32_t passes = world->CONSTRAINT_ITERATIONS;
    if (passes > 0) {
        // Nothing changes masses, flags, ends or the array during the passes, so each pass works
        // on the records gathered here, in slot order, and the constraints get their numbers
        // back at the end.
        std::vector<RelaxRecord>& records = world->relaxScratch;
        records.clear();
        const int32_t n = arr.last;
        for (int32_t j = 0; j < n; ++j) {
            auto* c = ObjectCast<constraint>(arr.at(j));
            if (c == nullptr) continue;
            const Verlet& a = *c->v1;
            const Verlet& b = *c->v2;
            records.push_back({a.pos.get(), b.pos.get(), c, c->elasticity, c->OriginalLength,
                               c->TargetLength, c->BreakPoint, c->totmass, c->v1prop, c->v2prop,
                               a.mass, b.mass, a.active, b.active, c->setremove});
        }
        for (int32_t i = 0; i < passes; ++i) {
            for (RelaxRecord& r : records) {
                RelaxOne(r, r.massA, r.massB, r.activeA, r.activeB, *r.p1, *r.p2, i == 0);
            }
        }
        for (const RelaxRecord& r : records) {
            r.c->TargetLength = r.TargetLength;
            r.c->totmass = r.totmass;
            r.c->v1prop = r.v1prop;
            r.c->v2prop = r.v2prop;
            r.c->setremove = r.setremove;
        }
    }

    // Removal: the last constraint fills a freed slot and is not looked at again in this sweep.
    const int32_t n = arr.last;
    for (int32_t j = 0; j < n; ++j) {
        if (j >= arr.last) continue;
        auto* c = ObjectCast<constraint>(arr.at(j));
        if (c != nullptr && c->setremove) c->remove();
    }
    return 0;
}

int32_t constraint::remove() {
    RemoveFromWorld(*this, *pworld->ConstraintArray, *pworld->ConstraintList);
    return 0;
}
