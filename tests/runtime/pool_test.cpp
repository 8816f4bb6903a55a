#include "runtime/pool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// A block type aligned only to 4 whose size is no multiple of a pointer's: its free blocks still
// hold the free list's pointers, so every block must be aligned for one (UBSan checks the stores).
TEST(BlockPool, BlocksOfAFourByteAlignedTypeHoldTheFreeListsPointers) {
    BlockPool pool(12, 4);
    std::vector<void*> blocks;
    for (int i = 0; i < 2000; ++i) blocks.push_back(pool.Allocate());  // more than one chunk
    for (void* p : blocks) {
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(p) % alignof(void*), 0u);
    }
    for (void* p : blocks) pool.Release(p);
    // Handed out again newest first, each once.
    for (size_t i = blocks.size(); i-- > 0;) EXPECT_EQ(pool.Allocate(), blocks[i]);
}

}  // namespace
