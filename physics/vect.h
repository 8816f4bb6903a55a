#pragma once
// Vect: a shared, mutable two-dimensional vector of 32-bit floats. Holders share the very object:
// a particle's `pos` is the vector its creator passed in, and a change through one reference is
// seen by all. The Fast and set forms write into an existing vector and allocate nothing.

#include <cstdint>

#include "runtime/object.h"

class Vect : public Object {
  public:
    static const ClassInfo kClass;

    Vect() : Object(kClass) {}
    Vect(float x_, float y_) : Object(kClass), x(x_), y(y_) {}

    static Ref<Vect> Create(float x, float y);
    static Ref<Vect> Add(const Vect& a, const Vect& b);
    static Ref<Vect> Subtract(const Vect& a, const Vect& b);
    // out may be a or b. Defined here so that the per-step loops inline them.
    static int32_t AddFast(Vect& out, const Vect& a, const Vect& b) {
        const float sx = a.x + b.x;
        const float sy = a.y + b.y;
        out.x = sx;
        out.y = sy;
        return 0;
    }
    static int32_t SubtractFast(Vect& out, const Vect& a, const Vect& b) {
        const float dx = a.x - b.x;
        const float dy = a.y - b.y;
        out.x = dx;
        out.y = dy;
        return 0;
    }
    static Ref<Vect> Copy(const Vect& v);
    static int32_t Copyfast(Vect& dst, const Vect& src) {
        dst.x = src.x;
        dst.y = src.y;
        return 0;
    }
    static float Dot(const Vect& a, const Vect& b) { return a.x * b.x + a.y * b.y; }
    int32_t set(float x_, float y_) {
        x = x_;
        y = y_;
        return 0;
    }

    float x = 0.0f;
    float y = 0.0f;
};

using VectRef = Ref<Vect>;

// Shorthand for Vect::Create; the physics code makes its vectors with it.
VectRef MakeVect(float x, float y);
// The same vector, kept apart from the rest: for what the physics makes for its own state (a
// particle's previous position, velocity and pending velocity, a body's box and centre), so that
// positions, which the collision pass reads in no particular order, lie close together.
VectRef MakeStateVect(float x, float y);
