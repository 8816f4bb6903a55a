#pragma once
// Broadphase: the pairs of bodies whose boxes may overlap, for the collision pass. The pass must
// give the bits of the all-pairs walk (every pair of list positions i < j, in that order, each
// tested with the exact box test), so Find returns a superset of the pairs whose boxes overlap,
// in exactly that order, and the caller applies the exact test to each.
//
// Boxes are binned in a uniform grid of about one box per cell; a pair is reported from the one
// cell where both boxes' lower corners' maximum falls, so once. A box that is NaN at both ends of
// an axis can meet nothing and is left out; one that is NaN at one end, or has its ends swapped,
// a body with no box vectors, and one whose box vectors are not its own alone (a contact may move
// them during the pass), is paired with every other body. The buffers are kept and reused, so
// that once they have grown to a scene's size a pass allocates nothing. A world's step cache
// holds one Broadphase.

#include <cstdint>
#include <span>
#include <vector>

class PhysicsBody;
class TList;
class Verlet;
class constraint;
class Vect;

// The exact test of two boxes on one axis, as the collision pass applies it to both: an end of
// one extent strictly inside the other.
inline bool AxesOverlap(float aMin, float aMax, float bMin, float bMax) {
    const auto strictlyBetween = [](float v, float lo, float hi) { return v > lo && v < hi; };
    return strictlyBetween(aMax, bMin, bMax) || strictlyBetween(aMin, bMin, bMax) ||
           strictlyBetween(bMax, aMin, aMax);
}

class Broadphase {
  public:
    // A collision particle or edge with the vectors the contact tests read, fetched once.
    struct Particle {
        Verlet* v;
        Vect* pos;
    };
    struct Edge {
        Verlet* a;
        Verlet* b;
        Vect* apos;
        Vect* bpos;
    };
    struct Pair {
        int32_t outer;  // list positions (counting bodies only), outer < inner
        int32_t inner;
    };
    struct Box {
        float x0, y0, x1, y1;  // minxy and maxxy as the pass found them
    };

    // The candidate pairs of the bodies in the list, by outer then inner position. Valid until the
    // next call; bodies() maps positions to bodies.
    std::span<const Pair> Find(const TList& bodies);
    std::span<PhysicsBody* const> bodies() const { return bodies_; }
    // The collision particles and edges of the body at a position, as its lists held them when
    // Find ran (in list order, repeats included).
    std::span<const Particle> Particles(int32_t pos) const {
        const Parts& p = parts_[static_cast<size_t>(pos)];
        return {particles_.data() + p.particleBegin, particles_.data() + p.particleEnd};
    }
    std::span<const Edge> Edges(int32_t pos) const {
        const Parts& p = parts_[static_cast<size_t>(pos)];
        return {edges_.data() + p.edgeBegin, edges_.data() + p.edgeEnd};
    }

    // The box of the body at a position as Find read it, and whether it is the body's own: its
    // box vectors held by the body alone, so that nothing the collision pass does (which writes
    // particles' positions and velocities only) can change them while the pass runs.
    const Box& BoxOf(int32_t pos) const { return boxes_[static_cast<size_t>(pos)]; }
    bool OwnBox(int32_t pos) const { return ownBox_[static_cast<size_t>(pos)] != 0; }

    // The last Find's pairs, kept until the next, for debug views and statistics; and whether a
    // pair's boxes as Find read them pass the exact test: the pairs the collision pass tested.
    // (A pass reads a box that is not its body's own anew at each test; nothing the pass writes
    // moves the boxes of a sound scene.)
    std::span<const Pair> pairs() const { return pairs_; }
    bool Met(const Pair& p) const {
        const Box& a = BoxOf(p.outer);
        const Box& b = BoxOf(p.inner);
        return AxesOverlap(a.x0, a.x1, b.x0, b.x1) && AxesOverlap(a.y0, a.y1, b.y0, b.y1);
    }

  private:
    enum class Kind : uint8_t {
        kBoxed,  // binned in the grid
        kWild,   // paired with every body but the kNever ones
        kNever,  // a box that no test can find overlapping: paired with none
    };
    struct Parts {
        size_t particleBegin, particleEnd, edgeBegin, edgeEnd;  // into particles_ and edges_
    };
    struct Cells {
        int32_t x0, y0, x1, y1;  // the grid cells the box covers, inclusive
    };

    void Collect(const TList& bodies);
    // Collect's work on one body, the next in the list.
    void Gather(PhysicsBody* b);
    void Reserve();
    void PairAll();
    void Bin();
    void PairInCells();
    void PairWild();
    void SortPairs();

    std::vector<PhysicsBody*> bodies_;
    std::vector<Parts> parts_;
    std::vector<Particle> particles_;
    std::vector<Edge> edges_;
    std::vector<Box> boxes_;
    std::vector<uint8_t> ownBox_;
    std::vector<Kind> kind_;
    std::vector<int32_t> wildList_;
    std::vector<Cells> cells_;
    std::vector<int32_t> cellStart_;  // per grid cell, into cellItems_ (one more at the end)
    std::vector<int32_t> cellItems_;  // positions, ascending within a cell
    std::vector<Pair> pairs_;
    std::vector<Pair> scratch_;
    std::vector<int32_t> counts_;
    size_t reservedFor_ = 0;  // the body count the buffers were last reserved for
    int32_t gridW_ = 0;
    int32_t gridH_ = 0;
    double originX_ = 0.0;
    double originY_ = 0.0;
    double inverseCell_ = 1.0;
};
