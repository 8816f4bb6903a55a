#pragma once
// PhysicsBody: groups particles and constraints of one world so that they can be pushed, moved,
// copied, removed and collided as one. It keeps structure lists (`verlets`, `constraints`) and
// collision lists (`activeverlets`, `activeconstraints`), and three summary values it recomputes
// on request: a box padded by the collision radius, the mass centre `Pos` and its movement `Vel`.
// Particles and constraints are shared with the world, not owned.

#include <cstdint>

#include "physics/constraint.h"
#include "physics/vect.h"
#include "physics/verlet.h"
#include "physics/world.h"
#include "runtime/object.h"
#include "runtime/tlist.h"

class PhysicsBody : public Object {
  public:
    static const ClassInfo kClass;

    PhysicsBody() : Object(kClass) {}

    static Ref<PhysicsBody> Create(PhysicsWorld* world);
    int32_t addverlet(const Ref<Verlet>& v, uint8_t collides);
    int32_t addactiveverlet(const Ref<Verlet>& v);
    int32_t addconstraint(const Ref<constraint>& c, uint8_t collides);
    int32_t addactiveconstraint(const Ref<constraint>& c);
    // 1 if `verlets` held v, else 0.
    int32_t removeverlet(const Object* v);
    int32_t removeactiveverlet(const Object* v);
    int32_t removeactiveconstraint(const Object* c);
    // 1 if `constraints` held c, else 0.
    int32_t removeconstraint(const Object* c);
    // The same velocity change for every particle, whatever its mass.
    int32_t AddForce(const Vect& v);
    int32_t SetVelocity(const Vect& v);
    int32_t Move(const Vect& v);
    // Overwrites target with target - Pos, then moves the body by it.
    int32_t Position(Vect& target);
    static int32_t UpdateAllPositions(PhysicsWorld* world);
    // Refreshes the box, then Pos and Vel; with no particles or no mass they stay as they were.
    int32_t UpdatePosition();
    int32_t UpdateBoundingBox();
    int32_t SetFriction(float f) {
        friction = f;
        return 0;
    }
    int32_t SetBounce(float b) {
        bounce = b;
        return 0;
    }
    float GetFriction() const { return friction; }
    float GetBounce() const { return bounce; }
    // A deep copy at the same place in the same world, with a new ID and default bounce and
    // friction. A constraint reaching outside the body joins the copy to the same outside particle.
    Ref<PhysicsBody> duplicate();
    // Collides every pair of bodies (outer in list order, inner later in the list) whose boxes
    // overlap; the boxes are those of the last UpdatePosition. Pairs come from the world's
    // broadphase; CollideAllPairs walks all pairs instead and gives the same bits.
    static int32_t CollideAll(PhysicsWorld* world);
    static int32_t CollideAllPairs(PhysicsWorld* world);
    static int32_t collide(PhysicsBody& A, PhysicsBody& B);
    // Takes the body's particles and constraints out of the world, then the body itself. Its own
    // lists are left as they are.
    int32_t remove();

    Ref<TList> verlets;
    Ref<TList> constraints;
    uint8_t selfcollide = 0;
    Ref<TList> activeverlets;
    Ref<TList> activeconstraints;
    int32_t ID = 0;
    VectRef maxxy;
    VectRef minxy;
    VectRef Pos;
    VectRef Vel;
    WorldLink pworld;
    float bounce = 0.0f;
    float friction = 0.0f;
};
