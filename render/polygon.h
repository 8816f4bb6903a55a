#pragma once
// DPolygon: a textured polygon whose corners are PolyPoints, each a particle with a texture
// coordinate. Records only. A polygon is held by whoever holds it: neither the world's
// PolygonList nor its rig's DPolygonlist takes it at creation.

#include <memory>

#include "physics/vect.h"
#include "physics/verlet.h"
#include "render/image.h"
#include "runtime/object.h"
#include "runtime/tlist.h"

class Rig;

class PolyPoint : public Object {
  public:
    static const ClassInfo kClass;
    PolyPoint() : Object(kClass) {}

    static Ref<PolyPoint> Create(const Ref<Verlet>& particle, const VectRef& uv);

    Ref<Verlet> v;
    VectRef uv;
};

class DPolygon : public Object {
  public:
    static const ClassInfo kClass;
    DPolygon() : Object(kClass) {}

    // Copies the PolyPoints of points, in order, skipping anything else; points is not kept.
    static Ref<DPolygon> Create(const Ref<Rig>& rig, const TList& points,
                                const Ref<TImage>& texture);

    Ref<Rig> CurRig() const { return curRig_.lock(); }
    void SetCurRig(const Ref<Rig>& rig) { curRig_ = rig; }

    Ref<TList> PointList;
    Ref<TImage> texture;

  private:
    std::weak_ptr<Rig> curRig_;  // the rig's DPolygonlist holds the polygon; this points back
};
