// The replay delivers an event just before the input query its script line names: a pointer move
// taken in between the mouse step's query of y and its query of x moves the thrown box's x and
// not its y. One replay per process, so one test.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/replay/options.h"
#include "tools/replay/replay.h"

TEST(ReplayQueries, AMoveBetweenTheThrowsTwoCursorQueriesMovesXOnly) {
    // Queries of the release frame: 1 the quit test, 2-4 the steps' timing key, 5 the button,
    // 6 the cursor's y, 7 its x.
    std::istringstream script(
        "1 move 300 200\n"
        "2 down 1\n"
        "5 up 1\n"
        "5@7 move 500 400\n");
    const std::vector<ScriptEvent> events = ParseScript(script, "s");
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("replay-query-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    ReplayOptions options;
    options.frames = 5;
    options.tracePath = (dir / "trace.txt").string();
    ASSERT_EQ(RunReplay(options, events), 0);

    // The thrown box's particles are the last four of frame 5.
    std::ifstream trace(options.tracePath);
    std::vector<std::pair<float, float>> last;
    int32_t frame = 0, index = 0;
    float x = 0, y = 0;
    while (trace >> frame >> index >> x >> y) {
        if (frame == 5) last.emplace_back(x, y);
    }
    std::filesystem::remove_all(dir);
    ASSERT_EQ(last.size(), 188u);
    float cx = 0, cy = 0;
    for (size_t i = 184; i < 188; ++i) {
        cx += last[i].first / 4;
        cy += last[i].second / 4;
    }
    EXPECT_NEAR(cx, 500.0f, 1e-3);
    EXPECT_NEAR(cy, 200.0f, 1e-3);
}
