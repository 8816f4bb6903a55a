#include "physics/broadphase.h"

#include <algorithm>
#include <cmath>

#include "physics/body.h"

namespace {

// Grid size limit, in cells per box: a scene spread thin over a large world gets bigger cells.
constexpr double kCellsPerBox = 4.0;
constexpr double kMinCells = 64.0;
constexpr size_t kReservePerBody = 8;
constexpr size_t kReserveExtra = 64;

bool Finite(float v) { return std::isfinite(v); }

}  // namespace

std::span<const Broadphase::Pair> Broadphase::Find(const TList& bodies) {
    Collect(bodies);
    Reserve();
    pairs_.clear();
    Bin();
    PairInCells();
    PairWild();
    SortPairs();
    return pairs_;
}

void Broadphase::Collect(const TList& bodies) {
    bodies_.clear();
    boxes_.clear();
    wild_.clear();
    wildList_.clear();
    for (PhysicsBody* b : bodies.fast<PhysicsBody>()) {
        const auto pos = static_cast<int32_t>(bodies_.size());
        bodies_.push_back(b);
        Box box{0.0f, 0.0f, 0.0f, 0.0f};
        bool wild = true;
        if (b->minxy && b->maxxy) {
            const float ax = b->minxy->x, ay = b->minxy->y;
            const float bx = b->maxxy->x, by = b->maxxy->y;
            if (Finite(ax) && Finite(ay) && Finite(bx) && Finite(by)) {
                // The hull, in case a box was set with its corners swapped: the exact test may
                // still find an overlap then, and the hull contains every point it can find one.
                box = {std::min(ax, bx), std::min(ay, by), std::max(ax, bx), std::max(ay, by)};
                wild = false;
            }
        }
        boxes_.push_back(box);
        wild_.push_back(wild ? 1 : 0);
        if (wild) wildList_.push_back(pos);
    }
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
    cellStart_.reserve(cells + 1);
    counts_.reserve(std::max(cells, n) + 1);
}

void Broadphase::Bin() {
    const auto n = static_cast<int32_t>(bodies_.size());
    const int32_t boxed = n - static_cast<int32_t>(wildList_.size());
    gridW_ = gridH_ = 0;
    cells_.resize(static_cast<size_t>(n));
    if (boxed == 0) return;

    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY, extent = 0.0;
    for (int32_t i = 0; i < n; ++i) {
        if (wild_[static_cast<size_t>(i)]) continue;
        const Box& b = boxes_[static_cast<size_t>(i)];
        minX = std::min(minX, static_cast<double>(b.x0));
        minY = std::min(minY, static_cast<double>(b.y0));
        maxX = std::max(maxX, static_cast<double>(b.x1));
        maxY = std::max(maxY, static_cast<double>(b.y1));
        extent += std::max(static_cast<double>(b.x1) - b.x0, static_cast<double>(b.y1) - b.y0);
    }
    // About one box per cell; cells no smaller than needed to keep the grid within its limit.
    double cell = extent / boxed;
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

    // Cell coordinates grow with the coordinate (rounding is monotonic), which the one-cell rule
    // of PairInCells relies on.
    auto cellOf = [this](float v, double origin, int32_t size) {
        const double c = std::floor((static_cast<double>(v) - origin) * inverseCell_);
        return static_cast<int32_t>(std::clamp(c, 0.0, static_cast<double>(size - 1)));
    };
    const size_t cellCount = static_cast<size_t>(gridW_) * static_cast<size_t>(gridH_);
    cellStart_.assign(cellCount + 1, 0);
    for (int32_t i = 0; i < n; ++i) {
        if (wild_[static_cast<size_t>(i)]) continue;
        const Box& b = boxes_[static_cast<size_t>(i)];
        Cells& c = cells_[static_cast<size_t>(i)];
        c = {cellOf(b.x0, originX_, gridW_), cellOf(b.y0, originY_, gridH_),
             cellOf(b.x1, originX_, gridW_), cellOf(b.y1, originY_, gridH_)};
        for (int32_t y = c.y0; y <= c.y1; ++y) {
            for (int32_t x = c.x0; x <= c.x1; ++x)
                ++cellStart_[static_cast<size_t>(y * gridW_ + x) + 1];
        }
    }
    for (size_t k = 1; k <= cellCount; ++k) cellStart_[k] += cellStart_[k - 1];
    cellItems_.resize(static_cast<size_t>(cellStart_[cellCount]));
    // Filled in position order, so every cell lists its boxes by ascending position. counts_
    // serves as the fill cursor here.
    counts_.assign(cellStart_.begin(), cellStart_.end() - 1);
    for (int32_t i = 0; i < n; ++i) {
        if (wild_[static_cast<size_t>(i)]) continue;
        const Cells& c = cells_[static_cast<size_t>(i)];
        for (int32_t y = c.y0; y <= c.y1; ++y) {
            for (int32_t x = c.x0; x <= c.x1; ++x) {
                cellItems_[static_cast<size_t>(counts_[static_cast<size_t>(y * gridW_ + x)]++)] = i;
            }
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
                    if (A.x0 > B.x1 || B.x0 > A.x1 || A.y0 > B.y1 || B.y0 > A.y1) continue;
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
            // Two wild bodies are paired once, from the earlier one.
            if (p == w || (wild_[static_cast<size_t>(p)] && p < w)) continue;
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
