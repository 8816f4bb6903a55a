#pragma once
// Verlet: a point mass advanced by position-based integration with an implicit step of one.
// It adopts the position and velocity vectors its creator passes in (shared, not copied), keeps
// its previous position and the velocity added since the last step, and holds a slot in its
// world's VerletArray (`index`) and a place in its VerletList.

#include <cstdint>

#include "physics/vect.h"
#include "physics/world.h"
#include "runtime/object.h"

class Verlet : public Object {
  public:
    static const ClassInfo kClass;

    Verlet() : Object(kClass) {}

    static Ref<Verlet> Create(PhysicsWorld* world, VectRef position, VectRef velocity, float mass,
                              uint8_t active, uint8_t ghost);
    // A new particle of the same world at the same place, setting off with this one's `vel`.
    Ref<Verlet> duplicate();
    // One integration step for every particle of the world, in slot order.
    static int32_t Update(PhysicsWorld* world);
    // Clamps the particle into the world's rectangle; the next step then moves it back by half
    // the overshoot. A coordinate that is not a number counts as below 0.
    int32_t checkwalls();
    // Moves by whole units towards target (truncated toward zero), velocity unchanged.
    int32_t Position(const Vect& target);
    int32_t Move(const Vect& offset);
    VectRef GetVelocity();
    int32_t SetVelocity(const Vect& velocity);
    int32_t AddVelocity(const Vect& velocity) {  // inline: the collision pass calls it per contact
        Vect::AddFast(*accvel, *accvel, velocity);
        return 0;
    }
    // Leaves the world's array (its last particle fills the slot) and list. Removing a particle
    // that is no longer in its world does nothing.
    int32_t remove();

    VectRef pos;
    VectRef vel;
    VectRef oldpos;
    VectRef accvel;
    float mass = 0.0f;
    uint8_t active = 0;
    uint8_t ghost = 0;
    Ref<Verlet> cpd;
    int32_t index = 0;
    WorldLink pworld;

    // The particle pass's work on one particle; `scratch` is the pass's one spare vector.
    void Step(const Vect& gravity, Vect& scratch) {
        StepIn(pworld->Width, pworld->Height, gravity, scratch);
    }
    // The same in a world of the given size.
    void StepIn(float width, float height, const Vect& gravity, Vect& scratch);
    // checkwalls in a world of the given size.
    void ClampTo(float width, float height);
};
