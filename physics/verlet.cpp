#include "physics/verlet.h"

#include <cmath>

#include "runtime/pool.h"

const ClassInfo Verlet::kClass{"Verlet", &Object::kClass};

Ref<Verlet> Verlet::Create(PhysicsWorld* world, VectRef position, VectRef velocity, float mass,
                           uint8_t active, uint8_t ghost) {
    auto v = MakePooled<Verlet>();
    v->pos = std::move(position);
    v->vel = std::move(velocity);
    v->mass = mass;
    v->active = active;
    v->ghost = ghost;
    // the first step moves it by its velocity
    v->oldpos = MakeStateVect(v->pos->x - v->vel->x, v->pos->y - v->vel->y);
    v->accvel = MakeStateVect(0.0f, 0.0f);
    v->pworld = world;
    world->VerletList->AddLast(v);
    v->index = world->VerletArray->add(v);
    return v;
}

Ref<Verlet> Verlet::duplicate() {
    return Create(pworld, Vect::Copy(*pos), MakeStateVect(vel->x, vel->y), mass, active, ghost);
}

namespace {

// One axis of the wall clamp: p into [0, limit], with o (the previous position) set so that the
// next step moves back by half the overshoot. p and o may be one number (a particle whose position
// is its previous position too).
inline void ClampAxis(float& p, float& o, float limit) {
    if (!(p >= 0.0f)) {  // NaN lands here too
        o = p / 2.0f;
        p = 0.0f;
    } else if (p > limit) {
        o = (p - limit) / 2.0f + limit;
        p = limit;
    }
}

}  // namespace

void Verlet::StepIn(float width, float height, const Vect& gravity, Vect& scratch) {
    Vect& p = *pos;
    Vect& o = *oldpos;
    Vect& v = *vel;
    Vect& a = *accvel;
    if (&p != &o && &p != &v && &p != &a && &o != &v && &o != &a && &v != &a && &gravity != &p &&
        &gravity != &o && &gravity != &v && &gravity != &a) {
        // Four vectors of its own and apart from gravity, as nearly every particle has: the same
        // operations on numbers held in registers instead of read back after every write.
        float px = p.x, py = p.y, ox = o.x, oy = o.y, ax = a.x, ay = a.y;
        ClampAxis(px, ox, width);
        ClampAxis(py, oy, height);
        if (active) {
            ax = ax + gravity.x;
            ay = ay + gravity.y;
        }
        const float sx = px - ox;
        const float sy = py - oy;
        const float vx = sx + ax;
        const float vy = sy + ay;
        v.x = vx;
        v.y = vy;
        o.x = px;
        o.y = py;
        p.x = px + vx;
        p.y = py + vy;
        a.x = 0.0f;
        a.y = 0.0f;
        return;
    }
    ClampTo(width, height);
    if (active) Vect::AddFast(*accvel, *accvel, gravity);
    Vect::SubtractFast(scratch, *pos, *oldpos);
    Vect::AddFast(*vel, scratch, *accvel);
    Vect::Copyfast(*oldpos, *pos);
    Vect::AddFast(*pos, *pos, *vel);
    accvel->set(0.0f, 0.0f);
}

int32_t Verlet::Update(PhysicsWorld* world) {
    Vect scratch;
    const Array& arr = *world->VerletArray;
    const Vect& gravity = *world->gravity;
    const float width = world->Width;
    const float height = world->Height;
    const int32_t n = arr.last;
    for (int32_t i = 0; i < n; ++i) {
        // A callback earlier in the step may have removed particles: slots past the count are
        // empty and passed over. A particle of this world is clamped to its size as read here;
        // any other goes through its own link (which raises the error if its world is gone).
        auto* p = ObjectCast<Verlet>(arr.at(i));
        if (p == nullptr) continue;
        if (p->pworld.Is(world)) {
            p->StepIn(width, height, gravity, scratch);
        } else {
            p->Step(gravity, scratch);
        }
    }
    return 0;
}

int32_t Verlet::checkwalls() {
    ClampTo(pworld->Width, pworld->Height);
    return 0;
}

void Verlet::ClampTo(float w, float h) {
    ClampAxis(pos->x, oldpos->x, w);
    ClampAxis(pos->y, oldpos->y, h);
}

int32_t Verlet::Position(const Vect& target) {
    const float dx = std::trunc(target.x - pos->x);
    const float dy = std::trunc(target.y - pos->y);
    pos->set(pos->x + dx, pos->y + dy);
    oldpos->set(oldpos->x + dx, oldpos->y + dy);
    return 0;
}

int32_t Verlet::Move(const Vect& offset) {
    pos->set(pos->x + offset.x, pos->y + offset.y);
    oldpos->set(oldpos->x + offset.x, oldpos->y + offset.y);
    return 0;
}

VectRef Verlet::GetVelocity() { return Vect::Add(*vel, *accvel); }

int32_t Verlet::SetVelocity(const Vect& velocity) {
    Vect::SubtractFast(*oldpos, *pos, velocity);
    return 0;
}

int32_t Verlet::remove() {
    RemoveFromWorld(*this, *pworld->VerletArray, *pworld->VerletList);
    return 0;
}
