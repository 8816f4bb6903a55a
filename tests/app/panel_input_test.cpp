// The panel's file field on the offscreen video driver: keys typed into it go to it and to
// nothing else, and what is typed while the panel is closed never reaches it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/panel.h"
#include "app/program.h"
#include "host/backend.h"
#include "host/clock.h"
#include "host/input.h"
#include "tests/support/offscreen_host.h"

namespace {

constexpr int32_t kFieldX = 100, kFieldY = 153;  // the file field, as the panel first opens
constexpr int32_t kLoadX = 238, kLoadY = 153;    // its "Load file" button
constexpr int32_t kSpace = 32, kF5 = 116;

void Click(int32_t x, int32_t y) {
    InjectMouseMove(x, y);
    InjectMouseButton(1, true);
}

struct Session {
    int32_t framesRun = 0;
    std::vector<std::string> loads;   // the file names the panel asked to load
    std::map<int32_t, bool> keyDown;  // whether the polled input saw the key, after the frame
};

// Runs the program's frame loop with the panel open from frame 1; input[f] comes before frame
// f's quit test, and `watch` is the key whose polled state is read after each frame.
Session RunSession(int32_t frames, const std::map<int32_t, std::function<void()>>& input,
                   int32_t watch) {
    DemoState state = StartDemo();
    Controls controls(nullptr);
    Panel panel(controls);
    panel.Start();
    state.controls = &controls;
    Session s;
    controls.SetSceneResolver([&s](const std::string& arg, std::string& error) {
        s.loads.push_back(arg);
        error = "not loaded in this test";
        return std::shared_ptr<const SceneData>();
    });
    ControlCommand open;
    open.kind = CommandKind::kPanel;
    open.value = 1;
    controls.Schedule(open);
    FrameLoopHooks hooks;
    int32_t frame = 0;
    hooks.beforeQuitTest = [&](int32_t f, DemoState&) {
        frame = f;
        if (auto it = input.find(f); it != input.end()) it->second();
        if (f == frames + 1) InjectKey(kQuitKey, true);
    };
    hooks.afterFrame = [&](DemoState&) { s.keyDown[frame] = IsKeyDown(watch) != 0; };
    s.framesRun = RunFrameLoop(state, hooks);
    InjectKey(kQuitKey, false);
    InjectKey(watch, false);
    InjectMouseButton(1, false);
    IsKeyDown(kQuitKey);
    return s;
}

}  // namespace

TEST(PanelFileField, TypedKeysGoToTheFieldAndEscapeCancelsTheEditWithoutQuitting) {
    for (const int32_t key : {kSpace, kF5}) {
        const Session s =
            RunSession(12,
                       {{2, [] { Click(kFieldX, kFieldY); }},
                        {3, [] { InjectMouseButton(1, false); }},
                        {5, [key] { InjectKey(key, true); }},  // the field has the keyboard
                        {6, [key] { InjectKey(key, false); }},
                        {7, [] { InjectKey(kQuitKey, true); }},  // cancels the edit, does not quit
                        {8, [] { InjectKey(kQuitKey, false); }},
                        {9, [key] { InjectKey(key, true); }}},  // no field has the keyboard now
                       key);
        EXPECT_EQ(s.framesRun, 12) << key;
        EXPECT_FALSE(s.keyDown.at(5)) << key;
        EXPECT_TRUE(s.keyDown.at(9)) << key;
    }
    // Once the edit is over, Escape quits again.
    const Session s = RunSession(12,
                                 {{2, [] { Click(kFieldX, kFieldY); }},
                                  {3, [] { InjectMouseButton(1, false); }},
                                  {5, [] { InjectKey(kQuitKey, true); }},
                                  {6, [] { InjectKey(kQuitKey, false); }},
                                  {8, [] { InjectKey(kQuitKey, true); }}},
                                 kSpace);
    EXPECT_EQ(s.framesRun, 7);
}

TEST(PanelFileField, WhatIsTypedWhileThePanelIsClosedNeverReachesIt) {
    const Session s = RunSession(16,
                                 {{2, [] { Click(kFieldX, kFieldY); }},
                                  {3,
                                   [] {
                                       InjectMouseButton(1, false);
                                       InjectText("a");
                                   }},
                                  {4, [] { InjectKey(kPanelKey, true); }},  // closes the panel
                                  {5,
                                   [] {
                                       InjectKey(kPanelKey, false);
                                       InjectText("  ");  // Space pressed twice while closed
                                   }},
                                  {7, [] { InjectKey(kPanelKey, true); }},  // opens it again
                                  {8,
                                   [] {
                                       InjectKey(kPanelKey, false);
                                       InjectText("b");
                                   }},
                                  {10, [] { Click(kLoadX, kLoadY); }},
                                  {11, [] { InjectMouseButton(1, false); }}},
                                 kSpace);
    ASSERT_EQ(s.loads.size(), 1u);
    EXPECT_EQ(s.loads[0], "ab");
}
