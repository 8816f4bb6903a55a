#include "physics/stable_step.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <memory>
#include <string>
#include <thread>

#include "physics/body.h"
#include "physics/collision.h"
#include "physics/constraint.h"
#include "physics/internal/step_cache.h"
#include "physics/internal/step_workers.h"
#include "physics/verlet.h"
#include "physics/world.h"
#include "runtime/error.h"

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

// Gathers the particles and rods; when split, also whether every particle of the world's array
// holds its vectors alone (the write-back splits only then).
void Gather(PhysicsWorld& world, StableScratch& s, bool split) {
    const Array& arr = *world.VerletArray;
    const Vect& g = *world.gravity;
    s.particles.clear();
    s.motion.clear();
    s.links.clear();
    bool own = split;
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
        if (own) {
            own = v->pos.use_count() == 1 && v->oldpos.use_count() == 1 &&
                  v->vel.use_count() == 1 && v->accvel.use_count() == 1;
        }
    }
    s.ownVectors = own;
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

// The contacts of particles [p0, p1) of one body with edges [e0, e1) of another, added to out.
void EdgeContacts(const StableScratch& s, int32_t p0, int32_t p1, int32_t e0, int32_t e1,
                  float near, float mu, std::vector<Contact>& out) {
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
            if (dx * dx + dy * dy < near2) out.push_back({i, e.a, e.b, mu});
        }
    }
}

// The contacts of the broadphase's pairs [begin, end), in their order, added to out: particle
// pairs and particle-edge pairs of two bodies closer than the contact distance plus both bodies'
// reach. Reads the bodies' boxes and the gathered particles and writes only out, so that ranges
// of pairs can be searched side by side and their contacts joined in the pairs' order.
void PairContacts(const StableScratch& s, std::span<PhysicsBody* const> bodies,
                  std::span<const Broadphase::Pair> pairs, size_t begin, size_t end,
                  std::vector<Contact>& out) {
    const Particle* ps = s.particles.data();
    for (size_t k = begin; k < end; ++k) {
        const Broadphase::Pair& pr = pairs[k];
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
                if (dx * dx + dy * dy < near2) out.push_back({i, j, -1, mu});
            }
        }
        EdgeContacts(s, a0, a1, s.edgeBegin[inner], s.edgeBegin[inner + 1], near, mu, out);
        EdgeContacts(s, b0, b1, s.edgeBegin[outer], s.edgeBegin[outer + 1], near, mu, out);
    }
}

// The substep's start: every particle of the world's array moves by its speed, the active ones
// gaining their share of gravity first.
void Predict(StableScratch& s, int32_t begin, int32_t end, float inv, float gx, float gy) {
    for (int32_t i = begin; i < end; ++i) {
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
void SolveRods(Particle* ps, const Rod* rods, constraint* const* owners, size_t count,
               bool firstRound, float substeps) {
    for (size_t i = 0; i < count; ++i) {
        const Rod& r = rods[i];
        Particle& a = ps[r.a];
        Particle& b = ps[r.b];
        const float dx = a.x - b.x;
        const float dy = a.y - b.y;
        const float dd = dx * dx + dy * dy;
        if (firstRound && r.breakPoint > 0.0f &&
            (std::sqrt(dd) - r.rest) * substeps > r.breakPoint) {
            owners[i]->setremove = 1;
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

// The contacts [0, count) of one round, in their order: the whole list, or one side's part of it
// when the round is split over two threads. Damped, the friction corrections are summed in held.
template <bool kDamped>
void SolveContactList(StableScratch& s, const Contact* contacts, size_t count) {
    Particle* ps = s.particles.data();
    for (size_t i = 0; i < count; ++i) {
        const Contact& c = contacts[i];
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
}

void SolveContactList(StableScratch& s, bool damped, const Contact* contacts, size_t count) {
    if (damped) {
        SolveContactList<true>(s, contacts, count);
    } else {
        SolveContactList<false>(s, contacts, count);
    }
}

// Damped, a round's friction sums start from nothing,
void ClearHeld(StableScratch& s) {
    std::fill(s.held.begin(), s.held.end(), Held{0.0f, 0.0f, 0.0f});
}

// and after the round each particle moves by the mean of its own.
void ShareHeld(StableScratch& s) {
    Particle* ps = s.particles.data();
    const size_t count = s.particles.size();
    for (size_t i = 0; i < count; ++i) {
        const Held& h = s.held[i];
        if (h.count == 0.0f) continue;
        ps[i].x = ps[i].x + h.x / h.count;
        ps[i].y = ps[i].y + h.y / h.count;
    }
}

// One round over the contacts. Damped, the round's friction corrections are summed per particle
// and each particle then moves by their mean: the contacts of a stack pull every way at once
// instead of one after another, which leans a tall stack the way the contacts are listed.
void SolveContacts(StableScratch& s, bool damped) {
    if (damped) ClearHeld(s);
    SolveContactList(s, damped, s.contacts.data(), s.contacts.size());
    if (damped) ShareHeld(s);
}

inline float Clamp(float v, float limit) {
    if (!(v >= 0.0f)) return 0.0f;  // NaN lands here too
    return v > limit ? limit : v;
}

// Ends the substep: the walls, then the speeds. keep is what a particle a contact pushed keeps of
// its speed (1 - the world's contact damping); damped is whether there is any.
void Finish(StableScratch& s, int32_t begin, int32_t end, float k, float width, float height,
            bool damped, float keep) {
    for (int32_t i = begin; i < end; ++i) {
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

// Writes entries [begin, end) back; those from n on are particles outside the world's array.
void Scatter(StableScratch& s, size_t begin, size_t end, int32_t n) {
    for (size_t i = begin; i < end; ++i) {
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

// Splitting the step over threads. Only work whose pieces touch nothing in common is split, and
// each piece does its share in the order the whole would, so every bit comes out as with one
// thread:
// - moving the particles at a substep's start and applying the walls and speeds at its end, and
//   writing them back: each particle's numbers alone, by ranges of the array (the write-back only
//   when no vector is shared, or two ranges could write one vector);
// - the rod rounds: a rod moves only its two ends, so rods of particles that no chain of rods
//   joins (different boxes) commute; every group of joined particles goes to one piece whole, its
//   rods kept in their order, so each particle sees the same corrections in the same order;
// - finding the contacts: each range of the broadphase's pairs writes its own list, and the lists
//   are joined in the pairs' order;
// - the contact rounds, on two threads: the rod groups of the first half of the pieces (the left
//   of the scene) are one side, the rest the other. Contacts among one side's particles go to
//   that side's thread; those that cross are done by the first side's, in the list's order with
//   its own. Every contact waits for the last contact before it in the list that touched each of
//   its particles, so each particle gets its contacts in the list's order (SplitContacts,
//   SplitContactRound).

// Below this many particles per thread, waking the threads costs more than they save.
constexpr int32_t kParticlesPerThread = 1024;
// The work split is cut into this many pieces per thread, taken by whichever thread is free.
constexpr int32_t kPiecesPerThread = 4;
// In a contact round split over two threads, the second side tells its progress every this many
// contacts.
constexpr int32_t kBatch = 16;

// The world's count, else SANDBOX_THREADS, either used as given; else the cores, as many as the
// scene has particles for.
int32_t ThreadsFor(const StableScratch& s, int32_t n) {
    if (!SANDBOX_STEP_THREADS) return 1;
    if (s.threads > 0) return s.threads;
    const int32_t given = EnvironmentStepThreads();
    if (given > 0) return given;
    const int32_t most = n / kParticlesPerThread;
    const int32_t threads = CoreStepThreads();
    if (threads > most) return most < 1 ? 1 : most;
    return threads;
}

// Where piece `piece` of `pieces` begins in a range of count.
inline int32_t Cut(size_t count, int32_t piece, int32_t pieces) {
    return static_cast<int32_t>(static_cast<int64_t>(count) * piece / pieces);
}

int32_t RootOf(std::vector<int32_t>& root, int32_t i) {
    while (root[static_cast<size_t>(i)] != i) {
        const int32_t up = root[static_cast<size_t>(root[static_cast<size_t>(i)])];
        root[static_cast<size_t>(i)] = up;  // halve the path for the next walk
        i = up;
    }
    return i;
}

// Groups the rods by piece: particles joined by rods form a group, each group's root its lowest
// entry; a group goes to the piece of its root's place across the scene, cut into as many strips
// side by side, so that the first half of the pieces and the second are apart (the contact
// rounds split there) and each thread keeps to its strips.
void SplitRods(StableScratch& s, int32_t pieces) {
    const size_t entries = s.particles.size();
    const size_t count = s.rods.size();
    s.root.resize(entries);
    for (size_t i = 0; i < entries; ++i) s.root[i] = static_cast<int32_t>(i);
    for (const Rod& r : s.rods) {
        const int32_t a = RootOf(s.root, r.a);
        const int32_t b = RootOf(s.root, r.b);
        if (a < b) s.root[static_cast<size_t>(b)] = a;
        if (b < a) s.root[static_cast<size_t>(a)] = b;
    }
    float x0 = 0.0f, x1 = 0.0f;
    for (size_t i = 0; i < entries; ++i) {
        const float x = s.particles[i].x;
        if (i == 0 || x < x0) x0 = x;
        if (i == 0 || x > x1) x1 = x;
    }
    // a scene of no width, or with a coordinate not a number: all in one piece
    const float across = x1 - x0 > 0.0f ? static_cast<float>(pieces) / (x1 - x0) : 0.0f;
    s.pieceOfRoot.assign(entries, -1);
    s.rodPiece.resize(count);
    std::array<int32_t, kMaxStepPieces + 1> next{};
    for (size_t i = 0; i < count; ++i) {
        const auto root = static_cast<size_t>(RootOf(s.root, s.rods[i].a));
        int32_t& piece = s.pieceOfRoot[root];
        if (piece < 0) {
            const float strip = (s.particles[root].x - x0) * across;
            piece = 0;  // at the scene's left edge, or not a number
            if (strip > 0.0f) {
                piece =
                    strip < static_cast<float>(pieces) ? static_cast<int32_t>(strip) : pieces - 1;
            }
        }
        s.rodPiece[i] = piece;
        ++next[static_cast<size_t>(piece) + 1];
    }
    s.pieceRodBegin.resize(static_cast<size_t>(pieces) + 1);
    for (int32_t p = 0; p < pieces; ++p)
        next[static_cast<size_t>(p) + 1] += next[static_cast<size_t>(p)];
    for (int32_t p = 0; p <= pieces; ++p)
        s.pieceRodBegin[static_cast<size_t>(p)] = next[static_cast<size_t>(p)];
    s.pieceRods.resize(count);
    s.pieceOwners.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const auto at = static_cast<size_t>(next[static_cast<size_t>(s.rodPiece[i])]++);
        s.pieceRods[at] = s.rods[i];
        s.pieceOwners[at] = s.rodOwners[i];
    }
}

// What the split pieces of a step need.
struct Split {
    StableScratch* s;
    int32_t n;
    int32_t pieces;
    // the particles' ends and starts of substeps, and the contact rounds
    bool finish, predict, scatter, damped;
    float k, width, height, keep, inv, gx, gy;
    // the rod rounds
    bool firstRound;
    // the contact search
    std::span<PhysicsBody* const> bodies;
    std::span<const Broadphase::Pair> pairs;
    // a contact round on two threads: who took the second side (0 no one yet, 1 its own piece,
    // 2 the first side's), how many of its two lists are done, and of the crossing contacts
    // (each on a cache line of its own: one thread writes it while the other reads its own)
    alignas(64) std::atomic<int32_t> claimed;
    alignas(64) std::atomic<int32_t> freeDone;
    alignas(64) std::atomic<int32_t> afterDone;
    alignas(64) std::atomic<int32_t> crossDone;
};

// Sorts the contacts for the contact rounds on two threads (see SplitContactRound). The sides
// are the first half of the pieces' rod groups and the second. A contact between particles of one
// side goes to that side, one that crosses to the crossing list; a second-side contact that
// touches, or touches a particle last touched by a second-side contact that touches (and so on),
// a particle a crossing contact touched before it follows that crossing contact, and goes to the
// second of the second side's lists with how many crossing contacts must be done first; the
// others go to the first. A crossing contact notes how many contacts of each second-side list
// must be done before it: up to the last one that touched one of its particles.
bool SplitContacts(StableScratch& s, int32_t pieces) {
    const size_t entries = s.particles.size();
    s.side.resize(entries);
    for (size_t e = 0; e < entries; ++e) {
        const int32_t piece =
            s.pieceOfRoot[static_cast<size_t>(RootOf(s.root, static_cast<int32_t>(e)))];
        s.side[e] = piece >= pieces / 2 ? 1 : 0;
    }
    s.firstSide.clear();
    s.crossContacts.clear();
    s.crossings.clear();
    s.secondFree.clear();
    s.secondAfter.clear();
    s.secondNeed.clear();
    // per particle, the last contact that touched it: -1 none, else kind * 2^28 + its place in
    // its list (kinds: 0 first side, 1 crossing, 2 second side free, 3 second side after)
    s.lastTouch.assign(entries, -1);
    constexpr int32_t kKind = 1 << 28;
    for (const Contact& c : s.contacts) {
        const int32_t ends[3] = {c.p, c.a, c.b};
        const int32_t count = c.b >= 0 ? 3 : 2;
        const uint8_t side = s.side[static_cast<size_t>(c.p)];
        bool crosses = false;
        for (int32_t k = 1; k < count; ++k)
            crosses = crosses || s.side[static_cast<size_t>(ends[k])] != side;
        int32_t mark = 0;
        if (crosses) {
            StableScratch::Crossing x{static_cast<int32_t>(s.firstSide.size()), 0, 0};
            for (int32_t k = 0; k < count; ++k) {
                const int32_t last = s.lastTouch[static_cast<size_t>(ends[k])];
                if (last < 0) continue;
                const int32_t place = last % kKind + 1;
                if (last / kKind == 2 && place > x.needA) x.needA = place;
                if (last / kKind == 3 && place > x.needB) x.needB = place;
            }
            mark = kKind + static_cast<int32_t>(s.crossContacts.size());
            s.crossContacts.push_back(c);
            s.crossings.push_back(x);
        } else if (side == 0) {
            mark = static_cast<int32_t>(s.firstSide.size());
            s.firstSide.push_back(c);
        } else {
            bool after = false;
            int32_t need = 0;
            for (int32_t k = 0; k < count; ++k) {
                const int32_t last = s.lastTouch[static_cast<size_t>(ends[k])];
                if (last < 0) continue;
                if (last / kKind == 1 && last % kKind + 1 > need) need = last % kKind + 1;
                after = after || last / kKind == 1 || last / kKind == 3;
            }
            if (after) {
                mark = 3 * kKind + static_cast<int32_t>(s.secondAfter.size());
                s.secondAfter.push_back(c);
                s.secondNeed.push_back(need);
            } else {
                mark = 2 * kKind + static_cast<int32_t>(s.secondFree.size());
                s.secondFree.push_back(c);
            }
        }
        for (int32_t k = 0; k < count; ++k) s.lastTouch[static_cast<size_t>(ends[k])] = mark;
    }
    // Two threads pay only when the second side has work of its own to do meanwhile.
    return (s.secondFree.size() + s.secondAfter.size()) * 8 >= s.contacts.size();
}

// Waits for an atomic to reach at least `least`, yielding the core now and then.
void AwaitAtLeast(const std::atomic<int32_t>& value, int32_t least) {
    for (int32_t spins = 1; value.load(std::memory_order_acquire) < least; ++spins) {
        SpinPause();
        if (spins % 1024 == 0) std::this_thread::yield();
    }
}

// The second side's share of a contact round, run by whichever thread takes it: its free contacts
// first (they follow nothing of the other side), then, up to `upTo`, those that follow crossing
// contacts, each once the crossing contacts it follows are done (crossDone).
struct SecondSide {
    StableScratch& s;
    bool damped;
    int32_t freeDone = 0;
    int32_t afterDone = 0;
    // On the thread that took it alone, with the crossing contacts done so far, which are all
    // that the contacts asked for need.
    void Catch(int32_t needFree, int32_t needAfter) {
        // those after follow every free one (as on the second side's own thread), since a free one
        // later in its list may touch a particle before one of them
        if (needAfter > afterDone) needFree = static_cast<int32_t>(s.secondFree.size());
        if (freeDone < needFree) {
            SolveContactList(s, damped, s.secondFree.data() + freeDone,
                             static_cast<size_t>(needFree - freeDone));
            freeDone = needFree;
        }
        if (afterDone < needAfter) {
            SolveContactList(s, damped, s.secondAfter.data() + afterDone,
                             static_cast<size_t>(needAfter - afterDone));
            afterDone = needAfter;
        }
    }
};

// One contact round on two threads, as two pieces. Piece 0 does the first side's contacts and the
// crossing ones in the list's order, each crossing one once the second-side contacts it follows
// are done; piece 1 does the second side's (SecondSide), telling its progress through freeDone
// and afterDone. Every contact waits for the last one before it that touched each of its
// particles, so each particle sees its contacts in the list's order, as on one thread. If piece 0
// finds piece 1 not yet taken when it first needs it, it takes it and does it itself in between.
void SplitContactRound(void* context, int32_t piece, int32_t) {
    Split& w = *static_cast<Split*>(context);
    StableScratch& s = *w.s;
    SecondSide second{s, w.damped};
    const auto sizeFree = static_cast<int32_t>(s.secondFree.size());
    const auto sizeAfter = static_cast<int32_t>(s.secondAfter.size());
    if (piece == 1) {
        int32_t expect = 0;
        if (!w.claimed.compare_exchange_strong(expect, 1, std::memory_order_acq_rel)) return;
        // a few contacts at a time, telling the progress after each batch
        for (int32_t i = 0; i < sizeFree;) {
            const int32_t end = i + kBatch < sizeFree ? i + kBatch : sizeFree;
            SolveContactList(s, w.damped, s.secondFree.data() + i, static_cast<size_t>(end - i));
            w.freeDone.store(end, std::memory_order_release);
            i = end;
        }
        int32_t known = 0;  // crossing contacts seen done
        for (int32_t i = 0; i < sizeAfter;) {
            const int32_t* need = s.secondNeed.data();
            if (need[i] > known) {
                AwaitAtLeast(w.crossDone, need[i]);
                known = w.crossDone.load(std::memory_order_acquire);
            }
            int32_t end = i + 1;
            while (end < sizeAfter && end - i < kBatch && need[end] <= known) ++end;
            SolveContactList(s, w.damped, s.secondAfter.data() + i, static_cast<size_t>(end - i));
            w.afterDone.store(end, std::memory_order_release);
            i = end;
        }
        return;
    }
    bool mine = false;
    int32_t b0 = 0;
    const auto crossings = static_cast<int32_t>(s.crossings.size());
    for (int32_t k = 0; k < crossings; ++k) {
        const StableScratch::Crossing& x = s.crossings[static_cast<size_t>(k)];
        SolveContactList(s, w.damped, s.firstSide.data() + b0, static_cast<size_t>(x.before0 - b0));
        b0 = x.before0;
        if (x.needA > 0 || x.needB > 0) {
            int32_t expect = 0;
            if (!mine && w.claimed.compare_exchange_strong(expect, 2, std::memory_order_acq_rel)) {
                mine = true;
            }
            if (mine) {
                second.Catch(x.needA > sizeFree ? sizeFree : x.needA, x.needB);
            } else {
                AwaitAtLeast(w.freeDone, x.needA);
                AwaitAtLeast(w.afterDone, x.needB);
            }
        }
        SolveContactList(s, w.damped, s.crossContacts.data() + k, 1);
        w.crossDone.store(k + 1, std::memory_order_release);
    }
    SolveContactList(s, w.damped, s.firstSide.data() + b0,
                     s.firstSide.size() - static_cast<size_t>(b0));
    int32_t expect = 0;
    if (mine || w.claimed.compare_exchange_strong(expect, 2, std::memory_order_acq_rel)) {
        second.Catch(sizeFree, sizeAfter);
    }
}

void SplitParticles(void* context, int32_t piece, int32_t pieces) {
    const Split& w = *static_cast<const Split*>(context);
    const int32_t begin = Cut(static_cast<size_t>(w.n), piece, pieces);
    const int32_t end = Cut(static_cast<size_t>(w.n), piece + 1, pieces);
    if (w.finish) Finish(*w.s, begin, end, w.k, w.width, w.height, w.damped, w.keep);
    if (w.predict) Predict(*w.s, begin, end, w.inv, w.gx, w.gy);
    if (w.scatter) Scatter(*w.s, static_cast<size_t>(begin), static_cast<size_t>(end), w.n);
}

void SplitRodRound(void* context, int32_t piece, int32_t) {
    const Split& w = *static_cast<const Split*>(context);
    StableScratch& s = *w.s;
    const auto begin = static_cast<size_t>(s.pieceRodBegin[static_cast<size_t>(piece)]);
    const auto end = static_cast<size_t>(s.pieceRodBegin[static_cast<size_t>(piece) + 1]);
    SolveRods(s.particles.data(), s.pieceRods.data() + begin, s.pieceOwners.data() + begin,
              end - begin, w.firstRound, w.k);
}

void SplitContactSearch(void* context, int32_t piece, int32_t pieces) {
    const Split& w = *static_cast<const Split*>(context);
    StableScratch& s = *w.s;
    std::vector<Contact>& out =
        piece == 0 ? s.contacts : s.pieceContacts[static_cast<size_t>(piece) - 1];
    out.clear();
    PairContacts(s, w.bodies, w.pairs, static_cast<size_t>(Cut(w.pairs.size(), piece, pieces)),
                 static_cast<size_t>(Cut(w.pairs.size(), piece + 1, pieces)), out);
}

// The contacts that may touch during the step, in the broadphase's pair order.
void FindContacts(PhysicsWorld& world, StableScratch& s, StepWorkers* workers, Split& split) {
    const Array& arr = *world.VerletArray;
    Broadphase& bp = world.Cache().broadphase;
    const std::span<const Broadphase::Pair> pairs = bp.Find(*world.PhysicsBodies);
    const std::span<PhysicsBody* const> bodies = bp.bodies();
    FindSlots(arr, bp, s);
    if (workers == nullptr) {
        s.contacts.clear();
        PairContacts(s, bodies, pairs, 0, pairs.size(), s.contacts);
        return;
    }
    split.bodies = bodies;
    split.pairs = pairs;
    s.pieceContacts.resize(static_cast<size_t>(split.pieces) - 1);
    workers->Run(SplitContactSearch, &split, split.pieces);
    for (const std::vector<Contact>& more : s.pieceContacts) {
        s.contacts.insert(s.contacts.end(), more.begin(), more.end());
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
    const int32_t n = world.VerletArray->last;
    const int32_t threads = ThreadsFor(s, n);
    StepWorkers* workers = nullptr;
    if (threads > 1) {
        if (s.workers == nullptr || s.workers->Threads() != threads) {
            s.workers = std::make_unique<StepWorkers>(threads);
        }
        workers = s.workers.get();
    }
    Gather(world, s, workers != nullptr);
    GrowBoxes(world, s);

    const int32_t rounds = StableRounds(world.CONSTRAINT_ITERATIONS);
    const float k = static_cast<float>(kStableSubsteps);
    // Contact damping as set, no more than all of the speed; 0 (or not a number) is none.
    const float damping = world.contactDamping > 1.0f ? 1.0f : world.contactDamping;
    const bool damped = damping > 0.0f;
    const float keep = 1.0f - (damped ? damping : 0.0f);
    if (damped) {
        s.pushed.resize(s.particles.size());
        s.held.resize(s.particles.size());
    }
    Split split{};
    split.s = &s;
    split.n = n;
    split.pieces = threads * kPiecesPerThread;
    split.k = k;
    split.width = world.Width;
    split.height = world.Height;
    split.damped = damped;
    split.keep = keep;
    split.inv = 1.0f / k;
    split.gx = world.gravity->x / k;
    split.gy = world.gravity->y / k;
    FindContacts(world, s, workers, split);
    bool contactsSplit = false;
    if (workers != nullptr) {
        SplitRods(s, split.pieces);
        contactsSplit = SplitContacts(s, split.pieces);
    }

    // A substep's end (the walls and speeds) and the next one's start touch each particle alone,
    // so they run as one pass: ends of substeps i - 1 and starts of i.
    const auto particles = [&](bool finish, bool predict, bool scatter) {
        if (workers != nullptr) {
            split.finish = finish;
            split.predict = predict;
            split.scatter = scatter;
            workers->Run(SplitParticles, &split, split.pieces);
            return;
        }
        if (finish) Finish(s, 0, n, k, split.width, split.height, damped, keep);
        if (predict) Predict(s, 0, n, split.inv, split.gx, split.gy);
    };
    for (int32_t i = 0; i < kStableSubsteps; ++i) {
        particles(i > 0, true, false);
        // after the substep before has read it
        if (damped) std::fill(s.pushed.begin(), s.pushed.end(), uint8_t{0});
        for (int32_t r = 0; r < rounds; ++r) {
            if (workers != nullptr) {
                split.firstRound = r == 0;
                workers->Run(SplitRodRound, &split, split.pieces);
            } else {
                SolveRods(s.particles.data(), s.rods.data(), s.rodOwners.data(), s.rods.size(),
                          r == 0, k);
            }
            if (!contactsSplit) {
                SolveContacts(s, damped);
                continue;
            }
            if (damped) ClearHeld(s);
            split.claimed.store(0, std::memory_order_relaxed);
            split.freeDone.store(0, std::memory_order_relaxed);
            split.afterDone.store(0, std::memory_order_relaxed);
            split.crossDone.store(0, std::memory_order_relaxed);
            workers->Run(SplitContactRound, &split, 2);
            if (damped) ShareHeld(s);
        }
    }
    // The write-back splits with the last substep's end when no vector is shared; the entries
    // after the world's array follow, in order, on this thread.
    const bool splitScatter = workers != nullptr && s.ownVectors;
    particles(true, false, splitScatter);
    Scatter(s, splitScatter ? static_cast<size_t>(n) : 0, s.particles.size(), n);

    Array& arr = *world.ConstraintArray;
    const int32_t count = arr.last;
    for (int32_t j = 0; j < count; ++j) {
        if (j >= arr.last) continue;
        auto* c = ObjectCast<constraint>(arr.at(j));
        if (c != nullptr && c->setremove) c->remove();
    }
    PhysicsBody::UpdateAllPositions(&world);
}

void SetStepThreads(PhysicsWorld& world, int32_t threads) {
    if (threads < 0 || threads > kMaxStepThreads) {
        RuntimeThrow("SetStepThreads: " + std::to_string(threads) + " threads, expected 0 to " +
                     std::to_string(kMaxStepThreads));
    }
    world.Cache().stable.threads = threads;
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
