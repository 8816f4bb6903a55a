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
    // out may be a or b.
    static int32_t AddFast(Vect& out, const Vect& a, const Vect& b);
    static int32_t SubtractFast(Vect& out, const Vect& a, const Vect& b);
    static Ref<Vect> Copy(const Vect& v);
    static int32_t Copyfast(Vect& dst, const Vect& src);
    static float Dot(const Vect& a, const Vect& b);
    int32_t set(float x_, float y_);

    float x = 0.0f;
    float y = 0.0f;
};

using VectRef = Ref<Vect>;

// Shorthand for Vect::Create; the physics code makes its vectors with it.
VectRef MakeVect(float x, float y);
