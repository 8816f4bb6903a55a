#include "runtime/error.h"

#include <gtest/gtest.h>

TEST(RunGuarded, RuntimeErrorIsPrintedOnStandardErrorWithNonZeroStatus) {
    testing::internal::CaptureStderr();
    const int status = RunGuarded([]() -> int { RuntimeThrow("Too many hook ids"); });
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(status, 0);
    EXPECT_EQ(err, "Too many hook ids\n");
}

TEST(RunGuarded, NormalReturnPassesThrough) {
    EXPECT_EQ(RunGuarded([] { return 0; }), 0);
    EXPECT_EQ(RunGuarded([] { return 3; }), 3);
}
