#include "physics/body.h"

#include <algorithm>
#include <vector>

#include "physics/collision.h"
#include "physics/internal/bodywalk.h"
#include "physics/internal/step_cache.h"
#include "runtime/pool.h"

const ClassInfo PhysicsBody::kClass{"PhysicsBody", &Object::kClass};

Ref<PhysicsBody> PhysicsBody::Create(PhysicsWorld* world) {
    auto b = MakePooled<PhysicsBody>();
    b->pworld = world;
    world->PhysicsBodies->AddLast(b);
    b->verlets = MakePooled<TList>();
    b->constraints = MakePooled<TList>();
    b->activeverlets = MakePooled<TList>();
    b->activeconstraints = MakePooled<TList>();
    b->ID = world->PhysicsBodyIDCount;
    world->PhysicsBodyIDCount += 1;
    b->maxxy = MakeStateVect(0.0f, 0.0f);
    b->minxy = MakeStateVect(0.0f, 0.0f);
    b->Pos = MakeStateVect(0.0f, 0.0f);
    b->Vel = MakeStateVect(0.0f, 0.0f);
    b->bounce = 1.0f;
    b->friction = 0.5f;
    return b;
}

int32_t PhysicsBody::addverlet(const Ref<Verlet>& v, uint8_t collides) {
    verlets->AddLast(v);
    if (collides) activeverlets->AddLast(v);
    return 0;
}

int32_t PhysicsBody::addactiveverlet(const Ref<Verlet>& v) {
    activeverlets->AddLast(v);
    return 0;
}

int32_t PhysicsBody::addconstraint(const Ref<constraint>& c, uint8_t collides) {
    constraints->AddLast(c);
    if (collides) activeconstraints->AddLast(c);
    return 0;
}

int32_t PhysicsBody::addactiveconstraint(const Ref<constraint>& c) {
    activeconstraints->AddLast(c);
    return 0;
}

int32_t PhysicsBody::removeverlet(const Object* v) {
    activeverlets->Remove(v);
    return verlets->Remove(v);
}

int32_t PhysicsBody::removeactiveverlet(const Object* v) { return activeverlets->Remove(v); }

int32_t PhysicsBody::removeactiveconstraint(const Object* c) {
    return activeconstraints->Remove(c);
}

int32_t PhysicsBody::removeconstraint(const Object* c) {
    activeconstraints->Remove(c);
    return constraints->Remove(c);
}

int32_t PhysicsBody::AddForce(const Vect& v) {
    for (Verlet* p : verlets->fast<Verlet>()) p->AddVelocity(v);
    return 0;
}

int32_t PhysicsBody::SetVelocity(const Vect& v) {
    for (Verlet* p : verlets->fast<Verlet>()) p->SetVelocity(v);
    return 0;
}

int32_t PhysicsBody::Move(const Vect& v) {
    for (Verlet* p : verlets->fast<Verlet>()) p->Move(v);
    return 0;
}

int32_t PhysicsBody::Position(Vect& target) {
    target.set(target.x - Pos->x, target.y - Pos->y);
    return Move(target);
}

int32_t PhysicsBody::UpdateAllPositions(PhysicsWorld* world) {
    // The collision pass's last count of bodies tells how many there are likely to be.
    WalkBodies(*world->PhysicsBodies, &PhysicsBody::activeverlets, &PhysicsBody::verlets,
               world->Cache().broadphase.bodies().size(),
               [](PhysicsBody* b) { b->UpdatePosition(); });
    return 0;
}

int32_t PhysicsBody::UpdateBoundingBox() {
    bool first = true;
    for (Verlet* p : activeverlets->fast<Verlet>()) {
        const float x = p->pos->x;
        const float y = p->pos->y;
        if (first) {
            maxxy->set(x + kCollisionRadius, y + kCollisionRadius);
            minxy->set(x - kCollisionRadius, y - kCollisionRadius);
            first = false;
            continue;
        }
        if (x + kCollisionRadius > maxxy->x) maxxy->x = x + kCollisionRadius;
        if (y + kCollisionRadius > maxxy->y) maxxy->y = y + kCollisionRadius;
        if (x - kCollisionRadius < minxy->x) minxy->x = x - kCollisionRadius;
        if (y - kCollisionRadius < minxy->y) minxy->y = y - kCollisionRadius;
    }
    return 0;
}

int32_t PhysicsBody::UpdatePosition() {
    UpdateBoundingBox();
    float m = 0.0f, sx = 0.0f, sy = 0.0f, ox = 0.0f, oy = 0.0f;
    for (Verlet* p : verlets->fast<Verlet>()) {
        m += p->mass;
        sx += p->mass * p->pos->x;
        sy += p->mass * p->pos->y;
        ox += p->mass * p->oldpos->x;
        oy += p->mass * p->oldpos->y;
    }
    // no particles, or no mass: the centre is undefined, keep the last one
    if (m == 0.0f) return 0;
    Pos->set(sx / m, sy / m);
    Vel->set(Pos->x - ox / m, Pos->y - oy / m);
    return 0;
}

Ref<PhysicsBody> PhysicsBody::duplicate() {
    Ref<PhysicsBody> nb = Create(pworld);
    // The particles copied by this call; a constraint end outside them is not the body's own.
    std::vector<const Verlet*> copied;
    for (Verlet* v : verlets->each<Verlet>()) {
        Ref<Verlet> nv = v->duplicate();
        v->cpd = nv;
        copied.push_back(v);
        nb->addverlet(nv, 0);
        for (Verlet* a : activeverlets->each<Verlet>()) {
            if (a == v) nb->addactiveverlet(nv);
        }
    }
    auto copyOf = [&copied](const Ref<Verlet>& end) -> Ref<Verlet> {
        const bool own = std::find(copied.begin(), copied.end(), end.get()) != copied.end();
        return own ? end->cpd : end;
    };
    for (constraint* c : constraints->each<constraint>()) {
        Ref<constraint> nc = constraint::Create(pworld, copyOf(c->v1), copyOf(c->v2), c->elasticity,
                                                c->BreakPoint, c->OriginalLength);
        nb->addconstraint(nc, 0);
        for (constraint* a : activeconstraints->each<constraint>()) {
            if (a == c) nb->addactiveconstraint(nc);
        }
    }
    return nb;
}

int32_t PhysicsBody::remove() {
    for (Verlet* v : verlets->each<Verlet>()) v->remove();
    for (constraint* c : constraints->each<constraint>()) c->remove();
    pworld->PhysicsBodies->Remove(this);
    return 0;
}
