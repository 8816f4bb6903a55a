#include "physics/world.h"
#include "render/image.h"
#include "render/layer.h"
#include "render/polygon.h"
#include "render/rig.h"
#include "render/sprite.h"

const ClassInfo TImage::kClass{"TImage", &Object::kClass};
const ClassInfo Layer::kClass{"Layer", &Object::kClass};
const ClassInfo Rig::kClass{"Rig", &Object::kClass};
const ClassInfo Sprite::kClass{"Sprite", &Object::kClass};
const ClassInfo DPolygon::kClass{"DPolygon", &Object::kClass};
const ClassInfo PolyPoint::kClass{"PolyPoint", &Object::kClass};

Ref<Layer> Layer::Create(PhysicsWorld* world, int32_t order) {
    auto layer = std::make_shared<Layer>();
    layer->pworld = world;
    world->LayerList->AddLast(layer);
    layer->order = order;
    layer->riglist = std::make_shared<TList>();
    layer->Position = MakeVect(0.0f, 0.0f);
    return layer;
}

int32_t Layer::remove() {
    pworld->LayerList->Remove(this);
    return 0;
}

Ref<Rig> Rig::Create(PhysicsWorld* world, const Ref<Layer>& layer) {
    auto rig = std::make_shared<Rig>();
    rig->CurLayer = layer;
    rig->pworld = world;
    world->RigList->AddLast(rig);
    rig->spritelist = std::make_shared<TList>();
    rig->DPolygonlist = std::make_shared<TList>();
    return rig;
}

int32_t Rig::AddSprite(const Ref<Sprite>& sprite) {
    sprite->SetCurRig(shared_from_this());
    spritelist->AddLast(sprite);
    return 0;
}

int32_t Rig::AddDPolygon(const Ref<DPolygon>& polygon) {
    polygon->SetCurRig(shared_from_this());
    DPolygonlist->AddLast(polygon);
    return 0;
}

int32_t Rig::RemoveSprite(const Ref<Sprite>& sprite) {
    sprite->SetCurRig(nullptr);
    spritelist->Remove(sprite);
    return 0;
}

int32_t Rig::RemoveDPolygon(const Ref<DPolygon>& polygon) {
    polygon->SetCurRig(nullptr);
    DPolygonlist->Remove(polygon);
    return 0;
}

int32_t Rig::Remove() {
    Ref<Rig> keep = shared_from_this();  // the world's list may hold the last reference
    pworld->RigList->Remove(this);
    if (CurLayer && CurLayer->riglist) CurLayer->riglist->Remove(this);
    return 0;
}

Ref<Sprite> Sprite::Create(PhysicsWorld* world, const Ref<Rig>& rig, const Ref<TImage>& image,
                           const Ref<constraint>& c1, const Ref<constraint>& c2) {
    auto s = std::make_shared<Sprite>();
    s->SetCurRig(rig);
    s->Image = image;
    s->c1 = c1;
    s->c2 = c2;
    s->positionoffset = MakeVect(0.0f, 0.0f);
    s->SetSpriteProperties(255, 255, 255, 1.0f, 3);
    s->pworld = world;
    world->SpriteList->AddLast(s);
    return s;
}

int32_t Sprite::SetSpriteProperties(int32_t red, int32_t green, int32_t blue, float a,
                                    int32_t blendMode) {
    r = red;
    g = green;
    b = blue;
    alpha = a;
    blendmode = blendMode;
    return 0;
}

int32_t Sprite::SetSpritePosition(const VectRef& offset) {
    positionoffset = offset;
    return 0;
}

int32_t Sprite::SetSpriteRotation(float a) {
    angle = a;
    return 0;
}

int32_t Sprite::remove() {
    pworld->SpriteList->Remove(this);
    return 0;
}

Ref<PolyPoint> PolyPoint::Create(const Ref<Verlet>& particle, const VectRef& uv) {
    auto p = std::make_shared<PolyPoint>();
    p->v = particle;
    p->uv = uv;
    return p;
}

Ref<DPolygon> DPolygon::Create(const Ref<Rig>& rig, const TList& points,
                               const Ref<TImage>& texture) {
    auto poly = std::make_shared<DPolygon>();
    poly->SetCurRig(rig);
    poly->texture = texture;
    poly->PointList = std::make_shared<TList>();
    TListEnum e = points.ObjectEnumerator();
    while (e.HasNext()) {
        ObjectRef o = e.NextObject();
        if (ObjectCast<PolyPoint>(o.get())) poly->PointList->AddLast(o);
    }
    return poly;
}
