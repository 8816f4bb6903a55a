#pragma once
// The collision pass's friction account, particle by particle. Every contact's friction moves a
// particle's velocity towards the edge's by a share of their difference (the bodies' friction
// product, times the contact's weight for an edge end), always from the velocities of the last
// step. A particle in many contacts at once gets all their shares summed: past 2 in all, one pass
// turns its motion relative to what it touches around and makes it faster than it was, the next
// pass does so again from there, and velocities grow without bound (the crushed, interpenetrating
// boxes of an overfull pile reach loads of 10 and more). Such a particle's friction of the pass is
// averaged instead of summed (divided by its load); below the limit nothing changes, bit for bit.

#include <cmath>
#include <cstdint>
#include <vector>

#include "physics/verlet.h"

class Array;

class FrictionLedger {
  public:
    static constexpr float kLoadLimit = 2.0f;

    // A pass begins over the particles of a world's array (`particles`): only they are accounted
    // for; a particle of another world passes unnoticed.
    void Begin(const Array& particles);

    // Before a contact's friction reaches v: its share of the contact's friction (`load`).
    void Note(Verlet& v, float load) {
        const int32_t slot = v.index;
        if (slot < 0 || slot >= count_) return;
        Entry& e = entries_[static_cast<size_t>(slot)];
        if (e.pass != pass_) {
            e = {&v, pass_, load, v.accvel->x, v.accvel->y, false};
        } else if (e.owner != &v) {
            // Two particles under one slot number (one of another world): neither is changed.
            e.load = -INFINITY;
            return;
        } else {
            e.load += load;
        }
        if (e.load > kLoadLimit && !e.listed) {
            e.listed = true;
            over_.push_back(slot);  // within the capacity Begin reserved: one entry per slot
        }
    }

    // After the pass: the particles whose load went past the limit get the mean of their
    // contacts' friction instead of the sum.
    void Settle();

  private:
    struct Entry {
        Verlet* owner;
        uint32_t pass;
        float load;
        float x, y;  // the pending velocity change before the pass's first contact
        bool listed;
    };
    std::vector<Entry> entries_;
    std::vector<int32_t> over_;
    uint32_t pass_ = 0;
    int32_t count_ = 0;
};
