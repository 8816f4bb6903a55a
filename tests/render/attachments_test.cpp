#include <gtest/gtest.h>

#include "../physics/physics_fixture.h"
#include "render/layer.h"
#include "render/polygon.h"
#include "render/rig.h"
#include "render/sprite.h"

namespace {

class AttachmentTest : public WorldTest {
  protected:
    Ref<constraint> Rod() {
        return constraint::Create(w, Particle(0, 0), Particle(10, 0), 1, 0, -1);
    }
};

TEST_F(AttachmentTest, LayerCreateAndRemove) {
    auto other = Layer::Create(w, 1);
    auto layer = Layer::Create(w, 2);
    EXPECT_EQ(layer->order, 2);
    EXPECT_TRUE(layer->riglist->IsEmpty());
    EXPECT_EQ(layer->Position->x, 0.0f);
    EXPECT_EQ(layer->Position->y, 0.0f);
    EXPECT_EQ(layer->pworld, w);
    EXPECT_EQ(w->LayerList->Count(), 2);
    layer->remove();
    EXPECT_FALSE(w->LayerList->Contains(layer.get()));
    EXPECT_TRUE(w->LayerList->Contains(other.get()));
    layer->remove();
    EXPECT_EQ(w->LayerList->Count(), 1);
}

TEST_F(AttachmentTest, RigIsNotEnteredInItsLayerAndRemoveLeavesTheLayerAlone) {
    auto layer = Layer::Create(w, 0);
    auto rig = Rig::Create(w, layer);
    EXPECT_EQ(rig->CurLayer, layer);
    EXPECT_TRUE(layer->riglist->IsEmpty());
    EXPECT_TRUE(w->RigList->Contains(rig.get()));
    rig->Remove();
    EXPECT_FALSE(w->RigList->Contains(rig.get()));
    EXPECT_TRUE(layer->riglist->IsEmpty());
    // Entered by hand, Remove takes it out of the layer too.
    auto listed = Rig::Create(w, layer);
    layer->riglist->AddLast(listed);
    listed->Remove();
    EXPECT_TRUE(layer->riglist->IsEmpty());
}

TEST_F(AttachmentTest, NewSpriteHasItsDefaultsAndIsOnlyInTheWorldsList) {
    auto rig = Rig::Create(w, Layer::Create(w, 0));
    auto image = std::make_shared<TImage>(42);
    auto c1 = Rod(), c2 = Rod();
    auto s = Sprite::Create(w, rig, image, c1, c2);
    EXPECT_EQ(s->CurRig(), rig);
    EXPECT_EQ(s->Image, image);
    EXPECT_EQ(s->c1, c1);
    EXPECT_EQ(s->c2, c2);
    EXPECT_EQ(s->r, 255);
    EXPECT_EQ(s->g, 255);
    EXPECT_EQ(s->b, 255);
    EXPECT_EQ(s->alpha, 1.0f);
    EXPECT_EQ(s->blendmode, 3);
    EXPECT_EQ(s->angle, 0.0f);
    EXPECT_EQ(s->angleOffset, 0.0f);
    EXPECT_EQ(s->positionoffset->x, 0.0f);
    EXPECT_TRUE(w->SpriteList->Contains(s.get()));
    EXPECT_TRUE(rig->spritelist->IsEmpty());
}

TEST_F(AttachmentTest, SpriteSettersStoreWithoutRangeTests) {
    auto s = Sprite::Create(w, nullptr, nullptr, Rod(), Rod());
    s->SetSpriteProperties(300, -1, 7, 2.5f, 9);
    EXPECT_EQ(s->r, 300);
    EXPECT_EQ(s->g, -1);
    EXPECT_EQ(s->alpha, 2.5f);
    EXPECT_EQ(s->blendmode, 9);
    auto offset = MakeVect(3, 4);
    s->SetSpritePosition(offset);
    EXPECT_EQ(s->positionoffset, offset);
    s->SetSpriteRotation(45);
    EXPECT_EQ(s->angle, 45.0f);
    EXPECT_EQ(s->angleOffset, 0.0f);
}

TEST_F(AttachmentTest, AddThenRemoveSpriteRestoresTheRigAndClearsCurRig) {
    auto rig = Rig::Create(w, Layer::Create(w, 0));
    auto s = Sprite::Create(w, nullptr, nullptr, Rod(), Rod());
    rig->AddSprite(s);
    rig->AddSprite(s);
    EXPECT_EQ(s->CurRig(), rig);
    EXPECT_EQ(rig->spritelist->Count(), 2);
    rig->RemoveSprite(s);
    EXPECT_EQ(s->CurRig(), nullptr);
    EXPECT_EQ(rig->spritelist->Count(), 1);
    rig->RemoveSprite(s);
    EXPECT_TRUE(rig->spritelist->IsEmpty());
    EXPECT_TRUE(w->SpriteList->Contains(s.get()));
    s->remove();
    EXPECT_FALSE(w->SpriteList->Contains(s.get()));
}

TEST_F(AttachmentTest, PolygonTakesOnlyThePolyPointsInOrder) {
    auto rig = Rig::Create(w, Layer::Create(w, 0));
    auto a = PolyPoint::Create(Particle(0, 0), MakeVect(0, 0));
    auto b = PolyPoint::Create(Particle(1, 0), MakeVect(1, 0));
    auto c = PolyPoint::Create(Particle(1, 1), MakeVect(1, 1));
    TList points;
    points.AddLast(a);
    points.AddLast(MakeVect(5, 5));
    points.AddLast(b);
    points.AddLast(nullptr);
    points.AddLast(c);
    auto poly = DPolygon::Create(rig, points, nullptr);
    std::vector<PolyPoint*> got;
    for (PolyPoint* p : poly->PointList->each<PolyPoint>()) got.push_back(p);
    EXPECT_EQ(got, (std::vector<PolyPoint*>{a.get(), b.get(), c.get()}));
    EXPECT_EQ(poly->PointList->Count(), 3);
    EXPECT_EQ(points.Count(), 5);
    EXPECT_TRUE(rig->DPolygonlist->IsEmpty());
    EXPECT_TRUE(w->PolygonList->IsEmpty());
    EXPECT_EQ(DPolygon::Create(rig, TList(), nullptr)->PointList->Count(), 0);
    rig->AddDPolygon(poly);
    EXPECT_EQ(poly->CurRig(), rig);
    rig->RemoveDPolygon(poly);
    EXPECT_EQ(poly->CurRig(), nullptr);
    EXPECT_TRUE(rig->DPolygonlist->IsEmpty());
}

TEST_F(AttachmentTest, RemovingAParticleOrConstraintLeavesAttachmentsHoldingThem) {
    auto rod = Rod();
    auto s = Sprite::Create(w, nullptr, nullptr, rod, rod);
    auto particle = Particle(3, 3);
    auto corner = PolyPoint::Create(particle, MakeVect(0, 0));
    rod->remove();
    particle->remove();
    EXPECT_EQ(s->c1, rod);
    EXPECT_EQ(corner->v, particle);
}

}  // namespace
