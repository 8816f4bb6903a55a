#include <gtest/gtest.h>

#include <vector>

#include "physics_fixture.h"
#include "runtime/error.h"

namespace {

std::vector<int>* g_calls = nullptr;
int32_t CallbackA(PhysicsWorld*) {
    g_calls->push_back(1);
    return 0;
}
int32_t CallbackB(PhysicsWorld*) {
    g_calls->push_back(2);
    return 0;
}
int32_t SelfRemoving(PhysicsWorld* w) {
    g_calls->push_back(3);
    w->RemoveProperty(&SelfRemoving);
    return 0;
}
int32_t Appending(PhysicsWorld* w) {
    g_calls->push_back(4);
    w->RemoveProperty(&Appending);
    w->AddProperty(&CallbackB);
    return 0;
}

std::vector<WorldFunc> Funcs(const TList& list) {
    std::vector<WorldFunc> out;
    for (FunctionPtr* fp : list.each<FunctionPtr>()) out.push_back(fp->func);
    return out;
}

class PhysicsWorldTest : public WorldTest {
  protected:
    void SetUp() override {
        WorldTest::SetUp();
        g_calls = &calls;
    }
    std::vector<int> calls;
};

TEST_F(PhysicsWorldTest, CreateFillsEveryFieldAndRegistersTheTwoPasses) {
    EXPECT_EQ(w->Width, 800.0f);
    EXPECT_EQ(w->Height, 600.0f);
    EXPECT_EQ(w->CONSTRAINT_ITERATIONS, 10);
    EXPECT_EQ(w->gravity->x, 0.0f);
    EXPECT_EQ(w->gravity->y, 0.07f);
    EXPECT_EQ(w->PhysicsBodyIDCount, 0);
    for (const Array* a : {w->VerletArray.get(), w->ConstraintArray.get()}) {
        EXPECT_EQ(a->capacity(), 100);
        EXPECT_EQ(a->last, 0);
    }
    EXPECT_EQ(Funcs(*w->Properties),
              (std::vector<WorldFunc>{&constraint::Update, &Verlet::Update}));
    EXPECT_TRUE(w->PropertiesInit->IsEmpty());
    for (const TList* l :
         {w->VerletList.get(), w->ConstraintList.get(), w->ForceList.get(), w->PhysicsBodies.get(),
          w->RigList.get(), w->LayerList.get(), w->SpriteList.get(), w->PolygonList.get()}) {
        ASSERT_NE(l, nullptr);
        EXPECT_TRUE(l->IsEmpty());
    }
    EXPECT_TRUE(WorldList->Contains(w));
    EXPECT_EQ(FunctionPtrList->Count(), 2);
}

TEST_F(PhysicsWorldTest, BareWorldHoldsNothing) {
    PhysicsWorld bare;
    EXPECT_EQ(bare.VerletList, nullptr);
    EXPECT_EQ(bare.gravity, nullptr);
    EXPECT_EQ(bare.CONSTRAINT_ITERATIONS, 0);
    EXPECT_EQ(bare.Width, 0.0f);
}

TEST_F(PhysicsWorldTest, AddedCallbacksRunAfterTheParticlePassInOrder) {
    auto p = Particle(100, 100);
    w->AddProperty(&CallbackA);
    w->AddProperty(&CallbackB);
    w->Update();
    EXPECT_EQ(calls, (std::vector<int>{1, 2}));
    EXPECT_NE(p->pos->y, 100.0f);  // the particle pass ran too
    w->Update();
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 1, 2}));
}

TEST_F(PhysicsWorldTest, SameFunctionTwiceRunsTwiceAndRemovalTakesTheEarlierEntryOnly) {
    w->AddProperty(&CallbackA);
    w->AddProperty(&CallbackA);
    w->Update();
    EXPECT_EQ(calls.size(), 2u);
    Ref<FunctionPtr> earliest = GetFunctionPtr(&CallbackA);
    w->RemoveProperty(&CallbackA);
    EXPECT_FALSE(w->Properties->Contains(earliest.get()));
    w->RemoveProperty(&CallbackA);  // the lookup finds the removed entry again: nothing goes
    calls.clear();
    w->Update();
    EXPECT_EQ(calls, (std::vector<int>{1}));
    EXPECT_EQ(FunctionPtrList->Count(), 4);  // the registry is never pruned
}

TEST_F(PhysicsWorldTest, RemovalOnASecondWorldFindsTheFirstWorldsEntry) {
    auto second = PhysicsWorld::Create(100.0f, 100.0f, 1);
    second->RemoveProperty(&Verlet::Update);
    EXPECT_EQ(Funcs(*second->Properties),
              (std::vector<WorldFunc>{&constraint::Update, &Verlet::Update}));
    w->RemoveProperty(&Verlet::Update);
    EXPECT_EQ(Funcs(*w->Properties), (std::vector<WorldFunc>{&constraint::Update}));
}

TEST_F(PhysicsWorldTest, RemovingAnUnknownFunctionChangesNothing) {
    w->Properties->AddLast(nullptr);  // a none entry must not be taken for "not found"
    w->RemoveProperty(&CallbackB);
    w->RemovePropertyInit(&CallbackB);
    EXPECT_EQ(w->Properties->Count(), 3);
    EXPECT_EQ(GetFunctionPtr(&CallbackB), nullptr);
}

TEST_F(PhysicsWorldTest, CallbacksMayRemoveThemselvesOrAppendDuringTheWalk) {
    w->AddProperty(&SelfRemoving);
    w->AddProperty(&Appending);
    w->AddProperty(&CallbackA);
    w->Update();
    EXPECT_EQ(calls, (std::vector<int>{3, 4, 1, 2}));  // appended during the walk: runs in it
    calls.clear();
    w->Update();
    EXPECT_EQ(calls, (std::vector<int>{1, 2}));
}

TEST_F(PhysicsWorldTest, InitRunsItsOwnListOnly) {
    w->AddPropertyInit(&CallbackA);
    w->Init();
    EXPECT_EQ(calls, (std::vector<int>{1}));
    w->RemovePropertyInit(&CallbackA);
    w->Init();
    EXPECT_EQ(calls, (std::vector<int>{1}));
}

TEST_F(PhysicsWorldTest, EmptyWorldUpdateDrawsAndChangesNothing) {
    EXPECT_EQ(w->Update(), 0);
    EXPECT_EQ(w->VerletArray->last, 0);
    EXPECT_EQ(w->ConstraintArray->last, 0);
}

TEST(FunctionPtr, MadeWithoutAFunctionRaisesWhenCalled) {
    FunctionPtr fp;
    try {
        fp.func(nullptr);
        FAIL() << "no error raised";
    } catch (const RuntimeError& e) {
        EXPECT_STREQ(e.what(), "Attempt to call uninitialized function pointer");
    }
}

Ref<Object> Obj() { return std::make_shared<Vect>(); }

TEST(Array, RemoveMovesTheLastElementIntoTheHole) {
    auto arr = Array::Create(100);
    auto x = Obj(), y = Obj(), z = Obj();
    EXPECT_EQ(arr->add(x), 0);
    EXPECT_EQ(arr->add(y), 1);
    EXPECT_EQ(arr->add(z), 2);
    EXPECT_EQ(arr->remove(0), z);
    EXPECT_EQ(arr->Getbyindex(0), z);
    EXPECT_EQ(arr->Getbyindex(1), y);
    EXPECT_EQ(arr->Getbyindex(2), nullptr);
    EXPECT_EQ(arr->remove(1), nullptr);
    EXPECT_EQ(arr->last, 1);
    EXPECT_EQ(arr->Getbyindex(0), z);
    EXPECT_EQ(arr->Getbyindex(1), nullptr);
}

TEST(Array, LengthIsTheHighestOccupiedSlot) {
    Array arr;
    EXPECT_EQ(arr.capacity(), 10);
    EXPECT_EQ(arr.length(), -1);
    arr.add(Obj());
    EXPECT_EQ(arr.length(), 0);
}

TEST(Array, HundredthAddGrowsByAHundredSlots) {
    auto arr = Array::Create(100);
    for (int i = 0; i < 99; ++i) arr->add(Obj());
    EXPECT_EQ(arr->capacity(), 100);
    arr->add(Obj());
    EXPECT_EQ(arr->last, 100);
    EXPECT_EQ(arr->capacity(), 200);
    for (int i = 100; i < 200; ++i) EXPECT_EQ(arr->Getbyindex(i), nullptr);
}

TEST(Array, CallsOutsideTheContractRaiseInsteadOfTouchingMemory) {
    EXPECT_THROW(Array::Create(0), RuntimeError);
    EXPECT_THROW(Array::Create(-5), RuntimeError);
    auto arr = Array::Create(3);
    EXPECT_THROW(arr->remove(0), RuntimeError);  // empty
    arr->add(Obj());
    EXPECT_THROW(arr->remove(1), RuntimeError);  // unoccupied
    EXPECT_THROW(arr->remove(-1), RuntimeError);
    EXPECT_EQ(arr->Getbyindex(2), nullptr);  // inside the storage, unoccupied: none
    EXPECT_THROW(arr->Getbyindex(3), RuntimeError);
    EXPECT_THROW(arr->Getbyindex(-1), RuntimeError);
    EXPECT_EQ(arr->last, 1);
}

}  // namespace
