#include "physics/collision.h"

#include <cmath>

#include "physics/body.h"
#include "physics/internal/friction_ledger.h"
#include "physics/internal/step_cache.h"

float IntersectX = 0.0f;
float IntersectY = 0.0f;

namespace {

constexpr float D = kContactDistance;
constexpr float D2 = kContactDistance * kContactDistance;

// std::fmin and std::fmax, inline: a NaN operand is ignored (both NaN gives NaN). Of two zeros
// either may come back, as with the library functions; the results only feed the comparisons
// below, where the sign of a zero makes no difference.
inline float FMin(float a, float b) {
    if (a != a) return b;  // NaN
    if (b != b) return a;
    return b < a ? b : a;
}

inline float FMax(float a, float b) {
    if (a != a) return b;
    if (b != b) return a;
    return b > a ? b : a;
}

bool Between(float v, float e1, float e2) {
    return e1 <= e2 ? (v >= e1 && v <= e2) : (v >= e2 && v <= e1);
}

// A body's box as the contact tests read it: through its vectors, every time (LiveBox), or, when
// nothing the pass does can change it, as numbers read once and grown once (FixedBox).
struct LiveBox {
    explicit LiveBox(const PhysicsBody& body) : b(body) {}
    float x0() const { return b.minxy->x; }
    float y0() const { return b.minxy->y; }
    float x1() const { return b.maxxy->x; }
    float y1() const { return b.maxxy->y; }
    // Inside the box grown by D, all four sides inclusive.
    bool GrownHolds(const Vect& p) const {
        return b.minxy->x - D <= p.x && p.x <= b.maxxy->x + D && b.minxy->y - D <= p.y &&
               p.y <= b.maxxy->y + D;
    }
    const PhysicsBody& b;
};

struct FixedBox {
    explicit FixedBox(const Broadphase::Box& box)
        : box_(box), gx0(box.x0 - D), gy0(box.y0 - D), gx1(box.x1 + D), gy1(box.y1 + D) {}
    float x0() const { return box_.x0; }
    float y0() const { return box_.y0; }
    float x1() const { return box_.x1; }
    float y1() const { return box_.y1; }
    bool GrownHolds(const Vect& p) const {
        return gx0 <= p.x && p.x <= gx1 && gy0 <= p.y && p.y <= gy1;
    }
    Broadphase::Box box_;
    float gx0, gy0, gx1, gy1;
};

// ClosestPointOnSegmentXY's work, inline for the contact loop.
inline bool FootOnSegment(float ax, float ay, float bx, float by, float cx, float cy, float& outX,
                          float& outY) {
    const float m = (ax != bx) ? (ay - by) / (ax - bx) : kZeroDivisorSlope;
    const float n = (ay != by) ? -(ax - bx) / (ay - by) : kZeroDivisorSlope;
    float x = 0.0f, y = 0.0f;
    if (m == 0.0f) {
        x = cx;
        y = ay;
    } else if (n == 0.0f) {
        x = ax;
        y = cy;
    } else {
        x = (ay - m * ax + n * cx - cy) / (n - m);
        y = ay + m * (x - ax);
    }
    if (!Between(x, ax, bx) || !Between(y, ay, by)) return false;
    outX = x;
    outY = y;
    return true;
}

// A particle or an edge's ends from a list walk, or from the broadphase's gathered arrays.
Verlet& ParticleOf(Verlet* v) { return *v; }
Vect& PosOf(Verlet* v) { return *v->pos; }
Verlet& ParticleOf(const Broadphase::Particle& p) { return *p.v; }
Vect& PosOf(const Broadphase::Particle& p) { return *p.pos; }
Verlet& End1(constraint* c) { return *c->v1; }
Verlet& End2(constraint* c) { return *c->v2; }
Vect& Pos1(constraint* c) { return *c->v1->pos; }
Vect& Pos2(constraint* c) { return *c->v2->pos; }
Verlet& End1(const Broadphase::Edge& e) { return *e.a; }
Verlet& End2(const Broadphase::Edge& e) { return *e.b; }
Vect& Pos1(const Broadphase::Edge& e) { return *e.apos; }
Vect& Pos2(const Broadphase::Edge& e) { return *e.bpos; }

// The contact functions take the bodies' collision particles and edges as ranges: the lists
// themselves, or the arrays the broadphase gathered from them.
template <class Box, class Particles>
void ParticlePairs(const Box& A, const Box& B, const Particles& ofA, const Particles& ofB,
                   float bp) {
    for (const auto& pe : ofA) {
        Verlet* p = &ParticleOf(pe);
        Vect& pp = PosOf(pe);
        // Whether p lies in B's grown box changes only when a contact below moves something, so
        // it is tested again only then; while it is false no pair of p's can do anything.
        if (!B.GrownHolds(pp)) continue;
        for (const auto& qe : ofB) {
            Verlet* q = &ParticleOf(qe);
            Vect& qp = PosOf(qe);
            if (!A.GrownHolds(qp)) continue;
            const float dx = pp.x - qp.x;
            const float dy = pp.y - qp.y;
            const float dd = dx * dx + dy * dy;
            if (dd > D2) continue;
            const float d = std::sqrt(dd);
            if (d == 0.0f) continue;  // coincident particles: no direction to push, skip
            const float k = bp * (D - d) / (2.0f * d);
            const float nx = dx * k;
            const float ny = dy * k;
            if (p->active) pp.set(pp.x + nx, pp.y + ny);
            if (q->active) qp.set(qp.x - nx, qp.y - ny);
            if (!B.GrownHolds(pp)) break;
        }
    }
}

// A's particles against B's edges. `ledger`, when given, accounts for the friction (a whole
// pass's; none for a lone pair).
template <class Box, class Particles, class Edges>
void ParticleEdges(const Box& B, const Particles& ofA, const Edges& ofB, float bp, float fp,
                   FrictionLedger* ledger) {
    for (const auto& te : ofA) {
        Verlet* t = &ParticleOf(te);
        Vect& tp = PosOf(te);
        if (!B.GrownHolds(tp)) continue;
        for (const auto& e : ofB) {
            Verlet& a = End1(e);
            Verlet& b = End2(e);
            Vect& ap = Pos1(e);
            Vect& bpos = Pos2(e);
            // Outside the edge's own extent grown by D: no contact possible. Written as a
            // difference against D so that rounding agrees with the distance test below.
            if (FMin(ap.x, bpos.x) - tp.x > D || tp.x - FMax(ap.x, bpos.x) > D ||
                FMin(ap.y, bpos.y) - tp.y > D || tp.y - FMax(ap.y, bpos.y) > D) {
                continue;
            }
            float px = 0.0f, py = 0.0f;
            if (!FootOnSegment(ap.x, ap.y, bpos.x, bpos.y, tp.x, tp.y, px, py)) continue;
            const float dx = tp.x - px;
            const float dy = tp.y - py;
            const float dd = dx * dx + dy * dy;
            if (dd >= D2) continue;
            const float d = std::sqrt(dd);
            if (d == 0.0f) continue;  // particle exactly on the edge: no direction, skip
            const float me = (a.mass + b.mass) / 2.0f;
            const float mt = t->mass;
            if (me + mt == 0.0f || me == 0.0f) continue;  // no mass to share the push by, skip
            const float k = bp * (D - d) / d;
            const float nx = dx * k;
            const float ny = dy * k;
            const float se = me / (me + mt);
            const float st = mt / (me + mt);
            float wa = 0.0f, wb = 0.0f;
            if (ap.x != bpos.x) {
                const float L = std::fabs(ap.x - bpos.x);
                wa = std::fabs(px - bpos.x) / L;
                wb = std::fabs(px - ap.x) / L;
            } else {
                const float L = std::fabs(ap.y - bpos.y);
                if (L == 0.0f) continue;  // zero-length edge: no place along it
                wa = std::fabs(py - bpos.y) / L;
                wb = std::fabs(py - ap.y) / L;
            }
            const float ra = a.mass / me;
            const float rb = b.mass / me;

            if (t->active) tp.set(tp.x + nx * se, tp.y + ny * se);
            if (a.active) ap.set(ap.x - nx * st * wa * rb, ap.y - ny * st * wa * rb);
            if (b.active) bpos.set(bpos.x - nx * st * wb * ra, bpos.y - ny * st * wb * ra);

            // Friction: exchange velocity between the particle and the edge at the contact.
            const Vect& av = *a.vel;
            const Vect& bv = *b.vel;
            const Vect& tv = *t->vel;
            const float ux = wa * av.x + wb * bv.x;
            const float uy = wa * av.y + wb * bv.y;
            const float Fx = fp * (tv.x - ux);
            const float Fy = fp * (tv.y - uy);
            if (ledger != nullptr) {
                if (a.active) ledger->Note(a, wa * fp);
                if (b.active) ledger->Note(b, wb * fp);
                if (t->active) ledger->Note(*t, fp);
            }
            if (a.active) a.AddVelocity(Vect(wa * Fx, wa * Fy));
            if (b.active) b.AddVelocity(Vect(wb * Fx, wb * Fy));
            if (t->active) t->AddVelocity(Vect(-Fx, -Fy));
        }
    }
}

template <class Box, class Particles, class Edges>
int32_t Collide(const PhysicsBody& bodyA, const PhysicsBody& bodyB, const Box& A, const Box& B,
                const Particles& particlesA, const Edges& edgesA, const Particles& particlesB,
                const Edges& edgesB, FrictionLedger* ledger) {
    if (!AxesOverlap(A.x0(), A.x1(), B.x0(), B.x1())) return 0;
    if (!AxesOverlap(A.y0(), A.y1(), B.y0(), B.y1())) return 0;
    const float bp = bodyA.bounce * bodyB.bounce;
    const float fp = bodyA.friction * bodyB.friction;
    ParticlePairs(A, B, particlesA, particlesB, bp);
    ParticleEdges(B, particlesA, edgesB, bp, fp, ledger);
    ParticleEdges(A, particlesB, edgesA, bp, fp, ledger);
    return 0;
}

}  // namespace

namespace {

// The collision pass's last word: a particle of this world it left more than kWallGive past a
// wall is put back at that distance (its previous position stays, so the outward speed the pass
// gave it is cut, not handed back). NaN is left for the walls to catch.
void HoldWithinGive(PhysicsWorld* world) {
    const Array& arr = *world->VerletArray;
    const float x0 = -kWallGive;
    const float y0 = -kWallGive;
    const float x1 = world->Width + kWallGive;
    const float y1 = world->Height + kWallGive;
    const int32_t n = arr.last;
    for (int32_t i = 0; i < n; ++i) {
        auto* p = ObjectCast<Verlet>(arr.at(i));
        if (p == nullptr || !p->pworld.Is(world)) continue;
        Vect& v = *p->pos;
        if (v.x < x0) {
            v.x = x0;
        } else if (v.x > x1) {
            v.x = x1;
        }
        if (v.y < y0) {
            v.y = y0;
        } else if (v.y > y1) {
            v.y = y1;
        }
    }
}

}  // namespace

int32_t PhysicsBody::CollideAll(PhysicsWorld* world) {
    // Only the pairs whose boxes may overlap, in the order of CollideAllPairs; collide applies
    // the exact test to each, so the result is that walk's, bit for bit.
    // The bodies' lists do not change during the pass, so their particles and edges are read
    // from the arrays the broadphase gathered.
    Broadphase& broadphase = world->Cache().broadphase;
    FrictionLedger& ledger = world->Cache().friction;
    ledger.Begin(*world->VerletArray);
    const std::span<const Broadphase::Pair> pairs = broadphase.Find(*world->PhysicsBodies);
    const std::span<PhysicsBody* const> bodies = broadphase.bodies();
    // A pair of bodies whose boxes are their own reads the boxes as Find did, once.
    for (const Broadphase::Pair& p : pairs) {
        const PhysicsBody& A = *bodies[static_cast<size_t>(p.outer)];
        const PhysicsBody& B = *bodies[static_cast<size_t>(p.inner)];
        if (broadphase.OwnBox(p.outer) && broadphase.OwnBox(p.inner)) {
            Collide(A, B, FixedBox(broadphase.BoxOf(p.outer)), FixedBox(broadphase.BoxOf(p.inner)),
                    broadphase.Particles(p.outer), broadphase.Edges(p.outer),
                    broadphase.Particles(p.inner), broadphase.Edges(p.inner), &ledger);
        } else {
            Collide(A, B, LiveBox(A), LiveBox(B), broadphase.Particles(p.outer),
                    broadphase.Edges(p.outer), broadphase.Particles(p.inner),
                    broadphase.Edges(p.inner), &ledger);
        }
    }
    ledger.Settle();
    HoldWithinGive(world);
    return 0;
}

namespace {

int32_t CollideLive(PhysicsBody& A, PhysicsBody& B, FrictionLedger* ledger) {
    return Collide(A, B, LiveBox(A), LiveBox(B), A.activeverlets->fast<Verlet>(),
                   A.activeconstraints->fast<constraint>(), B.activeverlets->fast<Verlet>(),
                   B.activeconstraints->fast<constraint>(), ledger);
}

}  // namespace

int32_t PhysicsBody::CollideAllPairs(PhysicsWorld* world) {
    FrictionLedger& ledger = world->Cache().friction;
    ledger.Begin(*world->VerletArray);
    int32_t i = 0;
    for (PhysicsBody* outer : world->PhysicsBodies->fast<PhysicsBody>()) {
        ++i;
        int32_t j = 0;
        for (PhysicsBody* inner : world->PhysicsBodies->fast<PhysicsBody>()) {
            ++j;
            if (j > i) CollideLive(*outer, *inner, &ledger);
        }
    }
    ledger.Settle();
    HoldWithinGive(world);
    return 0;
}

int32_t PhysicsBody::collide(PhysicsBody& A, PhysicsBody& B) { return CollideLive(A, B, nullptr); }

void FrictionLedger::Begin(const Array& particles) {
    count_ = particles.last;
    // Grows with the world only, so that a pass allocates nothing once a scene has its size.
    if (entries_.size() < static_cast<size_t>(count_)) {
        entries_.resize(static_cast<size_t>(count_), Entry{nullptr, 0, 0.0f, 0.0f, 0.0f, false});
        over_.reserve(entries_.size());
    }
    over_.clear();
    if (++pass_ == 0) {  // the pass count wrapped: no entry may seem to be this pass's
        for (Entry& e : entries_) e.pass = 0;
        pass_ = 1;
    }
}

void FrictionLedger::Settle() {
    for (const int32_t slot : over_) {
        const Entry& e = entries_[static_cast<size_t>(slot)];
        if (!(e.load > kLoadLimit)) continue;  // since found shared by two particles
        Vect& a = *e.owner->accvel;
        a.set(e.x + (a.x - e.x) / e.load, e.y + (a.y - e.y) / e.load);
    }
    over_.clear();
}

bool ClosestPointOnSegmentXY(float ax, float ay, float bx, float by, float cx, float cy,
                             float& outX, float& outY) {
    return FootOnSegment(ax, ay, bx, by, cx, cy, outX, outY);
}

VectRef ClosestPointOnSegment(const Vect& a, const Vect& b, const Vect& c) {
    float x = 0.0f, y = 0.0f;
    if (!ClosestPointOnSegmentXY(a.x, a.y, b.x, b.y, c.x, c.y, x, y)) return nullptr;
    return MakeVect(x, y);
}

VectRef ClosestPointOnLine(const Vect& a, const Vect& b, const Vect& c) {
    const float m = (a.y - b.y) / (a.x - b.x);
    const float n = -1.0f / m;
    if (m == 0.0f || std::isnan(m)) return MakeVect(c.x, a.y);
    if (n == 0.0f) return MakeVect(a.x, c.y);
    // x stays wide until y has been computed from it.
    const double x = (static_cast<double>(a.y) - static_cast<double>(m) * a.x +
                      static_cast<double>(n) * c.x - c.y) /
                     (static_cast<double>(n) - m);
    const double y = a.y + static_cast<double>(m) * (x - a.x);
    return MakeVect(static_cast<float>(x), static_cast<float>(y));
}

int32_t RayCrossesEdge(float x1, float y1, float x2, float y2, float px, float py) {
    if (!Between(py, y1, y2) || y1 == y2) return 0;
    return px < x1 + (py - y1) / (y2 - y1) * (x2 - x1) ? 1 : 0;
}

int32_t PointInPolygon(float px, float py, std::span<const float> coords) {
    const size_t len = coords.size();
    const size_t n = len / 2;
    int32_t sum = 0;
    for (size_t i = 0; i + 1 < n; ++i) {
        sum += RayCrossesEdge(coords[2 * i], coords[2 * i + 1], coords[2 * i + 2],
                              coords[2 * i + 3], px, py);
    }
    if (len > 4) {
        sum += RayCrossesEdge(coords[0], coords[1], coords[len - 2], coords[len - 1], px, py);
    }
    return sum % 2;
}

int32_t PointInVectPolygon(float px, float py, std::span<const VectRef> points) {
    const size_t n = points.size();
    int32_t sum = 0;
    auto edge = [&](const VectRef& p, const VectRef& q) {
        if (p && q) sum += RayCrossesEdge(p->x, p->y, q->x, q->y, px, py);
    };
    for (size_t i = 0; i + 1 < n; ++i) edge(points[i], points[i + 1]);
    if (n > 2) edge(points[0], points[n - 1]);
    return sum % 2;
}

int32_t LinesIntersect(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                       float y4) {
    const float den = (y4 - y3) * (x2 - x1) - (x4 - x3) * (y2 - y1);
    if (den == 0.0f) return 0;  // parallel
    const float ua = ((x4 - x3) * (y1 - y3) - (y4 - y3) * (x1 - x3)) / den;
    const float ub = ((x2 - x1) * (y1 - y3) - (y2 - y1) * (x1 - x3)) / den;
    IntersectX = x1 + ua * (x2 - x1);
    IntersectY = y1 + ua * (y2 - y1);
    return (ua > 0.0f && ua < 1.0f && ub > 0.0f && ub < 1.0f) ? 1 : 0;
}
