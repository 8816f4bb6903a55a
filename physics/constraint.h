#pragma once
// constraint: holds two particles at a set distance, like a stiff or soft rod, and breaks when
// stretched past its break point. The class-level Update draws every constraint, relaxes them all
// CONSTRAINT_ITERATIONS times over by moving the particles' positions, then removes the broken
// ones. Ends are shared references; both ends may be one particle.

#include <cstdint>

#include "physics/verlet.h"
#include "physics/world.h"
#include "runtime/object.h"

class constraint : public Object {
  public:
    static const ClassInfo kClass;

    constraint() : Object(kClass) {}

    // A negative (or not-a-number) length takes the present distance between the ends.
    static Ref<constraint> Create(PhysicsWorld* world, Ref<Verlet> first, Ref<Verlet> second,
                                  float elasticity, float breakPoint, float length);
    static int32_t Update(PhysicsWorld* world);
    float GetElasticity() const { return elasticity; }
    int32_t SetElasticity(float e) {
        elasticity = e;
        return 0;
    }
    float GetLength() const { return OriginalLength; }
    // Effective from this constraint's next relaxation.
    int32_t SetLength(float length) {
        OriginalLength = length;
        return 0;
    }
    // Leaves the world's array (its last constraint fills the slot) and list. Removing a
    // constraint that is no longer in its world does nothing.
    int32_t remove();

    Ref<Verlet> v1;
    Ref<Verlet> v2;
    float elasticity = 0.0f;
    float TargetLength = 0.0f;
    float OriginalLength = 0.0f;
    float BreakPoint = 0.0f;
    float totmass = 0.0f;
    float v1prop = 0.0f;
    float v2prop = 0.0f;
    int32_t index = 0;
    WorldLink pworld;
    uint8_t setremove = 0;

    // One relaxation of this constraint; the mass shares are refreshed when firstPass is set.
    void Relax(bool firstPass);
};
