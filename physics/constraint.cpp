#include "physics/constraint.h"

#include <algorithm>
#include <cmath>
#include <utility>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "physics/internal/step_cache.h"
#include "runtime/pool.h"

const ClassInfo constraint::kClass{"constraint", &Object::kClass};

Ref<constraint> constraint::Create(PhysicsWorld* world, Ref<Verlet> first, Ref<Verlet> second,
                                   float elasticity, float breakPoint, float length) {
    auto c = MakePooled<constraint>();
    c->v1 = std::move(first);
    c->v2 = std::move(second);
    c->elasticity = elasticity;
    c->BreakPoint = breakPoint;
    if (length >= 0.0f) {
        c->OriginalLength = length;
    } else {
        const float dx = c->v1->pos->x - c->v2->pos->x;
        const float dy = c->v1->pos->y - c->v2->pos->y;
        c->OriginalLength = std::sqrt(dx * dx + dy * dy);
    }
    world->ConstraintList->AddLast(c);
    c->pworld = world;
    c->index = world->ConstraintArray->add(c);
    return c;
}

namespace {

// One relaxation of constraint k (the constraint itself or its working copy), whose ends have
// masses massA, massB and flags activeA, activeB and stand at p1, p2 (their vectors or copies of
// them); the mass shares are refreshed when firstPass is set. p1 and p2 may be one vector.
template <class K, class P>
inline void RelaxOne(K& k, float massA, float massB, uint8_t activeA, uint8_t activeB, P& p1, P& p2,
                     bool firstPass) {
    const float dx = p1.x - p2.x;
    const float dy = p1.y - p2.y;
    const float dist = std::sqrt(dx * dx + dy * dy);
    if (firstPass) {
        k.totmass = massA + massB;
        if (k.totmass == 0.0f) {
            // massless ends: no shares to give, and neither end is moved below
            k.v1prop = 0.0f;
            k.v2prop = 0.0f;
        } else {
            k.v1prop = massA / k.totmass / 2.0f;
            k.v2prop = massB / k.totmass / 2.0f;
        }
    }
    k.TargetLength = k.OriginalLength;
    const float diff = dist - k.TargetLength;
    if (k.BreakPoint > 0.0f && diff > k.BreakPoint) k.setremove = 1;
    if (k.totmass == 0.0f) return;

    if (k.TargetLength == 0.0f) {
        // Merge at the mass-weighted centre, whatever the active flags.
        const float x = p1.x * (massA / k.totmass) + p2.x * (massB / k.totmass);
        const float y = p1.y * (massA / k.totmass) + p2.y * (massB / k.totmass);
        p1.x = x;
        p1.y = y;
        p2.x = p1.x;
        p2.y = p1.y;
        return;
    }

    float kk = diff * k.elasticity / k.TargetLength;
    // Dividing by the rest length makes the correction grow with the square of the stretch. Past
    // about five times the rest length with both ends active (three times with one), it throws
    // the ends past each other to a distance greater than the present one; every later pass does
    // so again and the coordinates overflow within a few steps. Such a correction is divided by
    // the present distance instead: the ends then move towards the rest length (at elasticity 1,
    // halfway with both ends active, all the way with one). Below that stretch nothing changes.
    const float share = (activeA && activeB) ? k.v1prop + k.v2prop : 1.0f;
    if (kk * share > 2.0f) kk = diff * k.elasticity / dist;
    const float fx = kk * dx;
    const float fy = kk * dy;
    if (activeA && activeB) {
        p1.x = p1.x - fx * k.v2prop;
        p1.y = p1.y - fy * k.v2prop;
        p2.x = p2.x + fx * k.v1prop;
        p2.y = p2.y + fy * k.v1prop;
    } else if (activeA) {
        p1.x = p1.x - fx;
        p1.y = p1.y - fy;
    } else if (activeB) {
        p2.x = p2.x + fx;
        p2.y = p2.y + fy;
    }
}

// What a relaxation after the first does with a record: its mass shares and flags no longer
// change, so this is settled once the first pass has refreshed them.
enum RelaxMode : uint8_t {
    kMassless,  // total mass zero: nothing moves
    kMerge,     // rest length zero: the ends meet at their mass centre
    kBoth,      // both ends active
    kFirst,     // only the first end active
    kSecond,    // only the second
    kNeither,   // neither: nothing moves
};

inline void Settle(RelaxRecord& r) {
    if (r.totmass == 0.0f) {
        r.mode = kMassless;
    } else if (r.TargetLength == 0.0f) {
        r.mode = kMerge;
    } else if (r.activeA && r.activeB) {
        r.mode = kBoth;
        r.share = r.v1prop + r.v2prop;
    } else {
        r.mode = r.activeA ? kFirst : r.activeB ? kSecond : kNeither;
        r.share = 1.0f;
    }
}

// RelaxOne for a record after its first pass: the same operations in the same order on the same
// numbers, with the settled choices taken from its mode. The record's numbers are read into locals
// first: the compiler cannot tell that writing a position leaves them as they are.
template <class P>
inline void RelaxAgain(RelaxRecord& r, P& p1, P& p2) {
    const float length = r.TargetLength;
    const float elasticity = r.elasticity;
    const float breakPoint = r.BreakPoint;
    const uint8_t mode = r.mode;
    const float dx = p1.x - p2.x;
    const float dy = p1.y - p2.y;
    const float dist = std::sqrt(dx * dx + dy * dy);
    const float diff = dist - length;
    if (breakPoint > 0.0f && diff > breakPoint) r.setremove = 1;
    if (mode == kMassless || mode == kNeither) return;
    if (mode == kMerge) {
        const float x = p1.x * (r.massA / r.totmass) + p2.x * (r.massB / r.totmass);
        const float y = p1.y * (r.massA / r.totmass) + p2.y * (r.massB / r.totmass);
        p1.x = x;
        p1.y = y;
        p2.x = p1.x;
        p2.y = p1.y;
        return;
    }
    const float v1prop = r.v1prop;
    const float v2prop = r.v2prop;
    float kk = diff * elasticity / length;
    if (kk * r.share > 2.0f) kk = diff * elasticity / dist;
    const float fx = kk * dx;
    const float fy = kk * dy;
    if (mode == kBoth) {
        p1.x = p1.x - fx * v2prop;
        p1.y = p1.y - fy * v2prop;
        p2.x = p2.x + fx * v1prop;
        p2.y = p2.y + fy * v1prop;
    } else if (mode == kFirst) {
        p1.x = p1.x - fx;
        p1.y = p1.y - fy;
    } else {
        p2.x = p2.x + fx;
        p2.y = p2.y + fy;
    }
}

// All passes over the records in slot order, on the ends' vectors themselves (vects[i1],
// vects[i2]).
void RelaxOnVectors(std::vector<RelaxRecord>& records, Vect* const* vects, int32_t passes) {
    for (RelaxRecord& r : records) {
        RelaxOne(r, r.massA, r.massB, r.activeA, r.activeB, *vects[r.i1], *vects[r.i2], true);
        Settle(r);
    }
    for (int32_t i = 1; i < passes; ++i) {
        for (RelaxRecord& r : records) RelaxAgain(r, *vects[r.i1], *vects[r.i2]);
    }
}

// Where the gathering writes: buffers sized beforehand for every particle slot, so that the loop
// keeps its count in a register and grows nothing.
struct Gathering {
    RelaxScratch::XY* positions;
    Vect** vects;
    int32_t* placeOfSlot;
    int32_t used;
};

// The place of particle v's position among the gathered copies, made on its first use; -1 when
// its vector might be reached through another particle too (someone else holds it) or v does not
// hold its slot, so that one copy per vector cannot be vouched for.
inline int32_t PlaceOf(const Verlet& v, const Array& particles, Gathering& g) {
    const int32_t slot = v.index;
    if (slot < 0 || slot >= particles.last || particles.at(slot) != &v || v.pos.use_count() != 1) {
        return -1;
    }
    int32_t& place = g.placeOfSlot[slot];
    if (place < 0) {
        place = g.used++;
        const Vect& p = *v.pos;
        g.positions[place] = {p.x, p.y};
        g.vects[place] = v.pos.get();
    }
    return place;
}

// Puts the records in an order in which one rarely waits for the one before it, with the same
// result. A record reads and writes the positions of its two ends and nothing else any other record
// touches, so what it computes depends only on the records before it that share an end; any order
// that keeps each record after those gives the same bits. A record's level is one more than the
// highest level among the earlier records sharing an end with it; records of one level share no
// end, and sorting by level (stably) keeps every record after those it depends on. Within one
// level the processor can overlap the records' square roots and divisions instead of waiting for
// each before starting the next, as it must along a chain of records sharing ends (the edges of
// one box). The order depends on the records' ends alone, so it is kept with the ends it was made
// for and made again only when they differ.
void OrderByLevel(RelaxScratch& s) {
    const size_t n = s.records.size();
    bool same = s.orderEnds.size() == n;
    for (size_t k = 0; same && k < n; ++k) {
        same = s.orderEnds[k].i1 == s.records[k].i1 && s.orderEnds[k].i2 == s.records[k].i2;
    }
    if (same) return;
    s.planValid = false;
    s.orderEnds.resize(n);
    s.levelOfPlace.assign(s.positions.size(), 0);
    s.levels.resize(n);
    int32_t top = 0;
    for (size_t k = 0; k < n; ++k) {
        const RelaxRecord& r = s.records[k];
        s.orderEnds[k] = {r.i1, r.i2};
        int32_t& a = s.levelOfPlace[static_cast<size_t>(r.i1)];
        int32_t& b = s.levelOfPlace[static_cast<size_t>(r.i2)];
        const int32_t level = std::max(a, b) + 1;
        a = level;
        b = level;
        s.levels[k] = level;
        top = std::max(top, level);
    }
    s.order.resize(n);
    s.counts.assign(static_cast<size_t>(top) + 1, 0);
    for (size_t k = 0; k < n; ++k) ++s.counts[static_cast<size_t>(s.levels[k])];
    int32_t start = 0;
    for (int32_t& c : s.counts) start += std::exchange(c, start);
    // counts[l] is now where level l starts (levels count from 1)
    s.levelStart.assign(s.counts.begin() + 1, s.counts.end());
    s.levelStart.push_back(static_cast<int32_t>(n));
    for (size_t k = 0; k < n; ++k) {
        s.order[static_cast<size_t>(s.counts[static_cast<size_t>(s.levels[k])]++)] =
            static_cast<int32_t>(k);
    }
}

// Whether a record's passes after the first will take the both-ends-active way (the mode the first
// pass settles, from the same numbers), with two ends apart: such records of one level can be
// relaxed side by side.
inline bool Batchable(const RelaxRecord& r) {
    return r.massA + r.massB != 0.0f && r.OriginalLength != 0.0f && r.activeA && r.activeB &&
           r.i1 != r.i2;
}

// The plan of the passes: the batchable records of each level go four at a time into batches, the
// rest one at a time after them (records of one level share no end, so their order within the
// level makes no difference). It is made again when the order or a record's batchability has
// changed; the batches' numbers are copied from the records every time.
void PlanBatches(RelaxScratch& s) {
    const size_t n = s.records.size();
    bool same = s.planValid && s.planBatchable.size() == n;
    for (size_t k = 0; same && k < n; ++k) same = s.planBatchable[k] == Batchable(s.records[k]);
    if (!same) {
        s.planBatchable.resize(n);
        for (size_t k = 0; k < n; ++k) s.planBatchable[k] = Batchable(s.records[k]);
        s.batches.clear();
        s.batchEnd.clear();
        s.single.clear();
        s.singleEnd.clear();
        for (size_t l = 0; l + 1 < s.levelStart.size(); ++l) {
            int32_t fill = 0;
            for (int32_t at = s.levelStart[l]; at < s.levelStart[l + 1]; ++at) {
                const int32_t k = s.order[static_cast<size_t>(at)];
                const RelaxRecord& r = s.records[static_cast<size_t>(k)];
                if (!s.planBatchable[static_cast<size_t>(k)]) {
                    s.single.push_back(k);
                    continue;
                }
                if (fill == 0) s.batches.emplace_back();
                RelaxBatch& b = s.batches.back();
                b.i1[fill] = r.i1;
                b.i2[fill] = r.i2;
                b.record[fill] = k;
                fill = (fill + 1) % 4;
            }
            if (fill != 0) {  // a batch left short: its records go one at a time
                for (int32_t j = 0; j < fill; ++j) s.single.push_back(s.batches.back().record[j]);
                s.batches.pop_back();
            }
            s.batchEnd.push_back(static_cast<int32_t>(s.batches.size()));
            s.singleEnd.push_back(static_cast<int32_t>(s.single.size()));
        }
        s.planValid = true;
    }
    for (RelaxBatch& b : s.batches) {
        for (int j = 0; j < 4; ++j) {
            const RelaxRecord& r = s.records[static_cast<size_t>(b.record[j])];
            b.TargetLength[j] = r.OriginalLength;
            b.elasticity[j] = r.elasticity;
            b.BreakPoint[j] = r.BreakPoint;
            b.massA[j] = r.massA;
            b.massB[j] = r.massB;
        }
    }
}

#if defined(__SSE2__)
inline __m64* Pair(RelaxScratch::XY* p) { return reinterpret_cast<__m64*>(p); }

// The four records of a batch relaxed side by side, the first pass (RelaxOne and Settle) or a
// later one (RelaxAgain): the same operations on the same numbers in each lane, which IEEE
// arithmetic rounds exactly as it does one at a time.
inline void RelaxFour(RelaxBatch& b, RelaxScratch::XY* pos, RelaxRecord* records, bool first) {
    const __m128 zero = _mm_setzero_ps();
    if (first) {  // the mass shares, for this pass and the later ones
        const __m128 massA = _mm_load_ps(b.massA);
        const __m128 massB = _mm_load_ps(b.massB);
        const __m128 two = _mm_set1_ps(2.0f);
        const __m128 totmass = _mm_add_ps(massA, massB);
        const __m128 v1prop = _mm_div_ps(_mm_div_ps(massA, totmass), two);
        const __m128 v2prop = _mm_div_ps(_mm_div_ps(massB, totmass), two);
        _mm_store_ps(b.v1prop, v1prop);
        _mm_store_ps(b.v2prop, v2prop);
        _mm_store_ps(b.share, _mm_add_ps(v1prop, v2prop));
        _mm_store_ps(b.totmass, totmass);
        for (int j = 0; j < 4; ++j) {
            RelaxRecord& r = records[b.record[j]];
            r.totmass = b.totmass[j];
            r.v1prop = b.v1prop[j];
            r.v2prop = b.v2prop[j];
            r.TargetLength = b.TargetLength[j];
            r.share = b.share[j];
            r.mode = kBoth;
        }
    }
    const __m128 p1a = _mm_loadh_pi(_mm_loadl_pi(zero, Pair(pos + b.i1[0])), Pair(pos + b.i1[1]));
    const __m128 p1b = _mm_loadh_pi(_mm_loadl_pi(zero, Pair(pos + b.i1[2])), Pair(pos + b.i1[3]));
    const __m128 p2a = _mm_loadh_pi(_mm_loadl_pi(zero, Pair(pos + b.i2[0])), Pair(pos + b.i2[1]));
    const __m128 p2b = _mm_loadh_pi(_mm_loadl_pi(zero, Pair(pos + b.i2[2])), Pair(pos + b.i2[3]));
    const __m128 x1 = _mm_shuffle_ps(p1a, p1b, _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 y1 = _mm_shuffle_ps(p1a, p1b, _MM_SHUFFLE(3, 1, 3, 1));
    const __m128 x2 = _mm_shuffle_ps(p2a, p2b, _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 y2 = _mm_shuffle_ps(p2a, p2b, _MM_SHUFFLE(3, 1, 3, 1));

    const __m128 length = _mm_load_ps(b.TargetLength);
    const __m128 breakPoint = _mm_load_ps(b.BreakPoint);
    const __m128 dx = _mm_sub_ps(x1, x2);
    const __m128 dy = _mm_sub_ps(y1, y2);
    const __m128 dist = _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)));
    const __m128 diff = _mm_sub_ps(dist, length);
    const int broke =
        _mm_movemask_ps(_mm_and_ps(_mm_cmpgt_ps(breakPoint, zero), _mm_cmpgt_ps(diff, breakPoint)));
    if (broke != 0) {
        for (int j = 0; j < 4; ++j) {
            if ((broke >> j) & 1) records[b.record[j]].setremove = 1;
        }
    }
    const __m128 stretch = _mm_mul_ps(diff, _mm_load_ps(b.elasticity));
    __m128 kk = _mm_div_ps(stretch, length);
    const __m128 far = _mm_cmpgt_ps(_mm_mul_ps(kk, _mm_load_ps(b.share)), _mm_set1_ps(2.0f));
    if (_mm_movemask_ps(far) != 0) {
        kk = _mm_or_ps(_mm_and_ps(far, _mm_div_ps(stretch, dist)), _mm_andnot_ps(far, kk));
    }
    const __m128 fx = _mm_mul_ps(kk, dx);
    const __m128 fy = _mm_mul_ps(kk, dy);
    const __m128 v1prop = _mm_load_ps(b.v1prop);
    const __m128 v2prop = _mm_load_ps(b.v2prop);
    const __m128 nx1 = _mm_sub_ps(x1, _mm_mul_ps(fx, v2prop));
    const __m128 ny1 = _mm_sub_ps(y1, _mm_mul_ps(fy, v2prop));
    const __m128 nx2 = _mm_add_ps(x2, _mm_mul_ps(fx, v1prop));
    const __m128 ny2 = _mm_add_ps(y2, _mm_mul_ps(fy, v1prop));

    const __m128 q1a = _mm_unpacklo_ps(nx1, ny1);
    const __m128 q1b = _mm_unpackhi_ps(nx1, ny1);
    const __m128 q2a = _mm_unpacklo_ps(nx2, ny2);
    const __m128 q2b = _mm_unpackhi_ps(nx2, ny2);
    _mm_storel_pi(Pair(pos + b.i1[0]), q1a);
    _mm_storeh_pi(Pair(pos + b.i1[1]), q1a);
    _mm_storel_pi(Pair(pos + b.i1[2]), q1b);
    _mm_storeh_pi(Pair(pos + b.i1[3]), q1b);
    _mm_storel_pi(Pair(pos + b.i2[0]), q2a);
    _mm_storeh_pi(Pair(pos + b.i2[1]), q2a);
    _mm_storel_pi(Pair(pos + b.i2[2]), q2b);
    _mm_storeh_pi(Pair(pos + b.i2[3]), q2b);
}
#else
inline void RelaxFour(RelaxBatch& b, RelaxScratch::XY* pos, RelaxRecord* records, bool first) {
    for (int j = 0; j < 4; ++j) {
        RelaxRecord& r = records[b.record[j]];
        if (first) {
            RelaxOne(r, r.massA, r.massB, r.activeA, r.activeB, pos[r.i1], pos[r.i2], true);
            Settle(r);
        } else {
            RelaxAgain(r, pos[r.i1], pos[r.i2]);
        }
    }
}
#endif

// All passes on the gathered copies, level by level, each level's batches first.
void RelaxLevels(RelaxScratch& s, int32_t passes) {
    PlanBatches(s);
    RelaxScratch::XY* pos = s.positions.data();
    RelaxRecord* records = s.records.data();
    RelaxBatch* batches = s.batches.data();
    const int32_t* single = s.single.data();
    const size_t levels = s.batchEnd.size();
    for (int32_t i = 0; i < passes; ++i) {
        const bool first = i == 0;
        int32_t b = 0, o = 0;
        for (size_t l = 0; l < levels; ++l) {
            for (const int32_t end = s.batchEnd[l]; b < end; ++b) {
                RelaxFour(batches[b], pos, records, first);
            }
            for (const int32_t end = s.singleEnd[l]; o < end; ++o) {
                RelaxRecord& r = records[single[o]];
                if (first) {
                    RelaxOne(r, r.massA, r.massB, r.activeA, r.activeB, pos[r.i1], pos[r.i2], true);
                    Settle(r);
                } else {
                    RelaxAgain(r, pos[r.i1], pos[r.i2]);
                }
            }
        }
    }
}

// The relaxation passes. Nothing changes masses, flags, ends or the array during the passes, and
// nothing but the passes reads or writes the ends' positions, so each pass works on the records
// gathered here, in slot order, and on copies of the positions (one per vector, so that ends
// sharing a particle share a copy), taking the records in level order; the copies go back to
// their vectors and the constraints get their numbers back at the end. When a vector might be
// shared between particles, the passes work on the vectors themselves, in slot order. True when a
// constraint of the array is marked for removal afterwards.
bool RelaxAll(PhysicsWorld& world, int32_t passes) {
    RelaxScratch& s = world.Cache().relax;
    const Array& arr = *world.ConstraintArray;
    const Array& particles = *world.VerletArray;
    const size_t slots = static_cast<size_t>(particles.last);
    const int32_t n = arr.last;
    s.positions.resize(slots);
    s.vects.resize(slots);
    s.placeOfSlot.assign(slots, -1);
    s.records.resize(static_cast<size_t>(n));
    s.owners.resize(static_cast<size_t>(n));
    Gathering g{s.positions.data(), s.vects.data(), s.placeOfSlot.data(), 0};
    RelaxRecord* records = s.records.data();
    constraint** owners = s.owners.data();
    size_t count = 0;
    bool copies = true;
    for (int32_t j = 0; j < n; ++j) {
        auto* c = ObjectCast<constraint>(arr.at(j));
        if (c == nullptr) continue;
        const Verlet& a = *c->v1;
        const Verlet& b = *c->v2;
        int32_t i1 = -1, i2 = -1;
        if (copies) {
            i1 = PlaceOf(a, particles, g);
            i2 = PlaceOf(b, particles, g);
            copies = i1 >= 0 && i2 >= 0;
        }
        owners[count] = c;
        // TargetLength, totmass and the shares are made anew by the first pass before anything
        // reads them: they are not read here.
        RelaxRecord& r = records[count];
        r.i1 = i1;
        r.i2 = i2;
        r.elasticity = c->elasticity;
        r.OriginalLength = c->OriginalLength;
        r.BreakPoint = c->BreakPoint;
        r.massA = a.mass;
        r.massB = b.mass;
        r.activeA = a.active;
        r.activeB = b.active;
        r.setremove = c->setremove;
        ++count;
    }
    s.records.resize(count);
    s.owners.resize(count);
    s.positions.resize(static_cast<size_t>(g.used));
    s.vects.resize(static_cast<size_t>(g.used));

    if (copies) {
        OrderByLevel(s);
        RelaxLevels(s, passes);
        const RelaxScratch::XY* pos = s.positions.data();
        for (size_t k = 0; k < s.vects.size(); ++k) s.vects[k]->set(pos[k].x, pos[k].y);
    } else {
        s.vects.clear();
        for (size_t k = 0; k < s.records.size(); ++k) {
            s.vects.push_back(s.owners[k]->v1->pos.get());
            s.vects.push_back(s.owners[k]->v2->pos.get());
            s.records[k].i1 = static_cast<int32_t>(2 * k);
            s.records[k].i2 = static_cast<int32_t>(2 * k + 1);
        }
        RelaxOnVectors(s.records, s.vects.data(), passes);
    }
    bool marked = false;
    for (size_t k = 0; k < s.records.size(); ++k) {
        const RelaxRecord& r = s.records[k];
        constraint* c = s.owners[k];
        c->TargetLength = r.TargetLength;
        c->totmass = r.totmass;
        c->v1prop = r.v1prop;
        c->v2prop = r.v2prop;
        c->setremove = r.setremove;
        marked = marked || r.setremove != 0;
    }
    return marked;
}

}  // namespace

void constraint::Relax(bool firstPass) {
    RelaxOne(*this, v1->mass, v2->mass, v1->active, v2->active, *v1->pos, *v2->pos, firstPass);
}

int32_t constraint::Update(PhysicsWorld* world) {
    // Drawing: every constraint once, in list order, where it stands before relaxation.
    const LineSink sink = world->lineSink;
    if (sink.draw != nullptr) {
        for (constraint* c : world->ConstraintList->fast<constraint>()) {
            sink.draw(sink.context, c->v1->pos->x, c->v1->pos->y, c->v2->pos->x, c->v2->pos->y);
        }
    }

    Array& arr = *world->ConstraintArray;
    const int32_t passes = world->CONSTRAINT_ITERATIONS;
    // The relaxation gives every constraint of the array its mark: with none marked there is
    // nothing to remove.
    if (passes > 0 && !RelaxAll(*world, passes)) return 0;

    // Removal: the last constraint fills a freed slot and is not looked at again in this sweep.
    const int32_t n = arr.last;
    for (int32_t j = 0; j < n; ++j) {
        if (j >= arr.last) continue;
        auto* c = ObjectCast<constraint>(arr.at(j));
        if (c != nullptr && c->setremove) c->remove();
    }
    return 0;
}

int32_t constraint::remove() {
    RemoveFromWorld(*this, *pworld->ConstraintArray, *pworld->ConstraintList);
    return 0;
}
