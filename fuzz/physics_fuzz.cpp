// The physics API under arbitrary sequences of calls: particles, constraints, bodies and whole
// boxes made, removed, copied, moved, pushed, re-tuned and stepped, in a world of 800 x 600 with
// inputs of sensible size (positions inside the world, moves of a few dozen pixels at most).
//
// After every call: the world's list and array hold exactly the particles (constraints) that
// are registered, each in the slot its `index` names, the lists in creation order; the bodies'
// list likewise; a body's mass centre lies among its particles and its box around them.
//
// Values stay finite: any call that turns finite values into infinities or NaN is a finding,
// the world's step included (even a constraint stretched far past its length must relax back).
// FUZZ_VERBOSE=1 prints the state after every call.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "physics/body.h"
#include "physics/collision.h"
#include "physics/constraint.h"
#include "physics/verlet.h"
#include "physics/world.h"

namespace {

constexpr float kWidth = 800.0f;
constexpr float kHeight = 600.0f;
constexpr size_t kMaxParticles = 96;
constexpr size_t kMaxConstraints = 128;
constexpr size_t kMaxBodies = 16;
constexpr float kBounded = 1e6f;  // far beyond any value the inputs make without the known fault

template <class T>
struct Tracked {
    Ref<T> ref;
    bool registered = true;  // in the world (model)
};

bool Finite(const Vect& v) { return std::isfinite(v.x) && std::isfinite(v.y); }

std::string Xy(const Vect& v) {
    return "(" + std::to_string(v.x) + ", " + std::to_string(v.y) + ")";
}

class Fuzz {
  public:
    explicit Fuzz(ByteReader& in) : in_(in) {
        WorldList = std::make_shared<TList>();
        FunctionPtrList = std::make_shared<TList>();
        world_ = PhysicsWorld::Create(kWidth, kHeight, 1);
        w_ = world_.get();
    }
    ~Fuzz() {
        WorldList.reset();
        FunctionPtrList.reset();
    }

    void Run() {
        while (!in_.empty()) {
            const uint8_t op = in_.Byte() % 26;
            trace_ += std::to_string(op) + " ";
            Stage();
            Do(op);
            if (verbose_) Dump(op);
            CheckWorld();
        }
    }

  private:
    // A particle, constraint or body among all ever made (removed ones included), or none.
    Tracked<Verlet>* PickParticle() {
        const uint8_t b = in_.Byte();
        return particles_.empty() ? nullptr : &particles_[b % particles_.size()];
    }
    Tracked<constraint>* PickConstraint() {
        const uint8_t b = in_.Byte();
        return constraints_.empty() ? nullptr : &constraints_[b % constraints_.size()];
    }
    Tracked<PhysicsBody>* PickBody() {
        const uint8_t b = in_.Byte();
        return bodies_.empty() ? nullptr : &bodies_[b % bodies_.size()];
    }
    float Mass() {
        static const float kMasses[] = {0.0f, 0.5f, 1.0f, 1.0f, 2.0f, 10.0f};
        return kMasses[in_.Byte() % 6];
    }
    Vect Offset(float r) { return Vect(in_.Float(-r, r), in_.Float(-r, r)); }
    Vect InWorld() { return Vect(in_.Float(0.0f, kWidth), in_.Float(0.0f, kHeight)); }

    void Do(uint8_t op) {
        switch (op) {
            case 0:
            case 1: {  // a particle
                const Vect p = InWorld();
                const Vect v = Offset(8.0f);
                const float mass = Mass();
                const uint8_t flags = in_.Byte();
                if (particles_.size() >= kMaxParticles) return;
                particles_.push_back({Verlet::Create(w_, MakeVect(p.x, p.y), MakeVect(v.x, v.y),
                                                     mass, flags & 1, (flags >> 1) & 1)});
                return;
            }
            case 2:
            case 3: {  // a constraint, maybe joining a particle to itself or to a removed one
                Tracked<Verlet>* a = PickParticle();
                Tracked<Verlet>* b = PickParticle();
                const float elasticity = in_.Float(0.0f, 1.0f);
                const uint8_t kind = in_.Byte();
                const float breakPoint = kind & 1 ? in_.Float(1.0f, 300.0f) : 0.0f;
                const float length = kind & 2 ? in_.Float(0.0f, 300.0f) : -1.0f;
                if (!a || !b || constraints_.size() >= kMaxConstraints) return;
                constraints_.push_back(
                    {constraint::Create(w_, a->ref, b->ref, elasticity, breakPoint, length)});
                return;
            }
            case 4:
                if (bodies_.size() < kMaxBodies) bodies_.push_back({PhysicsBody::Create(w_)});
                return;
            case 5: {  // body membership
                Tracked<PhysicsBody>* body = PickBody();
                Tracked<Verlet>* p = PickParticle();
                Tracked<constraint>* c = PickConstraint();
                const uint8_t how = in_.Byte();
                if (!body) return;
                PhysicsBody& B = *body->ref;
                switch (how % 8) {
                    case 0:
                        if (p) B.addverlet(p->ref, (how >> 3) & 1);
                        break;
                    case 1:
                        if (c) B.addconstraint(c->ref, (how >> 3) & 1);
                        break;
                    case 2:
                        if (p) B.removeverlet(p->ref.get());
                        break;
                    case 3:
                        if (c) B.removeconstraint(c->ref.get());
                        break;
                    case 4:
                        if (p) B.addactiveverlet(p->ref);
                        break;
                    case 5:
                        if (c) B.addactiveconstraint(c->ref);
                        break;
                    case 6:
                        if (p) B.removeactiveverlet(p->ref.get());
                        break;
                    case 7:
                        if (c) B.removeactiveconstraint(c->ref.get());
                        break;
                }
                return;
            }
            case 6:
                if (Tracked<Verlet>* p = PickParticle()) {
                    p->ref->remove();
                    p->registered = false;
                }
                return;
            case 7:
                if (Tracked<constraint>* c = PickConstraint()) {
                    c->ref->remove();
                    c->registered = false;
                }
                return;
            case 8:
                if (Tracked<PhysicsBody>* body = PickBody()) RemoveBody(*body);
                return;
            case 9:
                if (Tracked<Verlet>* p = PickParticle(); p && particles_.size() < kMaxParticles) {
                    particles_.push_back({p->ref->duplicate()});
                }
                return;
            case 10:
                if (Tracked<PhysicsBody>* body = PickBody()) DuplicateBody(*body);
                return;
            case 11:
            case 12: {  // particle moves and pushes
                Tracked<Verlet>* p = PickParticle();
                const uint8_t how = in_.Byte();
                const Vect v = how % 4 == 3 ? InWorld() : Offset(how % 4 == 0 ? 20.0f : 10.0f);
                if (!p) return;
                switch (how % 4) {
                    case 0:
                        p->ref->Move(v);
                        break;
                    case 1:
                        p->ref->SetVelocity(v);
                        break;
                    case 2:
                        p->ref->AddVelocity(v);
                        break;
                    case 3:
                        p->ref->Position(v);
                        break;
                }
                return;
            }
            case 13: {  // constraint tuning
                Tracked<constraint>* c = PickConstraint();
                const uint8_t how = in_.Byte();
                const float value = in_.Float(0.0f, 1.0f);
                if (!c) return;
                switch (how % 3) {
                    case 0:
                        c->ref->SetLength(value * 300.0f);
                        break;
                    case 1:
                        c->ref->SetElasticity(value);
                        break;
                    case 2:
                        c->ref->BreakPoint = how & 8 ? 1.0f + value * 299.0f : 0.0f;
                        break;
                }
                return;
            }
            case 14:
            case 15: {  // body moves, pushes and surface
                Tracked<PhysicsBody>* body = PickBody();
                const uint8_t how = in_.Byte();
                Vect v = how % 6 == 3 ? InWorld() : Offset(how % 6 == 0 ? 20.0f : 10.0f);
                if (!body) return;
                PhysicsBody& B = *body->ref;
                switch (how % 6) {
                    case 0:
                        B.Move(v);
                        break;
                    case 1:
                        B.SetVelocity(v);
                        break;
                    case 2:
                        B.AddForce(v);
                        break;
                    case 3:
                        B.Position(v);
                        break;
                    case 4:
                        B.SetBounce((v.x + 10.0f) / 20.0f);
                        break;
                    case 5:
                        B.SetFriction((v.y + 10.0f) / 20.0f);
                        break;
                }
                return;
            }
            case 16:
            case 17:
            case 18: {  // the program's step: world callbacks, body summaries, collision
                const int32_t steps = in_.Int(1, 4);
                for (int32_t i = 0; i < steps; ++i) {
                    Update();
                    SyncBroken();
                    CheckWorld();
                    Stage();
                    PhysicsBody::UpdateAllPositions(w_);
                    CheckBodies();
                    PhysicsBody::CollideAll(w_);
                }
                return;
            }
            case 19:
                Update();
                SyncBroken();
                return;
            case 20:
                PhysicsBody::UpdateAllPositions(w_);
                CheckBodies();
                return;
            case 21:
                PhysicsBody::CollideAll(w_);
                return;
            case 22:
                w_->CONSTRAINT_ITERATIONS = in_.Int(0, 10);
                return;
            case 23: {
                const Vect g = Offset(0.2f);
                w_->gravity->set(g.x, g.y);
                return;
            }
            case 24:
            case 25:
                Box();
                return;
        }
    }

    // A box body as the scene makes them: four particles, four sides that collide and two
    // braces, all its particles colliding; somewhere in the world or next to another body.
    void Box() {
        const uint8_t how = in_.Byte();
        Tracked<PhysicsBody>* near = how & 1 ? PickBody() : nullptr;
        Vect at = near ? Vect(near->ref->Pos->x + in_.Float(-40.0f, 40.0f),
                              near->ref->Pos->y + in_.Float(-40.0f, 40.0f))
                       : InWorld();
        const float size = in_.Float(4.0f, 60.0f);
        const float mass = Mass();
        const Vect v = Offset(4.0f);
        if (bodies_.size() >= kMaxBodies || particles_.size() + 4 > kMaxParticles ||
            constraints_.size() + 6 > kMaxConstraints || !std::isfinite(at.x) ||
            !std::isfinite(at.y)) {
            return;
        }
        Ref<PhysicsBody> body = PhysicsBody::Create(w_);
        bodies_.push_back({body});
        const float corners[4][2] = {{0, 0}, {size, 0}, {size, size}, {0, size}};
        Ref<Verlet> p[4];
        for (int i = 0; i < 4; ++i) {
            p[i] = Verlet::Create(w_, MakeVect(at.x + corners[i][0], at.y + corners[i][1]),
                                  MakeVect(v.x, v.y), mass, (how >> 1) & 1 ? 0 : 1, 0);
            particles_.push_back({p[i]});
            body->addverlet(p[i], 1);
        }
        const int ends[6][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 2}, {1, 3}};
        for (int i = 0; i < 6; ++i) {
            Ref<constraint> c =
                constraint::Create(w_, p[ends[i][0]], p[ends[i][1]], 1.0f, 0.0f, -1.0f);
            constraints_.push_back({c});
            body->addconstraint(c, i < 4 ? 1 : 0);
        }
    }

    // One world step: the constraint pass (where the known fault lives), then the particles.
    void Update() {
        w_->Update();
        updated_ = true;
        if (verbose_) Dump(255);
    }

    // Starts a stretch of calls to be judged by the finiteness check: whether all values were
    // finite and of a size the inputs can make before it, and whether a step ran in it.
    void Stage() {
        bounded_ = true;
        for (const auto& t : particles_) {
            const Verlet& v = *t.ref;
            for (const Vect* x : {v.pos.get(), v.oldpos.get(), v.vel.get(), v.accvel.get()}) {
                if (!(std::fabs(x->x) < kBounded && std::fabs(x->y) < kBounded)) bounded_ = false;
            }
        }
        updated_ = false;
    }

    Tracked<Verlet>* Find(const Verlet* v) {
        for (auto& t : particles_) {
            if (t.ref.get() == v) return &t;
        }
        return nullptr;
    }
    Tracked<constraint>* Find(const constraint* c) {
        for (auto& t : constraints_) {
            if (t.ref.get() == c) return &t;
        }
        return nullptr;
    }

    template <class T>
    auto& Tracking(const T* obj) {
        auto* t = Find(obj);
        FUZZ_CHECK_OPS(t != nullptr, "a body lists an object this run never made");
        return *t;
    }

    void RemoveBody(Tracked<PhysicsBody>& body) {
        PhysicsBody& B = *body.ref;
        for (Verlet* v : B.verlets->each<Verlet>()) Tracking(v).registered = false;
        for (constraint* c : B.constraints->each<constraint>()) Tracking(c).registered = false;
        B.remove();
        body.registered = false;
    }

    void DuplicateBody(Tracked<PhysicsBody>& body) {
        PhysicsBody& B = *body.ref;
        if (bodies_.size() >= kMaxBodies ||
            particles_.size() + static_cast<size_t>(B.verlets->Count()) > kMaxParticles ||
            constraints_.size() + static_cast<size_t>(B.constraints->Count()) > kMaxConstraints) {
            return;
        }
        Ref<PhysicsBody> copy = B.duplicate();
        bodies_.push_back({copy});
        for (Verlet* v : copy->verlets->each<Verlet>()) {
            FUZZ_CHECK_OPS(Find(v) == nullptr,
                           "a body's copy shares a particle with an earlier one");
            particles_.push_back(
                {std::static_pointer_cast<Verlet>(ObjectRefOf(v, *w_->VerletArray))});
        }
        for (constraint* c : copy->constraints->each<constraint>()) {
            FUZZ_CHECK_OPS(Find(c) == nullptr,
                           "a body's copy shares a constraint with an earlier one");
            constraints_.push_back(
                {std::static_pointer_cast<constraint>(ObjectRefOf(c, *w_->ConstraintArray))});
        }
    }

    // The array's own reference to a registered object.
    template <class T>
    ObjectRef ObjectRefOf(const T* obj, const Array& arr) {
        FUZZ_CHECK_OPS(obj->index >= 0 && obj->index < arr.last && arr.at(obj->index) == obj,
                       "a new object does not hold its slot");
        return arr.a[static_cast<size_t>(obj->index)];
    }

    // Constraints broken in a step leave the world: each must have been marked.
    void SyncBroken() {
        const Array& arr = *w_->ConstraintArray;
        for (auto& t : constraints_) {
            if (!t.registered) continue;
            const constraint& c = *t.ref;
            const bool inWorld = c.index >= 0 && c.index < arr.last && arr.at(c.index) == &c;
            if (inWorld) continue;
            FUZZ_CHECK_OPS(c.setremove == 1,
                           "a constraint left the world in a step without breaking");
            t.registered = false;
        }
    }

    template <class T>
    void CheckRegistry(const char* what, const TList& list, const Array& arr,
                       const std::vector<Tracked<T>>& model) {
        const std::string kind(what);
        std::vector<const T*> expected;
        for (const auto& t : model) {
            if (t.registered) expected.push_back(t.ref.get());
        }
        FUZZ_CHECK_OPS(arr.last == static_cast<int32_t>(expected.size()),
                       kind + " array holds " + std::to_string(arr.last) + ", expected " +
                           std::to_string(expected.size()));
        FUZZ_CHECK_OPS(list.Count() == arr.last, kind + " list and array counts differ");
        FUZZ_CHECK_OPS(arr.last < arr.capacity(), kind + " array has no free slot at `last`");
        for (int32_t i = 0; i < arr.capacity(); ++i) {
            const Object* o = arr.at(i);
            if (i >= arr.last) {
                FUZZ_CHECK_OPS(o == nullptr, kind + " array slot past `last` is occupied");
                continue;
            }
            const T* t = ObjectCast<T>(const_cast<Object*>(o));
            FUZZ_CHECK_OPS(t != nullptr,
                           kind + " array slot " + std::to_string(i) + " holds another class");
            FUZZ_CHECK_OPS(t->index == i, kind + " in slot " + std::to_string(i) + " names slot " +
                                              std::to_string(t->index));
            FUZZ_CHECK_OPS(t->pworld == w_, kind + " names another world");
        }
        // The list: the registered objects, each once, in creation order.
        size_t k = 0;
        TListEnum e = list.ObjectEnumerator();
        while (e.HasNext()) {
            const Object* o = e.NextObject().get();
            FUZZ_CHECK_OPS(k < expected.size() && o == expected[k],
                           kind + " list differs from the registered objects at position " +
                               std::to_string(k));
            ++k;
        }
        FUZZ_CHECK_OPS(k == expected.size(), kind + " list is short");
    }

    void CheckWorld() {
        CheckRegistry("particle", *w_->VerletList, *w_->VerletArray, particles_);
        CheckRegistry("constraint", *w_->ConstraintList, *w_->ConstraintArray, constraints_);
        size_t k = 0;
        for (PhysicsBody* b : w_->PhysicsBodies->each<PhysicsBody>()) {
            while (k < bodies_.size() && !bodies_[k].registered) ++k;
            FUZZ_CHECK_OPS(k < bodies_.size() && bodies_[k].ref.get() == b,
                           "the bodies' list differs from the registered bodies");
            ++k;
        }
        while (k < bodies_.size() && !bodies_[k].registered) ++k;
        FUZZ_CHECK_OPS(k == bodies_.size(), "the bodies' list is short");
        CheckFinite();
    }

    void CheckFinite() {
        if (nonFiniteSeen_) return;  // reported once; what follows from it is no news
        for (size_t i = 0; i < particles_.size(); ++i) {
            const Verlet& v = *particles_[i].ref;
            if (Finite(*v.pos) && Finite(*v.oldpos) && Finite(*v.vel) && Finite(*v.accvel))
                continue;
            nonFiniteSeen_ = true;
            const std::string what = "particle " + std::to_string(i) + " pos " + Xy(*v.pos) +
                                     " oldpos " + Xy(*v.oldpos) + " vel " + Xy(*v.vel);
            // Only relaxation is known to diverge: any other call that turns finite values of
            // a sensible size into infinities or NaN is a fault of its own.
            FUZZ_CHECK_OPS(updated_ || !bounded_,
                           "non-finite value from a call other than "
                           "the world's step: " +
                               what);
            FUZZ_CHECK_OPS(false, "non-finite value after the world's step: " + what);
            return;
        }
    }

    // After UpdateAllPositions: a body with mass has its centre among its particles, and its box
    // around its colliding particles.
    void CheckBodies() {
        CheckFinite();
        if (nonFiniteSeen_) return;
        for (const auto& t : bodies_) {
            if (!t.registered) continue;  // UpdateAllPositions walks the world's bodies only
            const PhysicsBody& B = *t.ref;
            float lox = INFINITY, hix = -INFINITY, loy = INFINITY, hiy = -INFINITY, m = 0.0f;
            for (Verlet* v : B.verlets->each<Verlet>()) {
                m += v->mass;
                if (v->mass == 0.0f) continue;
                lox = std::fmin(lox, v->pos->x);
                hix = std::fmax(hix, v->pos->x);
                loy = std::fmin(loy, v->pos->y);
                hiy = std::fmax(hiy, v->pos->y);
            }
            if (m > 0.0f) {
                const float slack = 1e-3f * (1.0f + std::fabs(hix) + std::fabs(hiy) +
                                             std::fabs(lox) + std::fabs(loy));
                const Vect& c = *B.Pos;
                FUZZ_CHECK_OPS(
                    c.x >= lox - slack && c.x <= hix + slack && c.y >= loy - slack &&
                        c.y <= hiy + slack,
                    "body " + std::to_string(B.ID) + " centre " + Xy(c) + " outside its particles");
            }
            for (Verlet* v : B.activeverlets->each<Verlet>()) {
                const Vect& p = *v->pos;
                FUZZ_CHECK_OPS(p.x - kCollisionRadius >= B.minxy->x &&
                                   p.x + kCollisionRadius <= B.maxxy->x &&
                                   p.y - kCollisionRadius >= B.minxy->y &&
                                   p.y + kCollisionRadius <= B.maxxy->y,
                               "body " + std::to_string(B.ID) + " box " + Xy(*B.minxy) + "-" +
                                   Xy(*B.maxxy) + " misses particle " + Xy(p));
            }
        }
    }

    // With FUZZ_VERBOSE set: the state after each call, to read a failing input by.
    void Dump(uint8_t op) {
        std::string s = "op " + std::to_string(op) + ": iterations " +
                        std::to_string(w_->CONSTRAINT_ITERATIONS) + " gravity " + Xy(*w_->gravity) +
                        "\n";
        auto particle = [this](const Verlet* v) {
            for (size_t i = 0; i < particles_.size(); ++i) {
                if (particles_[i].ref.get() == v) return "p" + std::to_string(i);
            }
            return std::string("p?");
        };
        for (size_t i = 0; i < particles_.size(); ++i) {
            const Verlet& v = *particles_[i].ref;
            s += "  p" + std::to_string(i) + (particles_[i].registered ? "" : " (removed)") +
                 " pos " + Xy(*v.pos) + " oldpos " + Xy(*v.oldpos) + " accvel " + Xy(*v.accvel) +
                 " mass " + std::to_string(v.mass) + " active " + std::to_string(v.active) + "\n";
        }
        for (size_t i = 0; i < constraints_.size(); ++i) {
            const constraint& c = *constraints_[i].ref;
            s += "  c" + std::to_string(i) + (constraints_[i].registered ? "" : " (removed)") +
                 " " + particle(c.v1.get()) + "-" + particle(c.v2.get()) + " length " +
                 std::to_string(c.OriginalLength) + " elasticity " + std::to_string(c.elasticity) +
                 " break " + std::to_string(c.BreakPoint) + "\n";
        }
        std::fputs(s.c_str(), stderr);
    }

    ByteReader& in_;
    Ref<PhysicsWorld> world_;
    PhysicsWorld* w_ = nullptr;
    std::vector<Tracked<Verlet>> particles_;
    std::vector<Tracked<constraint>> constraints_;
    std::vector<Tracked<PhysicsBody>> bodies_;
    std::string trace_;
    bool nonFiniteSeen_ = false;
    bool bounded_ = true;  // see Stage
    bool updated_ = false;
    bool verbose_ = std::getenv("FUZZ_VERBOSE") != nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    Fuzz(in).Run();
    return 0;
}
