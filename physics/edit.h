#pragma once
// Acting on a world between steps: what a user's tools do to it. Finding the particle or the body
// under a point, removing a body with everything hanging on it, cutting the constraints a stroke
// crosses, pinning and unpinning particles, building boxes, balls, ropes and sticks, and holding a
// particle with a spring (Grab). None of this runs inside a step: these calls may allocate, and
// the step's loops never call them.
//
// Everything built goes into the world through the ordinary Create calls (appended to the arrays
// and lists) and everything removed leaves through the ordinary removal paths, so a world acted
// on this way saves, loads and steps like any other.

#include <cstdint>
#include <vector>

#include "physics/body.h"
#include "physics/constraint.h"
#include "physics/verlet.h"
#include "physics/world.h"

// True while p holds its slot in its world's particle array (it has not been removed).
bool InWorld(const Verlet& p);
bool InWorld(const constraint& c);

// The world's particle nearest (x, y), at most `radius` away; none when there is none. Of equally
// near ones, the one in the lowest slot.
Ref<Verlet> NearestParticle(const PhysicsWorld& world, float x, float y, float radius);

// What a press at (x, y) takes hold of: the nearest particle at most `radius` away; failing that,
// on a body (BodyAt with margin `radius`), that body's particle nearest the point; else none.
Ref<Verlet> ParticleToHold(const PhysicsWorld& world, float x, float y, float radius);

// The body whose particles' convex hull holds (x, y), edges included, or comes within `margin` of
// it (so that a rope, whose hull is nearly a line, can be picked). Of several, the one with the
// smallest hull, the most specific; of equal ones, the later in the body list (drawn on top).
// Only particles still in the world count; a body with none is never found.
Ref<PhysicsBody> BodyAt(const PhysicsWorld& world, float x, float y, float margin = 0.0f);

// Takes body out of its world with its particles and constraints (PhysicsBody::remove), and with
// every other constraint that has an end among its particles; those, and its particles, are also
// taken out of every other body's lists, so that nothing left relaxes or collides against a
// particle that is gone. The body's own lists stay as they are (it can still be duplicated).
void RemoveBody(PhysicsWorld& world, PhysicsBody& body);

// The world's constraints, in list order, whose segment crosses the segment (x0, y0)-(x1, y1)
// (touching counts), appended to `out`.
void CrossedConstraints(const PhysicsWorld& world, float x0, float y0, float x1, float y1,
                        std::vector<constraint*>& out);
// Breaks every constraint the segment crosses: each leaves the world as a broken constraint does
// (constraint::remove), and the bodies' lists too, so that a cut edge no longer collides nor comes
// back in a copy of its body. Returns how many broke.
int32_t CutConstraints(PhysicsWorld& world, float x0, float y0, float x1, float y1);

// A pinned particle is an inactive one: no gravity, and neither constraints nor contacts move it.
// Pinning also stops it (its previous position becomes its position), so it stays where it is;
// unpinning lets it fall again from rest.
bool IsPinned(const Verlet& p);
void SetPinned(Verlet& p, bool pinned);

// What the builders make. A box or a ball smaller than kMinBuildSize across, a rope shorter than
// that, or a stick whose two ends are one particle, is not made (none comes back).
inline constexpr float kMinBuildSize = 4.0f;
inline constexpr float kRopeLinkLength = 12.0f;  // the longest link of a rope
inline constexpr float kBuildMass = 1.0f;        // of each particle of what is built

// A box as the demo's: the rectangle's corners clockwise on screen from the top-left (whichever
// corners the two points are), its four sides colliding, two braces that do not. A new body.
Ref<PhysicsBody> MakeBox(PhysicsWorld& world, float x0, float y0, float x1, float y1,
                         float mass = kBuildMass);

// A soft ball: a ring of particles round a centre particle, its rim edges stiff and colliding,
// with soft spokes to the centre and soft braces from each rim particle to the one two along, so
// that it squashes on landing and springs back without folding. About one rim particle per 12
// pixels of rim, 8 to 32. A new body.
Ref<PhysicsBody> MakeBall(PhysicsWorld& world, float x, float y, float radius,
                          float mass = kBuildMass);

// A rope from (x0, y0) to (x1, y1): a chain of particles at most kRopeLinkLength apart. Its first
// end is `startOn` when given (tied to that particle: the rope's first link starts there) and
// otherwise a new pinned particle; its last end is `endOn` when given, otherwise a free particle.
// The new particles collide, the links do not. A new body holding only the new particles.
Ref<PhysicsBody> MakeRope(PhysicsWorld& world, float x0, float y0, float x1, float y1,
                          const Ref<Verlet>& startOn = nullptr, const Ref<Verlet>& endOn = nullptr,
                          float mass = kBuildMass);

// A constraint between a and b at their present distance: a stick at elasticity 1, a spring
// below. It belongs to no body.
Ref<constraint> MakeStick(PhysicsWorld& world, const Ref<Verlet>& a, const Ref<Verlet>& b,
                          float elasticity);

// A held particle. A free particle is held by a spring: a constraint of near-zero rest length from
// an inactive anchor particle that follows the target, so that the held particle is pulled after
// it by the relaxation and the rest of its body follows through its constraints. The anchor glides:
// Advance, called before each run of steps (a frame), gives it the velocity that brings it to the
// target by the run's end, so that the held particle moves with the target's speed rather than in
// jumps, and Release leaves it with the velocity it had: a body can be flung. A pinned particle
// glides to the target itself (no spring) and is put down there, pinned and at rest, on release.
// The anchor and the spring are ordinary members of the world while held (drawn, saved, stepped);
// they are the last particle and constraint made when the hold starts.
inline constexpr float kGrabElasticity = 0.1f;
inline constexpr float kGrabRestLength = 1.0f;

class Grab {
  public:
    Grab() = default;
    Grab(const Grab&) = delete;
    Grab& operator=(const Grab&) = delete;
    ~Grab() = default;  // a hold still on when this goes stays in the world

    // Takes hold of particle (in world) from (x, y), releasing any earlier hold first.
    void Begin(PhysicsWorld& world, const Ref<Verlet>& particle, float x, float y,
               float elasticity = kGrabElasticity);
    // The target moves to (x, y).
    void MoveTo(float x, float y);
    // Before a run of `steps` steps: sets the glide towards the target. A hold whose particle or
    // spring has left the world is released.
    void Advance(int32_t steps);
    void Release();
    // Takes up a hold saved with its world (a scene file): the particle held and, for a free one,
    // the anchor and the spring Begin made for it, and the target. Releases any earlier hold.
    void Resume(const Ref<Verlet>& particle, const Ref<Verlet>& anchor,
                const Ref<constraint>& spring, float x, float y);

    bool Holding() const { return particle_ != nullptr; }
    float TargetX() const { return targetX_; }
    float TargetY() const { return targetY_; }
    const Ref<Verlet>& Particle() const { return particle_; }
    // None while a pinned particle is held.
    const Ref<Verlet>& Anchor() const { return anchor_; }
    const Ref<constraint>& Spring() const { return spring_; }

  private:
    Ref<Verlet> particle_;
    Ref<Verlet> anchor_;
    Ref<constraint> spring_;
    float targetX_ = 0.0f;
    float targetY_ = 0.0f;
};
