#include "physics/internal/broadphase.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "physics/body.h"
#include "physics/internal/bodywalk.h"

namespace {

// Grid size limit, in cells per box: a scene spread thin over a large world gets bigger cells.
constexpr double kCellsPerBox = 4.0;
constexpr double kMinCells = 64.0;
constexpr size_t kReservePerBody = 8;
// Up to this many bodies, testing every pair's boxes costs less than binning them.
constexpr size_t kSmallScene = 64;
constexpr size_t kReserveExtra = 64;

bool Finite(float v) { return std::isfinite(v); }

// How a box on one axis can meet others in collide's test (strict comparisons, false with NaN).
enum class Axis { kNever, kAny, kNormal };

Axis Classify(float lo, float hi) {
    const bool loNaN = lo != lo, hiNaN = hi != hi;
    // Both NaN: every comparison of the test is false, so the box meets nothing.
    if (loNaN && hiNaN) return Axis::kNever;
    // One NaN, or a box set with its ends swapped: the test can still succeed in ways that no
    // interval reasoning covers, so the body is paired with every other.
    if (loNaN || hiNaN || lo > hi) return Axis::kAny;
    // lo <= hi (infinities included): the test then implies that the open intervals intersect.
    return Axis::kNormal;
}

}  // namespace

std::span<const Broadphase::Pair> Broadphase::Find(const TList& bodies) {
    Collect(bodies);
    Reserve();
    pairs_.clear();
    if (bodies_.size() <= kSmallScene) {
        PairAll();
        return pairs_;
    }
    Bin();
    PairInCells();
    PairWild();
    SortPairs();
    return pairs_;
}

void Broadphase::Collect(const TList& bodies) {
    const size_t lastCount = bodies_.size();
    bodies_.clear();
    parts_.clear();
    particles_.clear();
    edges_.clear();
    boxes_.clear();
    ownBox_.clear();
    kind_.clear();
    wildList_.clear();
    WalkBodies(bodies, &PhysicsBody::activeverlets, &PhysicsBody::activeconstraints, lastCount,
               [this](PhysicsBody* b) { Gather(b); });
}

void Broadphase::Gather(PhysicsBody* b) {
    const auto pos = static_cast<int32_t>(bodies_.size());
    bodies_.push_back(b);
    Parts parts{particles_.size(), 0, edges_.size(), 0};
    for (Verlet* v : b->activeverlets->fast<Verlet>()) particles_.push_back({v, v->pos.get()});
    for (constraint* c : b->activeconstraints->fast<constraint>()) {
        edges_.push_back({c->v1.get(), c->v2.get(), c->v1->pos.get(), c->v2->pos.get()});
    }
    parts.particleEnd = particles_.size();
    parts.edgeEnd = edges_.size();
    parts_.push_back(parts);
    Box box{0.0f, 0.0f, 0.0f, 0.0f};
    Kind kind = Kind::kWild;  // no box at all: collide is called as the all-pairs walk would
    if (b->minxy && b->maxxy) {
        box = {b->minxy->x, b->minxy->y, b->maxxy->x, b->maxxy->y};
        const Axis x = Classify(box.x0, box.x1);
        const Axis y = Classify(box.y0, box.y1);
        if (x == Axis::kNever || y == Axis::kNever) {
            kind = Kind::kNever;
        } else if (x == Axis::kNormal && y == Axis::kNormal) {
            kind = Kind::kBoxed;
        }
    }
    boxes_.push_back(box);
    const bool own = b->minxy.use_count() == 1 && b->maxxy.use_count() == 1;
    // A box vector shared with something else (a particle's position, say) can move while the
    // pass runs, so that a pair apart now meets later in the walk: paired with every body.
    if (!own) kind = Kind::kWild;
    ownBox_.push_back(own);
    kind_.push_back(kind);
    if (kind == Kind::kWild) wildList_.push_back(pos);
}

// Room for what a pile of boxes needs (a few neighbours and a few cells each), made when the
// number of bodies grows, so that the pair and cell counts changing from step to step as a pile
// settles do not reallocate.
void Broadphase::Reserve() {
    const size_t n = bodies_.size();
    if (n <= reservedFor_) return;
    reservedFor_ = n;
    const size_t room = kReservePerBody * n + kReserveExtra;
    const auto cells =
        static_cast<size_t>(std::max(kMinCells, kCellsPerBox * static_cast<double>(n)));
    pairs_.reserve(room);
    scratch_.reserve(room);
    cellItems_.reserve(room);
    cells_.reserve(n);
    parts_.reserve(n);
    particles_.reserve(room);
    edges_.reserve(room);
    cellStart_.reserve(cells + 1);
    counts_.reserve(std::max(cells, n) + 1);
}

void Broadphase::Bin() {
    const auto n = static_cast<int32_t>(bodies_.size());
    gridW_ = gridH_ = 0;
    cells_.resize(static_cast<size_t>(n));

    // The grid spans the finite coordinates; infinite ones land in the edge cells.
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY, extent = 0.0;
    int32_t boxed = 0, sized = 0;
    for (int32_t i = 0; i < n; ++i) {
        if (kind_[static_cast<size_t>(i)] != Kind::kBoxed) continue;
        ++boxed;
        const Box& b = boxes_[static_cast<size_t>(i)];
        for (const auto& [v, lo, hi] :
             {std::tuple{b.x0, &minX, &maxX}, std::tuple{b.x1, &minX, &maxX},
              std::tuple{b.y0, &minY, &maxY}, std::tuple{b.y1, &minY, &maxY}}) {
            if (!Finite(v)) continue;
            *lo = std::min(*lo, static_cast<double>(v));
            *hi = std::max(*hi, static_cast<double>(v));
        }
        if (Finite(b.x0) && Finite(b.x1) && Finite(b.y0) && Finite(b.y1)) {
            ++sized;
            extent += std::max(static_cast<double>(b.x1) - b.x0, static_cast<double>(b.y1) - b.y0);
        }
    }
    if (boxed == 0) return;
    if (!(minX <= maxX)) minX = maxX = 0.0;  // no finite coordinate on that axis
    if (!(minY <= maxY)) minY = maxY = 0.0;
    // About one box per cell; cells no smaller than needed to keep the grid within its limit.
    double cell = sized > 0 ? extent / sized : 1.0;
    if (!(cell > 0.0)) cell = 1.0;
    const double limit = std::max(kMinCells, kCellsPerBox * boxed);
    double w = 0.0, h = 0.0;
    for (;;) {
        w = std::floor((maxX - minX) / cell) + 1.0;
        h = std::floor((maxY - minY) / cell) + 1.0;
        if (w * h <= limit) break;
        cell *= 2.0;
    }
    gridW_ = static_cast<int32_t>(w);
    gridH_ = static_cast<int32_t>(h);
    originX_ = minX;
    originY_ = minY;
    inverseCell_ = 1.0 / cell;

    // Cell coordinates grow with the coordinate (rounding is monotonic, infinities clamp to the
    // edge), which the one-cell rule of PairInCells relies on.
    auto cellOf = [this](float v, double origin, int32_t size) {
        // Clamped first, so that the truncation is a floor and infinities become edge cells.
        const double c = (static_cast<double>(v) - origin) * inverseCell_;
        return static_cast<int32_t>(std::clamp(c, 0.0, static_cast<double>(size - 1)));
    };
    const size_t cellCount = static_cast<size_t>(gridW_) * static_cast<size_t>(gridH_);
    cellStart_.assign(cellCount + 1, 0);
    for (int32_t i = 0; i < n; ++i) {
        if (kind_[static_cast<size_t>(i)] != Kind::kBoxed) continue;
        const Box& b = boxes_[static_cast<size_t>(i)];
        Cells& c = cells_[static_cast<size_t>(i)];
        c = {cellOf(b.x0, originX_, gridW_), cellOf(b.y0, originY_, gridH_),
             cellOf(b.x1, originX_, gridW_), cellOf(b.y1, originY_, gridH_)};
        for (int32_t y = c.y0; y <= c.y1; ++y) {
            for (int32_t x = c.x0; x <= c.x1; ++x) {
                ++cellStart_[static_cast<size_t>(y * gridW_ + x) + 1];
            }
        }
    }
    for (size_t k = 1; k <= cellCount; ++k) cellStart_[k] += cellStart_[k - 1];
    cellItems_.resize(static_cast<size_t>(cellStart_[cellCount]));
    // Filled in position order, so every cell lists its boxes by ascending position. counts_
    // serves as the fill cursor here.
    counts_.assign(cellStart_.begin(), cellStart_.end() - 1);
    for (int32_t i = 0; i < n; ++i) {
        if (kind_[static_cast<size_t>(i)] != Kind::kBoxed) continue;
        const Cells& c = cells_[static_cast<size_t>(i)];
        for (int32_t y = c.y0; y <= c.y1; ++y) {
            for (int32_t x = c.x0; x <= c.x1; ++x) {
                const size_t cell = static_cast<size_t>(y * gridW_ + x);
                cellItems_[static_cast<size_t>(counts_[cell]++)] = i;
            }
        }
    }
}

// Every pair in order, with the same tests as the grid: what a few dozen bodies need.
void Broadphase::PairAll() {
    const auto n = static_cast<int32_t>(bodies_.size());
    for (int32_t i = 0; i < n; ++i) {
        const Kind ki = kind_[static_cast<size_t>(i)];
        if (ki == Kind::kNever) continue;
        const Box& A = boxes_[static_cast<size_t>(i)];
        for (int32_t j = i + 1; j < n; ++j) {
            const Kind kj = kind_[static_cast<size_t>(j)];
            if (kj == Kind::kNever) continue;
            const Box& B = boxes_[static_cast<size_t>(j)];
            if (ki == Kind::kBoxed && kj == Kind::kBoxed &&
                !(A.x0 < B.x1 && B.x0 < A.x1 && A.y0 < B.y1 && B.y0 < A.y1)) {
                continue;
            }
            pairs_.push_back({i, j});
        }
    }
}

void Broadphase::PairInCells() {
    for (int32_t y = 0; y < gridH_; ++y) {
        for (int32_t x = 0; x < gridW_; ++x) {
            const size_t cell = static_cast<size_t>(y * gridW_ + x);
            const int32_t begin = cellStart_[cell];
            const int32_t end = cellStart_[cell + 1];
            for (int32_t a = begin; a < end; ++a) {
                const int32_t i = cellItems_[static_cast<size_t>(a)];
                const Box& A = boxes_[static_cast<size_t>(i)];
                const Cells& ca = cells_[static_cast<size_t>(i)];
                for (int32_t b = a + 1; b < end; ++b) {
                    const int32_t j = cellItems_[static_cast<size_t>(b)];
                    const Box& B = boxes_[static_cast<size_t>(j)];
                    // collide's test implies that the open intervals meet on both axes.
                    if (!(A.x0 < B.x1 && B.x0 < A.x1 && A.y0 < B.y1 && B.y0 < A.y1)) continue;
                    // Both boxes cover the cell of their lower corners' maximum; the pair is
                    // reported from that cell only.
                    const Cells& cb = cells_[static_cast<size_t>(j)];
                    if (std::max(ca.x0, cb.x0) != x || std::max(ca.y0, cb.y0) != y) continue;
                    pairs_.push_back({i, j});
                }
            }
        }
    }
}

void Broadphase::PairWild() {
    const auto n = static_cast<int32_t>(bodies_.size());
    for (int32_t w : wildList_) {
        for (int32_t p = 0; p < n; ++p) {
            const Kind k = kind_[static_cast<size_t>(p)];
            // Two wild bodies are paired once, from the earlier one.
            if (p == w || k == Kind::kNever || (k == Kind::kWild && p < w)) continue;
            pairs_.push_back({std::min(w, p), std::max(w, p)});
        }
    }
}

// Two stable counting sorts, by inner then by outer position: the all-pairs walk's order.
void Broadphase::SortPairs() {
    const size_t n = bodies_.size();
    scratch_.resize(pairs_.size());
    auto pass = [this, n](const std::vector<Pair>& from, std::vector<Pair>& to, auto key) {
        counts_.assign(n + 1, 0);
        for (const Pair& p : from) ++counts_[static_cast<size_t>(key(p)) + 1];
        for (size_t k = 1; k <= n; ++k) counts_[k] += counts_[k - 1];
        for (const Pair& p : from)
            to[static_cast<size_t>(counts_[static_cast<size_t>(key(p))]++)] = p;
    };
    pass(pairs_, scratch_, [](const Pair& p) { return p.inner; });
    pass(scratch_, pairs_, [](const Pair& p) { return p.outer; });
}
