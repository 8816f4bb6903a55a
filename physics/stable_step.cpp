#include "physics/stable_step.h"

#include <algorithm>
#include <cmath>

#include "physics/body.h"
#include "physics/collision.h"
#include "physics/constraint.h"
#include "physics/internal/step_cache.h"
#include "physics/verlet.h"
#include "physics/world.h"

namespace {

using Particle = StableScratch::Particle;
using Motion = StableScratch::Motion;
using Rod = StableScratch::Rod;
using Contact = StableScratch::Contact;
using Held = StableScratch::Held;

constexpr float D = kContactDistance;
constexpr float D2 = kContactDistance * kContactDistance;
// A massless active particle gives way to everything, as in the default relaxation: it gets an
// inverse mass this large.
constexpr float kLightest = 1.0e6f;
// Contacts within this much of touching (beyond the bodies' own motion) are kept for the step.
constexpr float kSlack = 1.0f;
// Static friction holds a slip of up to this many times the two bodies' friction product times
// the push of the contact.
constexpr float kFrictionScale = 0.25f;
// The most of an old overlap a contact undoes in one substep.
constexpr float kRecover = 0.2f;

float InverseMass(const Verlet& v) {
    if (!v.active) return 0.0f;
    return v.mass > 1.0e-6f ? 1.0f / v.mass : kLightest;
}

// The particle's entry: its slot when it holds one in the world's array, else a new entry after
// the slots (a particle that has left the world still moves with the constraints that reach it).
int32_t EntryOf(Verlet& v, const Array& arr, StableScratch& s) {
    const int32_t slot = v.index;
    if (slot >= 0 && slot < arr.last && arr.at(slot) == &v) return slot;
    const Vect& p = *v.pos;
    s.particles.push_back({p.x, p.y, p.x, p.y, InverseMass(v)});
    s.motion.push_back({0.0f, 0.0f, 0.0f});
    s.links.push_back({v.pos.get(), nullptr, nullptr, nullptr});
    return static_cast<int32_t>(s.particles.size()) - 1;
}

void Gather(PhysicsWorld& world, StableScratch& s) {
    const Array& arr = *world.VerletArray;
    const Vect& g = *world.gravity;
    s.particles.clear();
    s.motion.clear();
    s.links.clear();
    for (int32_t i = 0; i < arr.last; ++i) {
        auto* v = ObjectCast<Verlet>(arr.at(i));
        if (v == nullptr) {
            s.particles.push_back({0.0f, 0.0f, 0.0f, 0.0f, 0.0f});
            s.motion.push_back({0.0f, 0.0f, 0.0f});
            s.links.push_back({nullptr, nullptr, nullptr, nullptr});
            continue;
        }
        const Vect& p = *v->pos;
        const Vect& o = *v->oldpos;
        const Vect& a = *v->accvel;
        float vx = p.x - o.x + a.x;
        float vy = p.y - o.y + a.y;
        if (v->active) {
            vx = vx + g.x;
            vy = vy + g.y;
        }
        s.particles.push_back({p.x, p.y, p.x, p.y, InverseMass(*v)});
        s.motion.push_back({vx, vy, 1.0f});
        s.links.push_back({v->pos.get(), v->oldpos.get(), v->vel.get(), v->accvel.get()});
    }
    s.rods.clear();
    s.rodOwners.clear();
    const Array& cons = *world.ConstraintArray;
    for (int32_t i = 0; i < cons.last; ++i) {
        auto* c = ObjectCast<constraint>(cons.at(i));
        if (c == nullptr || !c->v1 || !c->v2) continue;
        const int32_t a = EntryOf(*c->v1, arr, s);
        const int32_t b = EntryOf(*c->v2, arr, s);
        float stiffness = c->elasticity < 1.0f ? c->elasticity : 1.0f;
        if (!(stiffness > 0.0f)) stiffness = 0.0f;
        const float w =
            s.particles[static_cast<size_t>(a)].w + s.particles[static_cast<size_t>(b)].w;
        const float rest = c->OriginalLength;
        // the correction shared by inverse mass, or nothing when neither end can move
        const float share = w == 0.0f ? 0.0f : stiffness / w;
        s.rods.push_back({a, b, rest, rest * rest, share, c->BreakPoint});
        s.rodOwners.push_back(c);
    }
}

// The body's particles' farthest move this step, and its box grown by it, written into the body
// for the broadphase (the box is made anew at the end of the step).
void GrowBoxes(PhysicsWorld& world, StableScratch& s) {
    s.bodyReach.clear();
    const Array& arr = *world.VerletArray;
    for (PhysicsBody* b : world.PhysicsBodies->fast<PhysicsBody>()) {
        float reach = 0.0f;
        bool first = true;
        float x0 = 0.0f, y0 = 0.0f, x1 = 0.0f, y1 = 0.0f;
        for (Verlet* v : b->activeverlets->fast<Verlet>()) {
            const int32_t slot = v->index;
            float vx = 0.0f, vy = 0.0f;
            if (slot >= 0 && slot < arr.last && arr.at(slot) == v) {
                const Motion& m = s.motion[static_cast<size_t>(slot)];
                vx = m.vx;
                vy = m.vy;
            }
            const float r = std::fabs(vx) + std::fabs(vy);
            if (r > reach) reach = r;
            const float x = v->pos->x;
            const float y = v->pos->y;
            if (first || x < x0) x0 = x;
            if (first || x > x1) x1 = x;
            if (first || y < y0) y0 = y;
            if (first || y > y1) y1 = y;
            first = false;
        }
        s.bodyReach.push_back(reach);
        if (first) continue;
        const float grow = kCollisionRadius + reach + kSlack;
        b->minxy->set(x0 - grow, y0 - grow);
        b->maxxy->set(x1 + grow, y1 + grow);
    }
}

int32_t SlotOf(const Verlet& v, const Array& arr) {
    const int32_t slot = v.index;
    return (slot >= 0 && slot < arr.last && arr.at(slot) == &v) ? slot : -1;
}

// The slots of every body's collision particles and edge ends (-1 for one outside the world's
// array), by broadphase position, so that the pairs below read them instead of finding them anew.
void FindSlots(const Array& arr, const Broadphase& bp, StableScratch& s) {
    const size_t count = bp.bodies().size();
    s.pointBegin.clear();
    s.edgeBegin.clear();
    s.pointSlots.clear();
    s.edgeSlots.clear();
    for (size_t pos = 0; pos < count; ++pos) {
        s.pointBegin.push_back(static_cast<int32_t>(s.pointSlots.size()));
        s.edgeBegin.push_back(static_cast<int32_t>(s.edgeSlots.size()));
        for (const Broadphase::Particle& pt : bp.Particles(static_cast<int32_t>(pos))) {
            s.pointSlots.push_back(SlotOf(*pt.v, arr));
        }
        for (const Broadphase::Edge& e : bp.Edges(static_cast<int32_t>(pos))) {
            s.edgeSlots.push_back({SlotOf(*e.a, arr), SlotOf(*e.b, arr)});
        }
    }
    s.pointBegin.push_back(static_cast<int32_t>(s.pointSlots.size()));
    s.edgeBegin.push_back(static_cast<int32_t>(s.edgeSlots.size()));
}

// The contacts of particles [p0, p1) of one body with edges [e0, e1) of another.
void EdgeContacts(StableScratch& s, int32_t p0, int32_t p1, int32_t e0, int32_t e1, float near,
                  float mu) {
    const Particle* ps = s.particles.data();
    const float near2 = near * near;
    for (int32_t k = p0; k < p1; ++k) {
        const int32_t i = s.pointSlots[static_cast<size_t>(k)];
        if (i < 0) continue;
        const Particle& p = ps[i];
        for (int32_t m = e0; m < e1; ++m) {
            const StableScratch::EdgeSlots& e = s.edgeSlots[static_cast<size_t>(m)];
            if (e.a < 0 || e.b < 0) continue;
            const Particle& pa = ps[e.a];
            const Particle& pb = ps[e.b];
            const float ex = pb.x - pa.x;
            const float ey = pb.y - pa.y;
            const float len2 = ex * ex + ey * ey;
            if (len2 == 0.0f) continue;  // zero-length edge: no side to push from
            float t = ((p.x - pa.x) * ex + (p.y - pa.y) * ey) / len2;
            if (t < 0.0f) t = 0.0f;
            if (t > 1.0f) t = 1.0f;
            const float dx = p.x - (pa.x + ex * t);
            const float dy = p.y - (pa.y + ey * t);
            if (dx * dx + dy * dy < near2) s.contacts.push_back({i, e.a, e.b, mu});
        }
    }
}

// The contacts that may touch during the step: particle pairs and particle-edge pairs of two
// bodies closer than the contact distance plus both bodies' reach.
void FindContacts(PhysicsWorld& world, StableScratch& s) {
    s.contacts.clear();
    const Array& arr = *world.VerletArray;
    Broadphase& bp = world.Cache().broadphase;
    const std::span<const Broadphase::Pair> pairs = bp.Find(*world.PhysicsBodies);
    const std::span<PhysicsBody* const> bodies = bp.bodies();
    FindSlots(arr, bp, s);
    const Particle* ps = s.particles.data();
    for (const Broadphase::Pair& pr : pairs) {
        const PhysicsBody& A = *bodies[static_cast<size_t>(pr.outer)];
        const PhysicsBody& B = *bodies[static_cast<size_t>(pr.inner)];
        if (A.maxxy->x < B.minxy->x || B.maxxy->x < A.minxy->x || A.maxxy->y < B.minxy->y ||
            B.maxxy->y < A.minxy->y) {
            continue;
        }
        const auto outer = static_cast<size_t>(pr.outer);
        const auto inner = static_cast<size_t>(pr.inner);
        const float reach = s.bodyReach[outer] + s.bodyReach[inner] + kSlack;
        const float near = D + reach;
        const float near2 = near * near;
        const float mu = A.friction * B.friction * kFrictionScale;
        const int32_t a0 = s.pointBegin[outer], a1 = s.pointBegin[outer + 1];
        const int32_t b0 = s.pointBegin[inner], b1 = s.pointBegin[inner + 1];
        for (int32_t ka = a0; ka < a1; ++ka) {
            const int32_t i = s.pointSlots[static_cast<size_t>(ka)];
            if (i < 0) continue;
            const Particle& p = ps[i];
            for (int32_t kb = b0; kb < b1; ++kb) {
                const int32_t j = s.pointSlots[static_cast<size_t>(kb)];
                if (j < 0) continue;
                const Particle& q = ps[j];
                const float dx = p.x - q.x;
                const float dy = p.y - q.y;
                if (dx * dx + dy * dy < near2) s.contacts.push_back({i, j, -1, mu});
            }
        }
        EdgeContacts(s, a0, a1, s.edgeBegin[inner], s.edgeBegin[inner + 1], near, mu);
        EdgeContacts(s, b0, b1, s.edgeBegin[outer], s.edgeBegin[outer + 1], near, mu);
    }
}

// The substep's start: every particle of the world's array moves by its speed, the active ones
// gaining their share of gravity first.
void Predict(StableScratch& s, int32_t n, float inv, float gx, float gy) {
    for (int32_t i = 0; i < n; ++i) {
        Particle& p = s.particles[static_cast<size_t>(i)];
        Motion& m = s.motion[static_cast<size_t>(i)];
        p.px = p.x;
        p.py = p.y;
        if (m.move == 0.0f) continue;
        if (p.w > 0.0f) {
            m.vx = m.vx + gx;
            m.vy = m.vy + gy;
        }
        p.x = p.x + m.vx * inv;
        p.y = p.y + m.vy * inv;
    }
}

// One round over the constraints. In a substep's first round each constraint's stretch, which the
// substep's motion alone made, is compared with its break point as a whole step's would be: times
// the substeps.
void SolveRods(StableScratch& s, bool firstRound, float substeps) {
    Particle* ps = s.particles.data();
    const size_t count = s.rods.size();
    for (size_t i = 0; i < count; ++i) {
        const Rod& r = s.rods[i];
        Particle& a = ps[r.a];
        Particle& b = ps[r.b];
        const float dx = a.x - b.x;
        const float dy = a.y - b.y;
        const float dd = dx * dx + dy * dy;
        if (firstRound && r.breakPoint > 0.0f &&
            (std::sqrt(dd) - r.rest) * substeps > r.breakPoint) {
            s.rodOwners[i]->setremove = 1;
        }
        // (d - rest) / d taken as (d^2 - rest^2) / (d^2 + rest^2): the same near the rest length,
        // where the rods of a box stay, with no square root; far from it the pull is gentler.
        const float sum = dd + r.rest2;
        if (sum == 0.0f) continue;  // coincident ends of a rod of no length: nothing to do
        const float l = (dd - r.rest2) / sum * r.share;
        const float fx = dx * l;
        const float fy = dy * l;
        a.x = a.x - fx * a.w;
        a.y = a.y - fy * a.w;
        b.x = b.x + fx * b.w;
        b.y = b.y + fy * b.w;
    }
}

// Holds the contact's sideways slip since the substep began: all of it while it stays within mu
// times the push, else that much of it. wp, wa, wb are the inverse masses the push used. Damped
// (kDamped), the correction is not made here but added to the particles' sums in held (ps is the
// particles' start), to be shared out after the round.
template <bool kDamped>
inline void Friction(Particle& p, float wp, Particle& a, float wa, float ua, Particle& b, float wb,
                     float ub, float nx, float ny, float push, float invW, float mu,
                     const Particle* ps, Held* held) {
    const float rx = p.x - p.px - (ua * (a.x - a.px) + ub * (b.x - b.px));
    const float ry = p.y - p.py - (ua * (a.y - a.py) + ub * (b.y - b.py));
    const float rn = rx * nx + ry * ny;
    const float tx = rx - rn * nx;
    const float ty = ry - rn * ny;
    const float slip2 = tx * tx + ty * ty;
    const float limit = mu * push;
    // within the limit: all of the slip is held, with no square root to take
    const float keep = slip2 > limit * limit ? limit / std::sqrt(slip2) : 1.0f;
    const float cx = tx * keep * invW;
    const float cy = ty * keep * invW;
    if constexpr (kDamped) {
        Held& hp = held[&p - ps];
        hp.x = hp.x - cx * wp;
        hp.y = hp.y - cy * wp;
        hp.count = hp.count + 1.0f;
        if (ua > 0.0f) {
            Held& ha = held[&a - ps];
            ha.x = ha.x + cx * wa * ua;
            ha.y = ha.y + cy * wa * ua;
            ha.count = ha.count + 1.0f;
        }
        if (ub > 0.0f) {
            Held& hb = held[&b - ps];
            hb.x = hb.x + cx * wb * ub;
            hb.y = hb.y + cy * wb * ub;
            hb.count = hb.count + 1.0f;
        }
        return;
    }
    p.x = p.x - cx * wp;
    p.y = p.y - cy * wp;
    a.x = a.x + cx * wa * ua;
    a.y = a.y + cy * wa * ua;
    b.x = b.x + cx * wb * ub;
    b.y = b.y + cy * wb * ub;
}

// How far a contact pushes: the overlap made during this substep, and of the overlap already
// there when it began (measured along the same normal) no more than kRecover, so that an overlap
// left over from the substeps before is undone slowly instead of turned into speed.
inline float Push(float overlap, float before) {
    if (!(before > 0.0f)) return overlap;
    const float limited = overlap - before + kRecover;
    return limited < overlap ? limited : overlap;
}

// Pushes particle p out of the point of edge a-b at ua, ub (or of particle a: ua 1, ub 0).
// Damped, marks in pushed the particles the push moved.
template <bool kDamped>
inline void Resolve(Particle& p, Particle& a, float ua, Particle& b, float ub, float dx, float dy,
                    float d, const Contact& c, const Particle* ps, StableScratch& s) {
    const float wp = p.w;
    const float wa = a.w;
    const float wb = b.w;
    const float w = wp + wa * ua * ua + wb * ub * ub;
    if (w == 0.0f) return;  // nothing can move
    const float invD = 1.0f / d;
    const float nx = dx * invD;
    const float ny = dy * invD;
    const float fx0 = a.px * ua + b.px * ub;
    const float fy0 = a.py * ua + b.py * ub;
    const float push = Push(D - d, D - ((p.px - fx0) * nx + (p.py - fy0) * ny));
    if (!(push > 0.0f)) return;
    const float invW = 1.0f / w;
    const float l = push * invW;
    p.x = p.x + nx * l * wp;
    p.y = p.y + ny * l * wp;
    a.x = a.x - nx * l * wa * ua;
    a.y = a.y - ny * l * wa * ua;
    b.x = b.x - nx * l * wb * ub;
    b.y = b.y - ny * l * wb * ub;
    if constexpr (kDamped) {
        s.pushed[static_cast<size_t>(&p - ps)] = 1;
        if (ua > 0.0f) s.pushed[static_cast<size_t>(&a - ps)] = 1;
        if (ub > 0.0f) s.pushed[static_cast<size_t>(&b - ps)] = 1;
    }
    Friction<kDamped>(p, wp, a, wa, ua, b, wb, ub, nx, ny, push, invW, c.mu, ps, s.held.data());
}

// One round over the contacts. Damped, the round's friction corrections are summed per particle
// and each particle then moves by their mean: the contacts of a stack pull every way at once
// instead of one after another, which leans a tall stack the way the contacts are listed.
template <bool kDamped>
void SolveContacts(StableScratch& s) {
    Particle* ps = s.particles.data();
    if constexpr (kDamped) std::fill(s.held.begin(), s.held.end(), Held{0.0f, 0.0f, 0.0f});
    for (const Contact& c : s.contacts) {
        Particle& p = ps[c.p];
        Particle& a = ps[c.a];
        if (c.b < 0) {
            const float dx = p.x - a.x;
            const float dy = p.y - a.y;
            const float dd = dx * dx + dy * dy;
            if (dd >= D2) continue;
            const float d = std::sqrt(dd);
            if (d == 0.0f) continue;  // coincident particles: no direction to push, skip
            Resolve<kDamped>(p, a, 1.0f, a, 0.0f, dx, dy, d, c, ps, s);
            continue;
        }
        Particle& b = ps[c.b];
        const float ex = b.x - a.x;
        const float ey = b.y - a.y;
        const float len2 = ex * ex + ey * ey;
        if (len2 == 0.0f) continue;
        const float t = ((p.x - a.x) * ex + (p.y - a.y) * ey) / len2;
        if (t < 0.0f || t > 1.0f) continue;  // beyond the ends: the corners' own contacts act
        const float dx = p.x - (a.x + ex * t);
        const float dy = p.y - (a.y + ey * t);
        const float dd = dx * dx + dy * dy;
        if (dd >= D2) continue;
        const float d = std::sqrt(dd);
        if (d == 0.0f) continue;  // particle exactly on the edge: no direction, skip
        Resolve<kDamped>(p, a, 1.0f - t, b, t, dx, dy, d, c, ps, s);
    }
    if constexpr (kDamped) {
        const size_t count = s.particles.size();
        for (size_t i = 0; i < count; ++i) {
            const Held& h = s.held[i];
            if (h.count == 0.0f) continue;
            ps[i].x = ps[i].x + h.x / h.count;
            ps[i].y = ps[i].y + h.y / h.count;
        }
    }
}

inline float Clamp(float v, float limit) {
    if (!(v >= 0.0f)) return 0.0f;  // NaN lands here too
    return v > limit ? limit : v;
}

// Ends the substep: the walls, then the speeds. keep is what a particle a contact pushed keeps of
// its speed (1 - the world's contact damping); damped is whether there is any.
void Finish(StableScratch& s, int32_t n, float k, float width, float height, bool damped,
            float keep) {
    for (int32_t i = 0; i < n; ++i) {
        Particle& p = s.particles[static_cast<size_t>(i)];
        Motion& m = s.motion[static_cast<size_t>(i)];
        if (m.move == 0.0f) continue;
        p.x = Clamp(p.x, width);
        p.y = Clamp(p.y, height);
        // The speed is the substep's move, measured from its start held within the walls too: a
        // particle that began it outside (a box released past a wall) is brought onto the wall
        // and keeps no speed from being brought there, where the move itself would send it back
        // across the window at four times its distance out per step. Inside, Clamp changes no bit.
        m.vx = (p.x - Clamp(p.px, width)) * k;
        m.vy = (p.y - Clamp(p.py, height)) * k;
        if (damped && s.pushed[static_cast<size_t>(i)] != 0) {
            m.vx = m.vx * keep;
            m.vy = m.vy * keep;
        }
    }
}

void Scatter(StableScratch& s, int32_t n) {
    for (size_t i = 0; i < s.particles.size(); ++i) {
        const Particle& p = s.particles[i];
        const StableScratch::Link& l = s.links[i];
        if (l.pos == nullptr) continue;
        l.pos->set(p.x, p.y);
        if (static_cast<int32_t>(i) >= n) continue;  // moved by constraints only
        const Motion& m = s.motion[i];
        l.oldpos->set(p.x - m.vx, p.y - m.vy);
        l.vel->set(m.vx, m.vy);
        l.accvel->set(0.0f, 0.0f);
    }
}

}  // namespace

int32_t StableRounds(int32_t iterations) {
    if (iterations < 2) return 1;
    return iterations / 2 + iterations % 2;
}

void StableStep(PhysicsWorld& world) {
    StableScratch& s = world.Cache().stable;
    const LineSink sink = world.lineSink;
    if (sink.draw != nullptr) {
        for (constraint* c : world.ConstraintList->fast<constraint>()) {
            sink.draw(sink.context, c->v1->pos->x, c->v1->pos->y, c->v2->pos->x, c->v2->pos->y);
        }
    }
    Gather(world, s);
    const int32_t n = world.VerletArray->last;
    GrowBoxes(world, s);
    FindContacts(world, s);

    const int32_t rounds = StableRounds(world.CONSTRAINT_ITERATIONS);
    const float k = static_cast<float>(kStableSubsteps);
    const float inv = 1.0f / k;
    const float gx = world.gravity->x / k;
    const float gy = world.gravity->y / k;
    // Contact damping as set, no more than all of the speed; 0 (or not a number) is none.
    const float damping = world.contactDamping > 1.0f ? 1.0f : world.contactDamping;
    const bool damped = damping > 0.0f;
    const float keep = 1.0f - (damped ? damping : 0.0f);
    if (damped) {
        s.pushed.resize(s.particles.size());
        s.held.resize(s.particles.size());
    }
    for (int32_t i = 0; i < kStableSubsteps; ++i) {
        Predict(s, n, inv, gx, gy);
        if (damped) std::fill(s.pushed.begin(), s.pushed.end(), uint8_t{0});
        for (int32_t r = 0; r < rounds; ++r) {
            SolveRods(s, r == 0, k);
            if (damped) {
                SolveContacts<true>(s);
            } else {
                SolveContacts<false>(s);
            }
        }
        Finish(s, n, k, world.Width, world.Height, damped, keep);
    }
    Scatter(s, n);

    Array& arr = *world.ConstraintArray;
    const int32_t count = arr.last;
    for (int32_t j = 0; j < count; ++j) {
        if (j >= arr.last) continue;
        auto* c = ObjectCast<constraint>(arr.at(j));
        if (c != nullptr && c->setremove) c->remove();
    }
    PhysicsBody::UpdateAllPositions(&world);
}

void StepWorld(PhysicsWorld& world) {
    if (world.stepMode == StepMode::kStable) {
        StableStep(world);
        return;
    }
    world.Update();
    PhysicsBody::UpdateAllPositions(&world);
    PhysicsBody::CollideAll(&world);
}
