#include "physics/world.h"

#include <string>

#include "physics/constraint.h"
#include "physics/internal/step_cache.h"
#include "physics/verlet.h"
#include "runtime/error.h"

const ClassInfo Array::kClass{"Array", &Object::kClass};
const ClassInfo FunctionPtr::kClass{"FunctionPtr", &Object::kClass};
const ClassInfo PhysicsWorld::kClass{"PhysicsWorld", &Object::kClass};

Ref<TList> WorldList;
Ref<TList> FunctionPtrList;

namespace {

int32_t UninitializedFunction(PhysicsWorld*) {
    RuntimeThrow("Attempt to call uninitialized function pointer");
}

constexpr int32_t kArrayGrowth = 100;

Ref<FunctionPtr> Register(TList& list, WorldFunc func) {
    auto fp = std::make_shared<FunctionPtr>(func);
    if (!FunctionPtrList) FunctionPtrList = std::make_shared<TList>();
    FunctionPtrList->AddLast(fp);
    list.AddLast(fp);
    return fp;
}

// A link still in its list: its predecessor leads to it. A removed link keeps its neighbours, but
// they no longer lead to it; a link of a list that has been destroyed has no predecessor.
bool Listed(const TLink& link) { return link._pred && link._pred->_succ.get() == &link; }

int32_t RunAll(const TList& list, PhysicsWorld* world) {
    // The walk stands on the entry it runs and steps on once the callback has returned, so that
    // an entry appended by the last callback still runs in this walk (a list enumerator already
    // stands on the head by then and would end). When a callback has removed its own entry, the
    // walk steps back to the nearest entry still listed and goes on with whatever follows it now.
    // The callback's function is read before the call, so the entry may be freed during it.
    const TLink* head = list.Head();
    LinkRef at = head->_succ;
    while (at.get() != head) {
        if (auto* fp = ObjectCast<FunctionPtr>(at->_value.get())) fp->func(world);
        while (at.get() != head && at->_pred && !Listed(*at.get())) at = at->_pred;
        at = at->_succ;
    }
    return 0;
}

}  // namespace

Array::Array() : Object(kClass), a(10) {}

Ref<Array> Array::Create(int32_t capacity) {
    if (capacity < 1) {
        RuntimeThrow("Array capacity must be at least 1, got " + std::to_string(capacity));
    }
    auto arr = std::make_shared<Array>();
    arr->a.assign(static_cast<size_t>(capacity), nullptr);
    return arr;
}

int32_t Array::add(ObjectRef obj) {
    a[static_cast<size_t>(last)] = std::move(obj);
    if (capacity() < last + 2) a.resize(a.size() + kArrayGrowth);
    ++last;
    return last - 1;
}

ObjectRef Array::Getbyindex(int32_t slot) const {
    if (slot < 0 || slot >= capacity()) {
        RuntimeThrow("Array index " + std::to_string(slot) + " is outside the storage of " +
                     std::to_string(capacity()) + " slots");
    }
    return a[static_cast<size_t>(slot)];
}

ObjectRef Array::remove(int32_t slot) {
    if (slot < 0 || slot >= last) {
        RuntimeThrow("Array remove of slot " + std::to_string(slot) + " with " +
                     std::to_string(last) + " occupied");
    }
    ObjectRef m = std::move(a[static_cast<size_t>(last - 1)]);
    a[static_cast<size_t>(slot)] = std::move(m);
    a[static_cast<size_t>(last - 1)] = nullptr;  // a no-op unless slot was the last one
    --last;
    return a[static_cast<size_t>(slot)];
}

void WorldLink::Unreachable() {
    RuntimeThrow("The physics world of this object no longer exists (or was never set)");
}

FunctionPtr::FunctionPtr() : Object(kClass), func(&UninitializedFunction) {}

PhysicsWorld::PhysicsWorld()
    : Object(kClass),
      anchor_(std::make_shared<PhysicsWorld*>(this)),
      cache_(std::make_unique<StepCache>()) {}

PhysicsWorld::~PhysicsWorld() { *anchor_ = nullptr; }

Ref<PhysicsWorld> PhysicsWorld::Create(float width, float height, int32_t /*unused*/) {
    auto w = std::make_shared<PhysicsWorld>();
    w->Width = width;
    w->Height = height;
    w->PropertiesInit = std::make_shared<TList>();
    w->Properties = std::make_shared<TList>();
    w->VerletList = std::make_shared<TList>();
    w->ConstraintList = std::make_shared<TList>();
    w->ForceList = std::make_shared<TList>();
    w->PhysicsBodies = std::make_shared<TList>();
    w->RigList = std::make_shared<TList>();
    w->SpriteList = std::make_shared<TList>();
    w->PolygonList = std::make_shared<TList>();
    w->LayerList = std::make_shared<TList>();
    w->VerletArray = Array::Create(100);
    w->ConstraintArray = Array::Create(100);
    w->gravity = MakeVect(0.0f, 0.07f);
    w->CONSTRAINT_ITERATIONS = 10;
    w->AddProperty(&constraint::Update);
    w->AddProperty(&Verlet::Update);
    if (!WorldList) WorldList = std::make_shared<TList>();
    WorldList->AddLast(w);
    return w;
}

int32_t PhysicsWorld::AddProperty(WorldFunc func) {
    Register(*Properties, func);
    return 0;
}

int32_t PhysicsWorld::AddPropertyInit(WorldFunc func) {
    Register(*PropertiesInit, func);
    return 0;
}

// Removing none would take out a none element of the list; a lookup that finds nothing
// removes nothing.
int32_t PhysicsWorld::RemoveProperty(WorldFunc func) {
    if (Ref<FunctionPtr> fp = GetFunctionPtr(func)) Properties->Remove(fp.get());
    return 0;
}

int32_t PhysicsWorld::RemovePropertyInit(WorldFunc func) {
    if (Ref<FunctionPtr> fp = GetFunctionPtr(func)) PropertiesInit->Remove(fp.get());
    return 0;
}

int32_t PhysicsWorld::Update() { return RunAll(*Properties, this); }

int32_t PhysicsWorld::Init() { return RunAll(*PropertiesInit, this); }

Ref<FunctionPtr> GetFunctionPtr(WorldFunc func) {
    if (!FunctionPtrList) return nullptr;
    TListEnum e = FunctionPtrList->ObjectEnumerator();
    while (e.HasNext()) {
        Ref<FunctionPtr> fp = ObjectCast<FunctionPtr>(e.NextObject());
        if (fp && fp->func == func) return fp;
    }
    return nullptr;
}
