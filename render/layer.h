#pragma once
// Layer: an order number and a position that rigs are grouped under. A record only; nothing in
// the system draws it. The world keeps every layer in its LayerList until `remove`.

#include <cstdint>

#include "physics/vect.h"
#include "physics/world.h"
#include "runtime/object.h"
#include "runtime/tlist.h"

class Layer : public Object {
  public:
    static const ClassInfo kClass;
    Layer() : Object(kClass) {}

    static Ref<Layer> Create(PhysicsWorld* world, int32_t order);
    // Leaves the world's LayerList; its rigs and riglist stay as they are.
    int32_t remove();

    int32_t order = 0;
    Ref<TList> riglist;  // made empty by Create; nothing in the system adds to it
    VectRef Position;
    WorldLink pworld;
};
