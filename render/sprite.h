#pragma once
// Sprite: an image bound to two distance constraints, with colour, alpha, blend mode, an angle
// and offsets. A record only: nothing in the system draws it or reads its picture settings.
// The world keeps every sprite in its SpriteList until `remove`; Create does not enter it in its
// rig's spritelist (AddSprite does).

#include <cstdint>
#include <memory>

#include "physics/constraint.h"
#include "physics/vect.h"
#include "physics/world.h"
#include "render/image.h"
#include "runtime/object.h"

class Rig;

class Sprite : public Object {
  public:
    static const ClassInfo kClass;
    Sprite() : Object(kClass) {}

    static Ref<Sprite> Create(PhysicsWorld* world, const Ref<Rig>& rig, const Ref<TImage>& image,
                              const Ref<constraint>& c1, const Ref<constraint>& c2);
    // Stored as given, without range tests.
    int32_t SetSpriteProperties(int32_t red, int32_t green, int32_t blue, float alpha,
                                int32_t blendMode);
    // Keeps the given vector itself.
    int32_t SetSpritePosition(const VectRef& offset);
    // Sets `angle` (not angleOffset).
    int32_t SetSpriteRotation(float angle);
    // Leaves the world's SpriteList; its rig's spritelist and CurRig stay as they are.
    int32_t remove();

    // The rig it belongs to, or none.
    Ref<Rig> CurRig() const { return curRig_.lock(); }
    void SetCurRig(const Ref<Rig>& rig) { curRig_ = rig; }

    Ref<TImage> Image;
    Ref<constraint> c1;
    Ref<constraint> c2;
    float angleOffset = 0.0f;
    VectRef positionoffset;
    int32_t r = 0;
    int32_t g = 0;
    int32_t b = 0;
    float alpha = 0.0f;
    int32_t blendmode = 0;
    float angle = 0.0f;
    WorldLink pworld;

  private:
    std::weak_ptr<Rig> curRig_;  // the rig's spritelist holds the sprite; this points back
};
