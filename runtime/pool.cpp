#include "runtime/pool.h"

namespace {
// Big enough to keep a few hundred objects together, small enough that a pool's unused tail
// stays a small part of the heap.
constexpr size_t kChunkBytes = 16384;
}  // namespace

void BlockPool::Grow() {
    const size_t bytes = std::max(kChunkBytes / size_ * size_, size_);
    next_ = static_cast<char*>(::operator new(bytes, std::align_val_t(align_)));
    end_ = next_ + bytes;
}
