#pragma once
// StepCache: what the step keeps from one update to the next and reuses, so that once its buffers
// have grown to a scene's size an update allocates nothing. None of it is the world's state: the
// relaxation gathers its records anew every update and the broadphase finds its pairs anew every
// collision pass. Each world owns one; the passes reach it through PhysicsWorld::Cache.

#include <cstdint>
#include <vector>

#include "physics/internal/broadphase.h"
#include "physics/internal/stable_scratch.h"

class Vect;
class constraint;

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

// The world's reusable buffers: the relaxation's, the collision pass's and the stable step's.
struct StepCache {
    RelaxScratch relax;
    Broadphase broadphase;
    StableScratch stable;
};
