#include "physics/edit.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct Point {
    float x;
    float y;
};

// Twice the signed area of the triangle o, a, b: positive when o -> a -> b turns
// counter-clockwise in a y-up frame (clockwise on a y-down screen).
float Cross(Point o, Point a, Point b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// The convex hull of pts (which it sorts), counter-clockwise in the y-up sense, without repeated or
// collinear points; one or two points when all are one point or lie on a line.
std::vector<Point> Hull(std::vector<Point>& pts) {
    std::sort(pts.begin(), pts.end(),
              [](Point a, Point b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    pts.erase(std::unique(pts.begin(), pts.end(),
                          [](Point a, Point b) { return a.x == b.x && a.y == b.y; }),
              pts.end());
    if (pts.size() < 3) return pts;
    std::vector<Point> h(2 * pts.size());
    size_t k = 0;
    for (size_t i = 0; i < pts.size(); ++i) {  // lower chain
        while (k >= 2 && Cross(h[k - 2], h[k - 1], pts[i]) <= 0.0f) --k;
        h[k++] = pts[i];
    }
    for (size_t i = pts.size() - 1, t = k + 1; i-- > 0;) {  // upper chain
        while (k >= t && Cross(h[k - 2], h[k - 1], pts[i]) <= 0.0f) --k;
        h[k++] = pts[i];
    }
    h.resize(k - 1);  // the last point is the first again
    return h;
}

float SegmentDistance(Point p, Point a, Point b) {
    const float dx = b.x - a.x;
    const float dy = b.y - a.y;
    const float len2 = dx * dx + dy * dy;
    float t = 0.0f;
    // one point: the distance to it
    if (len2 > 0.0f) t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0f, 1.0f);
    const float ex = a.x + t * dx - p.x;
    const float ey = a.y + t * dy - p.y;
    return std::sqrt(ex * ex + ey * ey);
}

// Whether the hull holds p, or comes within margin of it.
bool HullHolds(const std::vector<Point>& h, Point p, float margin) {
    if (h.empty()) return false;
    if (h.size() >= 3) {
        bool inside = true;
        for (size_t i = 0; i < h.size() && inside; ++i) {
            inside = Cross(h[i], h[(i + 1) % h.size()], p) >= 0.0f;
        }
        if (inside) return true;
    }
    for (size_t i = 0; i < h.size(); ++i) {
        if (SegmentDistance(p, h[i], h[(i + 1) % h.size()]) <= margin) return true;
    }
    return false;
}

float HullArea(const std::vector<Point>& h) {
    float twice = 0.0f;
    for (size_t i = 0; i + 2 < h.size(); ++i) twice += Cross(h[0], h[i + 1], h[i + 2]);
    return twice / 2.0f;
}

// Whether segments a-b and c-d share a point.
bool SegmentsMeet(Point a, Point b, Point c, Point d) {
    const float d1 = Cross(a, b, c);
    const float d2 = Cross(a, b, d);
    const float d3 = Cross(c, d, a);
    const float d4 = Cross(c, d, b);
    if (d1 == 0.0f && d2 == 0.0f) {
        // on one line: they meet where their extents along it overlap
        const bool alongX = std::fabs(b.x - a.x) >= std::fabs(b.y - a.y);
        const float a0 = alongX ? a.x : a.y, a1 = alongX ? b.x : b.y;
        const float c0 = alongX ? c.x : c.y, c1 = alongX ? d.x : d.y;
        return std::max(std::min(a0, a1), std::min(c0, c1)) <=
               std::min(std::max(a0, a1), std::max(c0, c1));
    }
    return ((d1 <= 0.0f && d2 >= 0.0f) || (d1 >= 0.0f && d2 <= 0.0f)) &&
           ((d3 <= 0.0f && d4 >= 0.0f) || (d3 >= 0.0f && d4 <= 0.0f));
}

Point At(const Verlet& v) { return {v.pos->x, v.pos->y}; }

Ref<Verlet> NewParticle(PhysicsWorld& world, float x, float y, float mass, uint8_t active = 1) {
    return Verlet::Create(&world, MakeVect(x, y), MakeVect(0.0f, 0.0f), mass, active, 0);
}

Ref<constraint> Join(PhysicsWorld& world, const Ref<Verlet>& a, const Ref<Verlet>& b,
                     float elasticity = 1.0f) {
    return constraint::Create(&world, a, b, elasticity, 0.0f, -1.0f);
}

// Takes c out of every body's lists.
void Unlist(PhysicsWorld& world, const constraint* c) {
    for (PhysicsBody* b : world.PhysicsBodies->each<PhysicsBody>()) b->removeconstraint(c);
}

}  // namespace

bool InWorld(const Verlet& p) {
    if (p.pworld.expired()) return false;
    const Array& arr = *p.pworld->VerletArray;
    return p.index >= 0 && p.index < arr.last && arr.at(p.index) == &p;
}

bool InWorld(const constraint& c) {
    if (c.pworld.expired()) return false;
    const Array& arr = *c.pworld->ConstraintArray;
    return c.index >= 0 && c.index < arr.last && arr.at(c.index) == &c;
}

Ref<Verlet> NearestParticle(const PhysicsWorld& world, float x, float y, float radius) {
    if (!(radius >= 0.0f)) return nullptr;
    const Array& arr = *world.VerletArray;
    int32_t best = -1;
    float bestD2 = radius * radius;
    for (int32_t i = 0; i < arr.last; ++i) {
        const auto* v = ObjectCast<Verlet>(arr.at(i));
        if (v == nullptr) continue;
        const float dx = v->pos->x - x;
        const float dy = v->pos->y - y;
        const float d2 = dx * dx + dy * dy;
        if (d2 < bestD2 || (best < 0 && d2 == bestD2)) {
            best = i;
            bestD2 = d2;
        }
    }
    if (best < 0) return nullptr;
    return std::static_pointer_cast<Verlet>(arr.a[static_cast<size_t>(best)]);
}

Ref<PhysicsBody> BodyAt(const PhysicsWorld& world, float x, float y, float margin) {
    Ref<PhysicsBody> found;
    float foundArea = 0.0f;
    std::vector<Point> pts;
    TListEnum e = world.PhysicsBodies->ObjectEnumerator();
    while (e.HasNext()) {
        Ref<PhysicsBody> b = ObjectCast<PhysicsBody>(e.NextObject());
        if (!b) continue;
        pts.clear();
        for (Verlet* v : b->verlets->fast<Verlet>()) {
            if (InWorld(*v)) pts.push_back(At(*v));
        }
        const std::vector<Point> h = Hull(pts);
        if (!HullHolds(h, {x, y}, margin)) continue;
        const float area = HullArea(h);
        if (!found || area <= foundArea) {
            found = b;
            foundArea = area;
        }
    }
    return found;
}

Ref<Verlet> ParticleToHold(const PhysicsWorld& world, float x, float y, float radius) {
    if (Ref<Verlet> near = NearestParticle(world, x, y, radius)) return near;
    Ref<PhysicsBody> body = BodyAt(world, x, y, radius);
    if (!body) return nullptr;
    Ref<Verlet> best;
    float bestD2 = 0.0f;
    TListEnum e = body->verlets->ObjectEnumerator();
    while (e.HasNext()) {
        Ref<Verlet> v = ObjectCast<Verlet>(e.NextObject());
        if (!v || !InWorld(*v)) continue;
        const float dx = v->pos->x - x;
        const float dy = v->pos->y - y;
        const float d2 = dx * dx + dy * dy;
        if (!best || d2 < bestD2) {
            best = v;
            bestD2 = d2;
        }
    }
    return best;
}

void RemoveBody(PhysicsWorld& world, PhysicsBody& body) {
    std::vector<const Verlet*> gone;
    for (Verlet* v : body.verlets->fast<Verlet>()) gone.push_back(v);
    std::sort(gone.begin(), gone.end());
    auto isGone = [&gone](const Verlet* v) {
        return std::binary_search(gone.begin(), gone.end(), v);
    };
    body.remove();
    // Constraints of others that reach into the body: a rope tied to it, a stick drawn to it.
    TListEnum e = world.ConstraintList->ObjectEnumerator();
    while (e.HasNext()) {
        Ref<constraint> c = ObjectCast<constraint>(e.NextObject());
        if (!c || (!isGone(c->v1.get()) && !isGone(c->v2.get()))) continue;
        c->remove();
        Unlist(world, c.get());
    }
    for (PhysicsBody* b : world.PhysicsBodies->fast<PhysicsBody>()) {
        for (const Verlet* v : gone) b->removeverlet(v);
    }
}

void CrossedConstraints(const PhysicsWorld& world, float x0, float y0, float x1, float y1,
                        std::vector<constraint*>& out) {
    const Point a{x0, y0}, b{x1, y1};
    for (constraint* c : world.ConstraintList->fast<constraint>()) {
        if (SegmentsMeet(a, b, At(*c->v1), At(*c->v2))) out.push_back(c);
    }
}

int32_t CutConstraints(PhysicsWorld& world, float x0, float y0, float x1, float y1) {
    const Point a{x0, y0}, b{x1, y1};
    int32_t cut = 0;
    // The enumeration holds each constraint while the lists let go of it.
    TListEnum e = world.ConstraintList->ObjectEnumerator();
    while (e.HasNext()) {
        Ref<constraint> c = ObjectCast<constraint>(e.NextObject());
        if (!c || !SegmentsMeet(a, b, At(*c->v1), At(*c->v2))) continue;
        c->remove();
        Unlist(world, c.get());
        ++cut;
    }
    return cut;
}

bool IsPinned(const Verlet& p) { return p.active == 0; }

void SetPinned(Verlet& p, bool pinned) {
    p.active = pinned ? 0 : 1;
    if (!pinned) return;
    p.oldpos->set(p.pos->x, p.pos->y);
    p.accvel->set(0.0f, 0.0f);
}

Ref<PhysicsBody> MakeBox(PhysicsWorld& world, float x0, float y0, float x1, float y1, float mass) {
    const float left = std::min(x0, x1), right = std::max(x0, x1);
    const float top = std::min(y0, y1), bottom = std::max(y0, y1);
    if (!(right - left >= kMinBuildSize && bottom - top >= kMinBuildSize)) return nullptr;
    const std::array<Ref<Verlet>, 4> p = {
        NewParticle(world, left, top, mass), NewParticle(world, right, top, mass),
        NewParticle(world, right, bottom, mass), NewParticle(world, left, bottom, mass)};
    Ref<PhysicsBody> body = PhysicsBody::Create(&world);
    for (const Ref<Verlet>& v : p) body->addverlet(v, 1);
    for (size_t i = 0; i < 4; ++i) body->addconstraint(Join(world, p[i], p[(i + 1) % 4]), 1);
    body->addconstraint(Join(world, p[0], p[2]), 0);
    body->addconstraint(Join(world, p[1], p[3]), 0);
    return body;
}

Ref<PhysicsBody> MakeBall(PhysicsWorld& world, float x, float y, float radius, float mass) {
    constexpr float kSpokeElasticity = 0.5f;
    constexpr float kBraceElasticity = 0.5f;
    if (!(radius * 2.0f >= kMinBuildSize)) return nullptr;
    const float rim = 6.2831853f * radius;
    const auto n = static_cast<int32_t>(std::clamp(std::round(rim / 12.0f), 8.0f, 32.0f));
    Ref<PhysicsBody> body = PhysicsBody::Create(&world);
    Ref<Verlet> centre = NewParticle(world, x, y, mass);
    body->addverlet(centre, 0);
    std::vector<Ref<Verlet>> ring;
    for (int32_t i = 0; i < n; ++i) {
        const float a = 6.2831853f * static_cast<float>(i) / static_cast<float>(n);
        ring.push_back(
            NewParticle(world, x + radius * std::cos(a), y + radius * std::sin(a), mass));
        body->addverlet(ring.back(), 1);
    }
    const auto at = [&ring, n](int32_t i) -> const Ref<Verlet>& {
        return ring[static_cast<size_t>(i % n)];
    };
    for (int32_t i = 0; i < n; ++i) body->addconstraint(Join(world, at(i), at(i + 1)), 1);
    for (int32_t i = 0; i < n; ++i) {
        body->addconstraint(Join(world, centre, at(i), kSpokeElasticity), 0);
    }
    for (int32_t i = 0; i < n; ++i) {
        body->addconstraint(Join(world, at(i), at(i + 2), kBraceElasticity), 0);
    }
    body->SetBounce(0.6f);
    return body;
}

Ref<PhysicsBody> MakeRope(PhysicsWorld& world, float x0, float y0, float x1, float y1,
                          const Ref<Verlet>& startOn, const Ref<Verlet>& endOn, float mass) {
    const float dx = x1 - x0;
    const float dy = y1 - y0;
    const float length = std::sqrt(dx * dx + dy * dy);
    if (!(length >= kMinBuildSize) || (startOn && startOn == endOn)) return nullptr;
    const auto links = static_cast<int32_t>(std::max(1.0f, std::ceil(length / kRopeLinkLength)));
    Ref<PhysicsBody> body = PhysicsBody::Create(&world);
    Ref<Verlet> last = startOn;
    if (!last) {
        last = NewParticle(world, x0, y0, mass, 0);
        body->addverlet(last, 1);
    }
    for (int32_t i = 1; i <= links; ++i) {
        Ref<Verlet> next = endOn;
        if (i < links || !endOn) {
            const float t = static_cast<float>(i) / static_cast<float>(links);
            next = NewParticle(world, x0 + dx * t, y0 + dy * t, mass);
            body->addverlet(next, 1);
        }
        body->addconstraint(Join(world, last, next), 0);
        last = next;
    }
    return body;
}

Ref<constraint> MakeStick(PhysicsWorld& world, const Ref<Verlet>& a, const Ref<Verlet>& b,
                          float elasticity) {
    if (!a || !b || a == b) return nullptr;
    return Join(world, a, b, elasticity);
}

void Grab::Begin(PhysicsWorld& world, const Ref<Verlet>& particle, float x, float y,
                 float elasticity) {
    Release();
    if (!particle || !InWorld(*particle)) return;
    particle_ = particle;
    targetX_ = x;
    targetY_ = y;
    if (IsPinned(*particle)) return;
    // Inactive, so the relaxation moves only the held end; its mass only makes the pair's total.
    anchor_ = NewParticle(world, x, y, 1.0f, 0);
    spring_ = constraint::Create(&world, anchor_, particle, elasticity, 0.0f, kGrabRestLength);
}

void Grab::MoveTo(float x, float y) {
    targetX_ = x;
    targetY_ = y;
}

void Grab::Advance(int32_t steps) {
    if (!particle_) return;
    if (!InWorld(*particle_) || (spring_ && !InWorld(*spring_)) ||
        (anchor_ && !InWorld(*anchor_))) {
        Release();
        return;
    }
    // Nothing pulls the glider (it is inactive): it moves by its velocity alone, and the velocity
    // set here takes it to the target in `steps` steps.
    Verlet& glider = anchor_ ? *anchor_ : *particle_;
    const float n = static_cast<float>(steps > 0 ? steps : 1);
    const float vx = (targetX_ - glider.pos->x) / n;
    const float vy = (targetY_ - glider.pos->y) / n;
    glider.oldpos->set(glider.pos->x - vx, glider.pos->y - vy);
}

void Grab::Release() {
    if (spring_) spring_->remove();
    if (anchor_) anchor_->remove();
    if (particle_ && !anchor_ && InWorld(*particle_)) {
        // A pinned one is put down at the target, at rest.
        particle_->pos->set(targetX_, targetY_);
        SetPinned(*particle_, true);
    }
    spring_.reset();
    anchor_.reset();
    particle_.reset();
}

void Grab::Resume(const Ref<Verlet>& particle, const Ref<Verlet>& anchor,
                  const Ref<constraint>& spring, float x, float y) {
    Release();
    if (!particle || !InWorld(*particle)) return;
    particle_ = particle;
    if (anchor && spring) {
        anchor_ = anchor;
        spring_ = spring;
    }
    targetX_ = x;
    targetY_ = y;
}
