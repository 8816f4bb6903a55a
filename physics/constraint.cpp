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

void constraint::Relax(bool firstPass) {
    Verlet& a = *v1;
    Verlet& b = *v2;
    Vect& p1 = *a.pos;
    Vect& p2 = *b.pos;
    const float dx = p1.x - p2.x;
    const float dy = p1.y - p2.y;
    const float dist = std::sqrt(dx * dx + dy * dy);
    if (firstPass) {
        totmass = a.mass + b.mass;
        if (totmass == 0.0f) {
            // massless ends: no shares to give, and neither end is moved below
            v1prop = 0.0f;
            v2prop = 0.0f;
        } else {
            v1prop = a.mass / totmass / 2.0f;
            v2prop = b.mass / totmass / 2.0f;
        }
    }
    TargetLength = OriginalLength;
    const float diff = dist - TargetLength;
    if (BreakPoint > 0.0f && diff > BreakPoint) setremove = 1;
    if (totmass == 0.0f) return;

    if (TargetLength == 0.0f) {
        // Merge at the mass-weighted centre, whatever the active flags.
        const float x = p1.x * (a.mass / totmass) + p2.x * (b.mass / totmass);
        const float y = p1.y * (a.mass / totmass) + p2.y * (b.mass / totmass);
        p1.x = x;
        p1.y = y;
        p2.x = p1.x;
        p2.y = p1.y;
        return;
    }

    const float k = diff * elasticity / TargetLength;
    const float fx = k * dx;
    const float fy = k * dy;
    if (a.active && b.active) {
        p1.x = p1.x - fx * v2prop;
        p1.y = p1.y - fy * v2prop;
        p2.x = p2.x + fx * v1prop;
        p2.y = p2.y + fy * v1prop;
    } else if (a.active) {
        p1.x = p1.x - fx;
        p1.y = p1.y - fy;
    } else if (b.active) {
        p2.x = p2.x + fx;
        p2.y = p2.y + fy;
    }
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
    for (int32_t i = 0; i < passes; ++i) {
        const int32_t n = arr.last;
        for (int32_t j = 0; j < n; ++j) {
            if (auto* c = ObjectCast<constraint>(arr.at(j))) c->Relax(i == 0);
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
