#pragma once
// Rig: groups sprites and polygons and belongs to a layer. The world keeps every rig in its
// RigList until `Remove`. Creating a rig does not enter it in its layer's riglist.
// Sprites and polygons refer back to their rig weakly, so that a rig and its sprites do not keep
// each other alive.

#include <cstdint>
#include <memory>

#include "physics/world.h"
#include "render/layer.h"
#include "runtime/object.h"
#include "runtime/tlist.h"

class Sprite;
class DPolygon;

class Rig : public Object, public std::enable_shared_from_this<Rig> {
  public:
    static const ClassInfo kClass;
    Rig() : Object(kClass) {}

    static Ref<Rig> Create(PhysicsWorld* world, const Ref<Layer>& layer);
    // Sets the sprite's CurRig to this rig and appends it to spritelist (twice if added twice).
    int32_t AddSprite(const Ref<Sprite>& sprite);
    int32_t AddDPolygon(const Ref<DPolygon>& polygon);
    // Sets the sprite's CurRig to none and removes its first occurrence from spritelist.
    int32_t RemoveSprite(const Ref<Sprite>& sprite);
    int32_t RemoveDPolygon(const Ref<DPolygon>& polygon);
    // Leaves the world's RigList, then its layer's riglist; sprites and polygons stay as they are.
    int32_t Remove();

    Ref<Layer> CurLayer;
    WorldLink pworld;
    Ref<TList> spritelist;
    Ref<TList> DPolygonlist;
};
