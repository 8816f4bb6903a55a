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

#include "physics/broadphase.h"
#include "physics/stable_step.h"
#include "physics/vect.h"
#include "runtime/object.h"
#include "runtime/tlist.h"

class PhysicsWorld;
class constraint;

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

// The relaxation's working copy of one constraint: its numbers (named as the constraint's own),
// its ends' masses and flags, and where its ends' positions are (i1, i2: places in
// RelaxScratch::positions when the passes work on gathered copies, else in RelaxScratch::vects).
// Gathered once per update so that the passes read one record after another; the numbers go back
// to the constraint afterwards.
struct RelaxRecord {
    int32_t i1;
    int32_t i2;
    float elasticity;
    float OriginalLength;
    float TargetLength;
    float BreakPoint;
    float totmass;
    float v1prop;
    float v2prop;
    float massA;
    float massB;
    float share;  // what the passes after the first need: the end's shares summed, or 1
    uint8_t activeA;
    uint8_t activeB;
    uint8_t setremove;
    uint8_t mode;  // and which way they go
};

// Four records of one level with both ends active and apart, for the passes to relax side by
// side: their ends' places, their records, and the numbers the passes read and make.
struct alignas(16) RelaxBatch {
    int32_t i1[4];
    int32_t i2[4];
    int32_t record[4];
    float TargetLength[4];
    float elasticity[4];
    float BreakPoint[4];
    float share[4];
    float v1prop[4];
    float v2prop[4];
    float totmass[4];
    float massA[4];
    float massB[4];
};

// The relaxation's reusable buffers: the records and their constraints, the gathered copies of
// the ends' positions and the vectors they go back to (one copy per vector), or, when copies
// cannot be told apart safely, the ends' vectors themselves.
struct RelaxScratch {
    struct XY {
        float x;
        float y;
    };
    std::vector<RelaxRecord> records;
    std::vector<constraint*> owners;
    std::vector<XY> positions;
    std::vector<Vect*> vects;
    std::vector<int32_t> placeOfSlot;  // per particle slot: its place in positions, or -1
    // The records in level order (their indices), the ends it was made for, and what making it
    // needs: the level of each record, the highest level reached so far at each place, and a
    // count or start per level.
    struct Ends {
        int32_t i1;
        int32_t i2;
    };
    std::vector<int32_t> order;
    std::vector<Ends> orderEnds;
    std::vector<int32_t> levels;
    std::vector<int32_t> levelOfPlace;
    std::vector<int32_t> counts;
    std::vector<int32_t> levelStart;  // per level, into order (one more at the end)
    // The plan of the passes, level by level: the batches, the records relaxed one at a time
    // after them, where each level ends in both, and which records it took as batchable (valid
    // while the order is the one it was made with).
    std::vector<RelaxBatch> batches;
    std::vector<int32_t> batchEnd;
    std::vector<int32_t> single;
    std::vector<int32_t> singleEnd;
    std::vector<uint8_t> planBatchable;
    bool planValid = false;
};

// How a world is stepped: the default step (Update, UpdateAllPositions, CollideAll), or the
// stable step of physics/stable_step.h. StepWorld runs the one the world is set to.
enum class StepMode : uint8_t { kDefault = 0, kStable = 1 };

class PhysicsWorld : public Object {
  public:
    static const ClassInfo kClass;

    // A bare world: none in every object field, 0 in every number. Only Create makes it usable.
    PhysicsWorld() : Object(kClass), anchor_(std::make_shared<PhysicsWorld*>(this)) {}
    // Members that outlive the world find it gone (WorldLink) instead of reading freed memory.
    ~PhysicsWorld() override { *anchor_ = nullptr; }

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

    // Not part of the world's state: where constraints are drawn, and the reusable buffers of
    // the relaxation and the collision pass.
    LineSink lineSink;
    RelaxScratch relaxScratch;
    Broadphase broadphase;
    StableScratch stableScratch;

  private:
    friend class WorldLink;
    std::shared_ptr<PhysicsWorld*> anchor_;  // points at this world until it is destroyed
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
