// A scene and a world: what a world holds, captured as scene data, and a new world built from
// scene data.
#include <unordered_map>

#include "app/scene_file.h"
#include "physics/constraint.h"
#include "physics/verlet.h"

namespace {

template <class T>
std::vector<T*> Walk(const TList& list) {
    std::vector<T*> out;
    for (T* o : list.each<T>()) out.push_back(o);
    return out;
}

// Numbers objects by the order in which they are first met.
template <class T>
class Numbering {
  public:
    int32_t Of(T* o) {
        const auto [it, added] = index_.emplace(o, static_cast<int32_t>(order_.size()));
        if (added) order_.push_back(o);
        return it->second;
    }
    const std::vector<T*>& order() const { return order_; }

  private:
    std::unordered_map<const T*, int32_t> index_;
    std::vector<T*> order_;
};

// Particles or constraints: those with slots made in slot order, then the rest, which leave the
// world again at once from the array's end and so disturb no slot; then the world's list in its
// own order. The list is made anew rather than edited, since a removal from it is a search.
template <class T, class Make>
std::vector<Ref<T>> MakeAll(size_t count, const std::vector<int32_t>& slots,
                            const std::vector<int32_t>& list, Ref<TList>& worldList, Make make) {
    std::vector<Ref<T>> made(count);
    for (int32_t k : slots) made[static_cast<size_t>(k)] = make(static_cast<size_t>(k));
    worldList = std::make_shared<TList>();
    for (size_t k = 0; k < count; ++k) {
        if (made[k]) continue;
        made[k] = make(k);
        made[k]->remove();  // the only one in the new list, and last in the array
        made[k]->index = -1;
    }
    for (int32_t k : list) worldList->AddLast(made[static_cast<size_t>(k)]);
    return made;
}

}  // namespace

SceneData CaptureScene(const PhysicsWorld& world, const PhysicsBody& templateBody) {
    SceneData s;
    s.width = world.Width;
    s.height = world.Height;
    s.constraintIterations = world.CONSTRAINT_ITERATIONS;
    s.gravity = {world.gravity->x, world.gravity->y};
    s.gravityx = world.gravityx;
    s.gravityy = world.gravityy;
    s.stepMode = world.stepMode;
    s.contactDamping = world.contactDamping;
    s.bodyIdCount = world.PhysicsBodyIDCount;

    // The world's particles first, in slot order, so that a fresh scene's slots are 0, 1, 2...;
    // then any that only a constraint or a body still holds.
    Numbering<Verlet> vs;
    Numbering<constraint> cs;
    const Array& va = *world.VerletArray;
    for (int32_t i = 0; i < va.last; ++i) {
        if (auto* v = ObjectCast<Verlet>(va.at(i))) s.particleSlots.push_back(vs.Of(v));
    }
    for (Verlet* v : Walk<Verlet>(*world.VerletList)) s.particleList.push_back(vs.Of(v));
    const Array& ca = *world.ConstraintArray;
    for (int32_t i = 0; i < ca.last; ++i) {
        if (auto* c = ObjectCast<constraint>(ca.at(i))) s.constraintSlots.push_back(cs.Of(c));
    }
    for (constraint* c : Walk<constraint>(*world.ConstraintList)) {
        s.constraintList.push_back(cs.Of(c));
    }

    std::vector<const PhysicsBody*> bodies;
    for (PhysicsBody* b : Walk<PhysicsBody>(*world.PhysicsBodies)) bodies.push_back(b);
    const size_t inWorld = bodies.size();
    s.templateBody = -1;
    for (size_t i = 0; i < bodies.size(); ++i) {
        if (bodies[i] == &templateBody) s.templateBody = static_cast<int32_t>(i);
    }
    if (s.templateBody < 0) {
        s.templateBody = static_cast<int32_t>(bodies.size());
        bodies.push_back(&templateBody);
    }
    for (size_t i = 0; i < bodies.size(); ++i) {
        const PhysicsBody& b = *bodies[i];
        SceneBody sb;
        for (Verlet* v : Walk<Verlet>(*b.verlets)) sb.verlets.push_back(vs.Of(v));
        for (Verlet* v : Walk<Verlet>(*b.activeverlets)) sb.activeverlets.push_back(vs.Of(v));
        for (constraint* c : Walk<constraint>(*b.constraints)) sb.constraints.push_back(cs.Of(c));
        for (constraint* c : Walk<constraint>(*b.activeconstraints)) {
            sb.activeconstraints.push_back(cs.Of(c));
        }
        sb.selfcollide = b.selfcollide;
        sb.ID = b.ID;
        sb.maxxy = {b.maxxy->x, b.maxxy->y};
        sb.minxy = {b.minxy->x, b.minxy->y};
        sb.Pos = {b.Pos->x, b.Pos->y};
        sb.Vel = {b.Vel->x, b.Vel->y};
        sb.bounce = b.bounce;
        sb.friction = b.friction;
        sb.inWorld = i < inWorld;
        s.bodies.push_back(std::move(sb));
    }
    // Constraints in no body and out of the world are gone for good; those met so far are
    // numbered. Their ends may add particles.
    for (size_t i = 0; i < cs.order().size(); ++i) {
        const constraint& c = *cs.order()[i];
        SceneConstraint sc;
        sc.v1 = vs.Of(c.v1.get());
        sc.v2 = vs.Of(c.v2.get());
        sc.elasticity = c.elasticity;
        sc.TargetLength = c.TargetLength;
        sc.OriginalLength = c.OriginalLength;
        sc.BreakPoint = c.BreakPoint;
        sc.totmass = c.totmass;
        sc.v1prop = c.v1prop;
        sc.v2prop = c.v2prop;
        sc.setremove = c.setremove;
        s.constraints.push_back(sc);
    }
    for (const Verlet* v : vs.order()) {
        SceneParticle p;
        p.pos = {v->pos->x, v->pos->y};
        p.vel = {v->vel->x, v->vel->y};
        p.oldpos = {v->oldpos->x, v->oldpos->y};
        p.accvel = {v->accvel->x, v->accvel->y};
        p.mass = v->mass;
        p.active = v->active;
        p.ghost = v->ghost;
        s.particles.push_back(p);
    }
    return s;
}

SceneWorld BuildSceneWorld(const SceneData& s) {
    SceneWorld out;
    // Everything is made through the library's own Create functions (which register it in the
    // world in creation order), then given the file's values.
    out.world = PhysicsWorld::Create(s.width, s.height, 1);
    PhysicsWorld& w = *out.world;
    w.CONSTRAINT_ITERATIONS = s.constraintIterations;
    w.gravity->set(s.gravity.x, s.gravity.y);
    w.gravityx = s.gravityx;
    w.gravityy = s.gravityy;
    w.stepMode = s.stepMode;
    w.contactDamping = s.contactDamping;

    std::vector<Ref<Verlet>> vs = MakeAll<Verlet>(
        s.particles.size(), s.particleSlots, s.particleList, w.VerletList, [&](size_t k) {
            const SceneParticle& p = s.particles[k];
            Ref<Verlet> v = Verlet::Create(&w, MakeVect(p.pos.x, p.pos.y),
                                           MakeVect(p.vel.x, p.vel.y), p.mass, p.active, p.ghost);
            v->oldpos->set(p.oldpos.x, p.oldpos.y);
            v->accvel->set(p.accvel.x, p.accvel.y);
            return v;
        });
    std::vector<Ref<constraint>> cs = MakeAll<constraint>(
        s.constraints.size(), s.constraintSlots, s.constraintList, w.ConstraintList, [&](size_t k) {
            const SceneConstraint& c = s.constraints[k];
            Ref<constraint> nc =
                constraint::Create(&w, vs[static_cast<size_t>(c.v1)], vs[static_cast<size_t>(c.v2)],
                                   c.elasticity, c.BreakPoint, c.OriginalLength);
            nc->OriginalLength = c.OriginalLength;
            nc->TargetLength = c.TargetLength;
            nc->totmass = c.totmass;
            nc->v1prop = c.v1prop;
            nc->v2prop = c.v2prop;
            nc->setremove = c.setremove;
            return nc;
        });

    for (size_t i = 0; i < s.bodies.size(); ++i) {
        const SceneBody& sb = s.bodies[i];
        Ref<PhysicsBody> b = PhysicsBody::Create(&w);
        for (int32_t k : sb.verlets) b->verlets->AddLast(vs[static_cast<size_t>(k)]);
        for (int32_t k : sb.activeverlets) b->activeverlets->AddLast(vs[static_cast<size_t>(k)]);
        for (int32_t k : sb.constraints) b->constraints->AddLast(cs[static_cast<size_t>(k)]);
        for (int32_t k : sb.activeconstraints) {
            b->activeconstraints->AddLast(cs[static_cast<size_t>(k)]);
        }
        b->selfcollide = sb.selfcollide;
        b->ID = sb.ID;
        b->maxxy->set(sb.maxxy.x, sb.maxxy.y);
        b->minxy->set(sb.minxy.x, sb.minxy.y);
        b->Pos->set(sb.Pos.x, sb.Pos.y);
        b->Vel->set(sb.Vel.x, sb.Vel.y);
        b->bounce = sb.bounce;
        b->friction = sb.friction;
        if (!sb.inWorld) w.PhysicsBodies->Remove(b.get());
        if (i == static_cast<size_t>(s.templateBody)) out.templateBody = b;
    }
    w.PhysicsBodyIDCount = s.bodyIdCount;
    return out;
}
