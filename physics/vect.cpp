#include "physics/vect.h"

#include <memory>

#include "runtime/pool.h"

const ClassInfo Vect::kClass{"Vect", &Object::kClass};

Ref<Vect> Vect::Create(float x, float y) { return MakePooled<Vect>(x, y); }

Ref<Vect> Vect::Add(const Vect& a, const Vect& b) { return Create(a.x + b.x, a.y + b.y); }

Ref<Vect> Vect::Subtract(const Vect& a, const Vect& b) { return Create(a.x - b.x, a.y - b.y); }

Ref<Vect> Vect::Copy(const Vect& v) { return Create(v.x, v.y); }

VectRef MakeVect(float x, float y) { return Vect::Create(x, y); }

namespace {
struct StateVectors {};
}  // namespace

VectRef MakeStateVect(float x, float y) { return MakePooled<Vect, StateVectors>(x, y); }
