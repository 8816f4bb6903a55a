#include "physics/vect.h"

#include <memory>

const ClassInfo Vect::kClass{"Vect", &Object::kClass};

Ref<Vect> Vect::Create(float x, float y) { return std::make_shared<Vect>(x, y); }

Ref<Vect> Vect::Add(const Vect& a, const Vect& b) { return Create(a.x + b.x, a.y + b.y); }

Ref<Vect> Vect::Subtract(const Vect& a, const Vect& b) { return Create(a.x - b.x, a.y - b.y); }

int32_t Vect::AddFast(Vect& out, const Vect& a, const Vect& b) {
    const float x = a.x + b.x;
    const float y = a.y + b.y;
    out.x = x;
    out.y = y;
    return 0;
}

int32_t Vect::SubtractFast(Vect& out, const Vect& a, const Vect& b) {
    const float x = a.x - b.x;
    const float y = a.y - b.y;
    out.x = x;
    out.y = y;
    return 0;
}

Ref<Vect> Vect::Copy(const Vect& v) { return Create(v.x, v.y); }

int32_t Vect::Copyfast(Vect& dst, const Vect& src) {
    dst.x = src.x;
    dst.y = src.y;
    return 0;
}

float Vect::Dot(const Vect& a, const Vect& b) { return a.x * b.x + a.y * b.y; }

int32_t Vect::set(float x_, float y_) {
    x = x_;
    y = y_;
    return 0;
}

VectRef MakeVect(float x, float y) { return Vect::Create(x, y); }
