#pragma once
// PhysicsWorld: the container of one simulation. It holds the lists and index arrays of its
// particles and constraints, its bodies and render attachments, its size and gravity, and the
// ordered callbacks ("properties") that make up one Update. Array is the index container in
// which every particle and constraint holds a slot; FunctionPtr holds one callback.
//
// Ownership: WorldList keeps every world alive until the process ends; everything registered in
// a world is kept by it. Members refer back to their world through a WorldLink, which does not
// keep it alive.

#include <cstdint>
#include <memory>
#include <vector>

#include "physics/vect.h"
#include "runtime/object.h"
#include "runtime/tlist.h"

class PhysicsWorld;
struct StepCache;

// A member's reference to its world (particles, constraints, bodies, render attachments). It does
// not keep the world alive: the world keeps its members, so that would be a cycle that is never
// freed. A world can still go while its members live on (a program that replaces WorldList);
// reaching it through the link then raises a run-time error instead of reading freed memory. The
// check is one load and a test, no reference count, so the particle pass can use it.
class WorldLink {
  public:
    WorldLink() = default;
    // Implicit, so that members link themselves with `pworld = world`. A world made without
    // Create can be linked too.
    WorldLink(PhysicsWorld* world);  // NOLINT(google-explicit-constructor)

    // The world; a link that was never set or whose world is gone raises a run-time error.
    PhysicsWorld* get() const {
        PhysicsWorld* w = anchor_ ? *anchor_ : nullptr;
        if (w == nullptr) Unreachable();
        return w;
    }
    PhysicsWorld* operator->() const { return get(); }
    operator PhysicsWorld*() const { return get(); }  // NOLINT(google-explicit-constructor)
    // True once the world this link was set to has been destroyed.
    bool expired() const { return anchor_ && *anchor_ == nullptr; }
    // True when the link is set to world (which then still exists): one comparison, for the
    // particle pass to read the world it is running instead of following every particle's link.
    inline bool Is(const PhysicsWorld* world) const;

  private:
    [[noreturn]] static void Unreachable();
    std::shared_ptr<PhysicsWorld*> anchor_;  // the world's own anchor, cleared when it goes
};

using WorldFunc = int32_t (*)(PhysicsWorld* world);

// A growable array of objects; slots 0 .. last-1 are occupied and the slot `last` always exists.
class Array : public Object {
  public:
    static const ClassInfo kClass;

    // Capacity 10, nothing stored.
    Array();

    // Capacity at least 1; a smaller one raises a run-time error.
    static Ref<Array> Create(int32_t capacity);
    // Stores obj in slot `last` and returns that slot; grows by 100 slots when the last is taken.
    int32_t add(ObjectRef obj);
    // The object in slot i, or none; a slot outside the storage raises a run-time error.
    ObjectRef Getbyindex(int32_t slot) const;
    // Moves the last element into slot i and returns it (none when i was the last). The slot must
    // be occupied; otherwise a run-time error is raised.
    ObjectRef remove(int32_t slot);
    // The highest occupied slot: last - 1, so -1 when empty.
    int32_t length() const { return last - 1; }

    int32_t capacity() const { return static_cast<int32_t>(a.size()); }
    // Slot i without a reference count, for the per-step loops (i below `last`).
    Object* at(int32_t i) const { return a[static_cast<size_t>(i)].get(); }

    std::vector<ObjectRef> a;
    int32_t last = 0;
};

// Holds one world callback. Made without a function, calling it raises
// "Attempt to call uninitialized function pointer".
class FunctionPtr : public Object {
  public:
    static const ClassInfo kClass;

    FunctionPtr();
    explicit FunctionPtr(WorldFunc f) : Object(kClass), func(f) {}

    WorldFunc func;
};

// Where the constraint pass draws its lines: a function and the context handed back to it; no
// function, no drawing. The physics library knows no graphics; the program points the sink at
// its own line drawing and tests at a recorder. The sink must leave the world as it is: the pass
// walks the constraint list without holding its place.
struct LineSink {
    void (*draw)(void* context, float x0, float y0, float x1, float y1) = nullptr;
    void* context = nullptr;
};

// How a world is stepped: the default step (Update, UpdateAllPositions, CollideAll), or the
// stable step of physics/stable_step.h. StepWorld runs the one the world is set to.
enum class StepMode : uint8_t { kDefault = 0, kStable = 1 };

class PhysicsWorld : public Object {
  public:
    static const ClassInfo kClass;

    // A bare world: none in every object field, 0 in every number. Only Create makes it usable.
    PhysicsWorld();
    // Members that outlive the world find it gone (WorldLink) instead of reading freed memory.
    ~PhysicsWorld() override;

    // The third argument is accepted and not used.
    static Ref<PhysicsWorld> Create(float width, float height, int32_t unused);
    int32_t AddProperty(WorldFunc func);
    int32_t RemoveProperty(WorldFunc func);
    int32_t AddPropertyInit(WorldFunc func);
    int32_t RemovePropertyInit(WorldFunc func);
    // Runs every callback of Properties in list order (those appended meanwhile included).
    int32_t Update();
    // Runs every callback of PropertiesInit likewise.
    int32_t Init();

    float Width = 0.0f;
    float Height = 0.0f;
    Ref<TList> VerletList;
    Ref<Array> VerletArray;
    Ref<TList> ConstraintList;
    Ref<Array> ConstraintArray;
    int32_t CONSTRAINT_ITERATIONS = 0;
    Ref<TList> ForceList;
    Ref<TList> PhysicsBodies;
    float gravityx = 0.0f;
    float gravityy = 0.0f;
    Ref<TList> PropertiesInit;
    Ref<TList> Properties;
    int32_t PhysicsBodyIDCount = 0;
    Ref<TList> RigList;
    Ref<TList> LayerList;
    Ref<TList> SpriteList;
    Ref<TList> PolygonList;
    VectRef gravity;
    // Part of the world's state, saved with it; the default step unless a scene or user asks.
    StepMode stepMode = StepMode::kDefault;
    // Also part of the state; read by the stable step only. Above 0, the share of its speed a
    // particle loses in a substep in which a contact pushed it, and each round's friction is
    // shared out among a particle's contacts instead of applied contact by contact (see
    // docs/stable-step.md). 0, the default, is the stable step as it first was, bit for bit.
    float contactDamping = 0.0f;

    // Not part of the world's state: where constraints are drawn.
    LineSink lineSink;

    // What the step keeps from one update to the next (the relaxation's buffers, the
    // broadphase): the library's own, reached by its passes.
    StepCache& Cache() { return *cache_; }
    const StepCache& Cache() const { return *cache_; }

  private:
    friend class WorldLink;
    std::shared_ptr<PhysicsWorld*> anchor_;  // points at this world until it is destroyed
    std::unique_ptr<StepCache> cache_;
};

inline WorldLink::WorldLink(PhysicsWorld* world) : anchor_(world ? world->anchor_ : nullptr) {}

bool WorldLink::Is(const PhysicsWorld* world) const {
    return world != nullptr && anchor_.get() == world->anchor_.get();
}

// Takes obj (a particle or a constraint) out of its world's array and list: the array's last
// element fills the freed slot and has its `index` set to it. An object that no longer holds its
// slot (removed before) is left alone, so a second removal cannot free another object's slot.
template <class T>
void RemoveFromWorld(T& obj, Array& arr, TList& list) {
    const int32_t slot = obj.index;
    if (slot < 0 || slot >= arr.last || arr.at(slot) != &obj) return;
    ObjectRef keep = arr.a[static_cast<size_t>(slot)];  // the array may hold the last reference
    if (auto* moved = ObjectCast<T>(arr.remove(slot).get())) moved->index = slot;
    list.Remove(&obj);
}

// Program-wide registries, made once at start-up before the first world (PhysicsWorld::Create
// makes them itself if a program built on the library has not).
extern Ref<TList> WorldList;
extern Ref<TList> FunctionPtrList;

// The earliest FunctionPtr ever registered for func, in any world and either list; or none.
Ref<FunctionPtr> GetFunctionPtr(WorldFunc func);
