// Hook ids are process-wide, so running out of them gets a binary of its own.
#include <gtest/gtest.h>

#include "host/hook.h"
#include "runtime/error.h"

TEST(HookIds, TwoHundredFiftySixIdsThenTooManyHookIds) {
    for (int32_t expected = 0; expected < 256; ++expected) ASSERT_EQ(NewHookId(), expected);
    try {
        NewHookId();
        FAIL() << "the 257th id was handed out";
    } catch (const RuntimeError& e) {
        EXPECT_STREQ(e.what(), "Too many hook ids");
    }
    EXPECT_THROW(NewHookId(), RuntimeError);  // and stays exhausted
}
