// The controlled frame and the panel on the offscreen video driver: untouched controls give the
// plain frame bit for bit, the panel draws over the scene and nowhere else, and the commands do
// what they say from the frame they are applied at; and the session recorder names the query
// that took each event in.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/controls.h"
#include "app/look.h"
#include "app/panel.h"
#include "app/program.h"
#include "app/scene_source.h"
#include "app/session_record.h"
#include "app/tools.h"
#include "host/clock.h"
#include "host/graphics.h"
#include "host/hook.h"
#include "host/input.h"
#include "host/sdl/sdl_host.h"
#include "physics/verlet.h"
#include "tests/support/offscreen_host.h"

namespace {

// Keeps the picture of every present.
class Pictures : public Object {
  public:
    static const ClassInfo kClass;
    Pictures() : Object(kClass) {}
    static ObjectRef OnPresent(int32_t, const ObjectRef& data, const ObjectRef& context) {
        auto* self = static_cast<Pictures*>(context.get());
        std::vector<uint8_t> rgba;
        int32_t w = 0, h = 0;
        if (ReadBackBuffer(rgba, w, h)) self->frames.push_back(std::move(rgba));
        return data;
    }
    std::vector<std::vector<uint8_t>> frames;
};
const ClassInfo Pictures::kClass{"Pictures", &Object::kClass};

ControlCommand Cmd(CommandKind kind, int32_t value = 0, float x = 0, float y = 0) {
    ControlCommand c;
    c.kind = kind;
    c.value = value;
    c.x = x;
    c.y = y;
    return c;
}

// One run of the program's frame loop from a fresh demo world.
struct RunResult {
    std::vector<std::vector<float>> positions;  // per frame, x and y of every particle
    std::vector<std::vector<uint8_t>> pictures;
    int32_t bodies = 0;
    int32_t worlds = 0;
    std::vector<float> lastThrow;      // bounce, friction, velocity x and y of the last thrown box
    std::vector<std::string> applied;  // the commands applied, as script text
    std::vector<int32_t> pumps;        // input queries per frame
    int32_t functionPtrs = 0;          // FunctionPtrList's entries at the end
};

void CountPump(void* count) { ++*static_cast<int32_t*>(count); }

// input[f] runs before frame f's quit test; commands[f] are applied at frame f's start. With
// `controlled` false the plain frame runs.
RunResult RunFrames(int32_t frames, const std::map<int32_t, std::function<void()>>& input,
                    const std::map<int32_t, std::vector<ControlCommand>>& commands, bool controlled,
                    bool pictures = false) {
    DemoState state = StartDemo();
    Controls controls(nullptr);
    controls.SetSceneResolver([](const std::string& arg, std::string& error) {
        SceneLoad load = ReadSceneArgument(arg);
        error = load.error;
        return load.scene ? std::make_shared<const SceneData>(std::move(*load.scene)) : nullptr;
    });
    Panel panel(controls);
    panel.Start();
    Gestures gestures(controls);
    gestures.Start();
    if (controlled) state.controls = &controls;
    RunResult run;
    controls.SetAppliedListener(
        [&run](const ControlCommand& c) { run.applied.push_back(CommandText(c)); });
    int32_t pumps = 0;
    SetPumpListener(&CountPump, &pumps);
    auto probe = std::make_shared<Pictures>();
    if (pictures) AttachHook(PresentHook, &Pictures::OnPresent, probe, 0);
    FrameLoopHooks hooks;
    hooks.beforeQuitTest = [&](int32_t frame, DemoState&) {
        if (frame > 1) run.pumps.push_back(std::exchange(pumps, 0));
        if (auto it = input.find(frame); it != input.end()) it->second();
        if (auto it = commands.find(frame); it != commands.end()) {
            for (const ControlCommand& c : it->second) controls.Schedule(c);
        }
        if (frame == frames + 1) InjectKey(kQuitKey, true);
    };
    hooks.afterFrame = [&](DemoState& s) {
        std::vector<float> p;
        for (Verlet* v : s.world->VerletList->each<Verlet>()) {
            p.push_back(v->pos->x);
            p.push_back(v->pos->y);
        }
        run.positions.push_back(std::move(p));
    };
    EXPECT_EQ(RunFrameLoop(state, hooks), frames);
    SetPumpListener(nullptr, nullptr);
    if (pictures) DetachHook(PresentHook, &Pictures::OnPresent, probe);
    run.pictures = std::move(probe->frames);
    for (PhysicsBody* b : state.world->PhysicsBodies->each<PhysicsBody>()) {
        ++run.bodies;
        for (Verlet* v : b->verlets->each<Verlet>()) {
            if (b->ID < 46) break;  // the scene's own
            run.lastThrow = {b->bounce, b->friction, v->pos->x - v->oldpos->x,
                             v->pos->y - v->oldpos->y};
            break;
        }
    }
    for ([[maybe_unused]] PhysicsWorld* w : WorldList->each<PhysicsWorld>()) ++run.worlds;
    run.functionPtrs = FunctionPtrList->Count();
    InjectKey(kQuitKey, false);
    for (int32_t b = 1; b <= 3; ++b) InjectMouseButton(b, false);
    IsKeyDown(kQuitKey);
    return run;
}

// A drag of (+64, -32) from (600, 200), released at frame 5's test.
std::map<int32_t, std::function<void()>> Throw() {
    return {{1, [] { InjectMouseMove(600, 200); }},
            {2, [] { InjectMouseButton(1, true); }},
            {3, [] { InjectMouseMove(664, 168); }},
            {5, [] { InjectMouseButton(1, false); }}};
}

// Whether two pictures agree outside (inside == false) or inside the panel's place.
bool SameIn(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, bool inside) {
    for (int32_t y = 0; y < kWindowHeight; ++y) {
        for (int32_t x = 0; x < kWindowWidth; ++x) {
            const bool inPanel = x < 360 && y < 600;
            if (inPanel != inside) continue;
            const size_t i = (static_cast<size_t>(y) * kWindowWidth + static_cast<size_t>(x)) * 4;
            if (a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2]) return false;
        }
    }
    return true;
}

}  // namespace

TEST(ControlsFrame, UntouchedControlsGiveThePlainFrameBitForBit) {
    const RunResult plain = RunFrames(12, Throw(), {}, false, true);
    const RunResult controlled = RunFrames(12, Throw(), {}, true, true);
    EXPECT_EQ(plain.bodies, 47);
    EXPECT_EQ(controlled.positions, plain.positions);
    ASSERT_EQ(controlled.pictures.size(), plain.pictures.size());
    EXPECT_TRUE(controlled.pictures == plain.pictures);
}

// The panel lies on top of the scene, only where it stands, and once closed the picture is the
// scene's again: the panel's renderer leaves the 2-D driver's GL state as it found it.
TEST(ControlsFrame, PanelDrawsOverTheSceneOnlyWhereItStands) {
    const std::map<int32_t, std::vector<ControlCommand>> panel = {
        {3, {Cmd(CommandKind::kPanel, 1)}}, {7, {Cmd(CommandKind::kPanel, 0)}}};
    const RunResult closed = RunFrames(9, Throw(), {}, true, true);
    const RunResult open = RunFrames(9, Throw(), panel, true, true);
    EXPECT_EQ(open.positions, closed.positions);
    ASSERT_EQ(open.pictures.size(), closed.pictures.size());
    const size_t first = open.pictures.size() - 9;  // the window's opening presents too
    for (size_t f = 1; f <= 9; ++f) {
        const auto& a = open.pictures[first + f - 1];
        const auto& b = closed.pictures[first + f - 1];
        const bool shown = f >= 3 && f <= 6;
        EXPECT_TRUE(SameIn(a, b, false)) << "frame " << f << ": outside the panel";
        EXPECT_EQ(SameIn(a, b, true), !shown) << "frame " << f << ": the panel's place";
    }
}

TEST(ControlsFrame, PauseHoldsTheWorldAndStepRunsOneFrame) {
    const RunResult plain = RunFrames(4, {}, {}, false);
    const RunResult paused = RunFrames(7, {},
                                       {{3, {Cmd(CommandKind::kPause, 1)}},
                                        {6, {Cmd(CommandKind::kStep)}},
                                        {7, {Cmd(CommandKind::kPause, 0)}}},
                                       true);
    EXPECT_EQ(paused.positions[2], plain.positions[1]);  // frames 3..5 held at frame 2's
    EXPECT_EQ(paused.positions[4], plain.positions[1]);
    EXPECT_EQ(paused.positions[5], plain.positions[2]);  // the step: one frame's three steps
    EXPECT_EQ(paused.positions[6], plain.positions[3]);  // running again
}

// A restart builds the current scene afresh: the start scene at first, and after a switch the
// scene switched to. The old world goes, and the program-wide registries do not grow.
TEST(ControlsFrame, RestartBuildsTheCurrentSceneAfreshAndDropsTheOldWorld) {
    const RunResult plain = RunFrames(2, {}, {}, false);
    ControlCommand chain = Cmd(CommandKind::kScene);
    chain.text = "chain";
    const RunResult restarted = RunFrames(
        14, Throw(),
        {{9, {Cmd(CommandKind::kRestart)}}, {11, {chain}}, {13, {Cmd(CommandKind::kRestart)}}},
        true);
    EXPECT_EQ(restarted.positions[8], plain.positions[0]);  // the thrown box went too
    EXPECT_EQ(restarted.positions[9], plain.positions[1]);
    EXPECT_NE(restarted.positions[10].size(), plain.positions[0].size());
    EXPECT_EQ(restarted.positions[12], restarted.positions[10]);  // the chain from its start
    EXPECT_EQ(restarted.positions[13], restarted.positions[11]);
    EXPECT_EQ(restarted.worlds, 1);
    EXPECT_EQ(restarted.functionPtrs, plain.functionPtrs);
}

TEST(ControlsFrame, ThrowSettingsAndCaptureShapeTheThrows) {
    // Captured while the button goes down and up: nothing is thrown.
    const RunResult captured = RunFrames(8, Throw(), {{2, {Cmd(CommandKind::kCapture, 1)}}}, true);
    EXPECT_EQ(captured.bodies, 46);
    // Divisor 8: a drag of (+64, -32) gives (7, -4) (64 / 8 is bounded to 7).
    const RunResult thrown =
        RunFrames(5, Throw(),
                  {{1,
                    {Cmd(CommandKind::kDivisor, 8), Cmd(CommandKind::kBounce, 0, 0.25f),
                     Cmd(CommandKind::kFriction, 0, 1.5f)}}},
                  true);
    ASSERT_EQ(thrown.lastThrow.size(), 4u);
    EXPECT_EQ(thrown.lastThrow[0], 0.25f);
    EXPECT_EQ(thrown.lastThrow[1], 1.5f);
    EXPECT_EQ(thrown.lastThrow[2], 7.0f);  // thrown after the frame's steps: still its own
    EXPECT_EQ(thrown.lastThrow[3], -4.0f);
}

// Right-drag from the template box's top-left corner up by 240 pixels and let go: the box is
// lifted with the cursor, nothing is thrown, and every frame asks for its input exactly as the
// frame without the drag does.
TEST(ToolsFrame, RightDragGrabsABoxAndLiftsItWithoutAskingForMoreInput) {
    std::map<int32_t, std::function<void()>> drag = {{1, [] { InjectMouseMove(101, 531); }},
                                                     {2, [] { InjectMouseButton(2, true); }}};
    for (int32_t f = 3; f <= 42; ++f) drag[f] = [f] { InjectMouseMove(101, 531 - 6 * (f - 2)); };
    drag[44] = [] { InjectMouseButton(2, false); };
    const RunResult still = RunFrames(44, {}, {}, true);
    const RunResult grabbed = RunFrames(44, drag, {}, true);
    EXPECT_EQ(grabbed.pumps, still.pumps);
    EXPECT_EQ(grabbed.bodies, 46);
    // Requested as the events came and applied at the next frames' starts; the moves of one frame
    // come to one drag.
    ASSERT_GE(grabbed.applied.size(), 42u);
    EXPECT_EQ(grabbed.applied.front(), "grab 101 531");
    EXPECT_EQ(grabbed.applied[1], "drag 101 525");
    EXPECT_EQ(grabbed.applied.back(), "release");
    EXPECT_EQ(grabbed.applied.size(), 42u);
    // The template box (particles 4 to 7) hangs from the cursor, 240 pixels up.
    const std::vector<float>& at = grabbed.positions[42];
    EXPECT_NEAR(at[8], 101.0f, 3.0f);
    EXPECT_NEAR(at[9], 291.0f, 6.0f);
    for (size_t i = 8; i < 16; i += 2) EXPECT_LT(at[i + 1], 360.0f);
    // Released: the anchor and the spring are gone again.
    EXPECT_EQ(grabbed.positions.back().size(), still.positions.back().size());
}

// The tool keys choose what the left button does: 5 a box (drawn by dragging), 5 again a ball;
// 3 cuts what a left drag crosses; 1 goes back to throwing.
TEST(ToolsFrame, KeysChooseTheLeftButtonsToolAndItsGesturesBuildAndCut) {
    std::map<int32_t, std::function<void()>> input = {
        {1, [] { InjectKey('5', true); }},
        {2,
         [] {
             InjectKey('5', false);
             InjectMouseMove(300, 100);
             InjectMouseButton(1, true);
         }},
        {3, [] { InjectMouseMove(360, 140); }},
        {4, [] { InjectMouseButton(1, false); }},
        {5, [] { InjectKey('3', true); }},
        {6,
         [] {
             InjectKey('3', false);
             InjectMouseMove(60, 555);
             InjectMouseButton(1, true);
         }},
        {7, [] { InjectMouseMove(200, 555); }},
        {8, [] { InjectMouseButton(1, false); }},
        {9, [] { InjectKey('1', true); }},
    };
    const RunResult run = RunFrames(10, input, {}, true);
    const std::vector<std::string> want = {"tool box", "box 300 100 360 140", "tool cut",
                                           "cut 60 555 200 555", "tool throw"};
    EXPECT_EQ(run.applied, want);
    EXPECT_EQ(run.bodies, 47) << "the box drawn, and nothing thrown";

    Tool chosen = Tool::kThrow;
    ASSERT_TRUE(ToolForKey('5', Tool::kBox, chosen));
    EXPECT_EQ(chosen, Tool::kBall);
    ASSERT_TRUE(ToolForKey('5', Tool::kBall, chosen));
    EXPECT_EQ(chosen, Tool::kBox);
    ASSERT_TRUE(ToolForKey('6', Tool::kGrab, chosen));
    EXPECT_EQ(chosen, Tool::kRope);
    EXPECT_FALSE(ToolForKey('8', Tool::kThrow, chosen));
}

// What the program says on the canvas: nothing in an untouched run; the keys on the right
// while help is on; PAUSED at the top centre while paused.
TEST(ToolsFrame, NoticesAreDrawnOnlyWhileThereIsSomethingToSay) {
    auto lit = [](const std::vector<uint8_t>& rgba, int32_t x0, int32_t y0, int32_t x1,
                  int32_t y1) {
        int32_t n = 0;
        for (int32_t y = y0; y < y1; ++y) {
            for (int32_t x = x0; x < x1; ++x) {
                const size_t i =
                    (static_cast<size_t>(y) * kWindowWidth + static_cast<size_t>(x)) * 4;
                if (rgba[i] != 0 || rgba[i + 1] != 0 || rgba[i + 2] != 0) ++n;
            }
        }
        return n;
    };
    const RunResult run =
        RunFrames(5, {},
                  {{2, {Cmd(CommandKind::kHelp, 1)}},
                   {3, {Cmd(CommandKind::kHelp, 0), Cmd(CommandKind::kPause, 1)}}},
                  true, true);
    ASSERT_GE(run.pictures.size(), 5u);
    const size_t first = run.pictures.size() - 5;
    const auto& plain = run.pictures[first];
    const auto& help = run.pictures[first + 1];
    const auto& paused = run.pictures[first + 2];
    // The pyramid's top box stands at x 380..430 from y 34: the top centre is clear above it.
    EXPECT_EQ(lit(plain, 500, 50, 800, 80), 0);
    EXPECT_EQ(lit(plain, 360, 0, 440, 28), 0);
    EXPECT_GT(lit(help, 500, 50, 800, 80), 50);
    EXPECT_EQ(lit(help, 360, 0, 440, 28), 0);
    EXPECT_EQ(lit(paused, 500, 50, 800, 80), 0);
    EXPECT_GT(lit(paused, 360, 0, 440, 28), 50);
}

// L turns the clear look on and off again. It is a command like the others, changes neither the
// physics nor the input the frame asks for, fills every box of the pyramid in a colour of its own
// on a background that is not the classic black, and once the classic look is back, the picture
// is the classic one to the bit.
TEST(LooksFrame, ClearLookFillsBodiesAndLeavesPhysicsInputAndTheClassicPictureAlone) {
    auto key = [](int32_t frame, bool down) {
        return std::make_pair(frame, std::function<void()>([down] { InjectKey(kLookKey, down); }));
    };
    std::map<int32_t, std::function<void()>> input = Throw();
    std::map<int32_t, std::function<void()>> toggled = input;
    for (const auto& [frame, down] : {std::pair{6, true}, {7, false}, {9, true}, {10, false}}) {
        const auto k = key(frame, down);
        const auto before = toggled.count(frame) != 0 ? toggled[frame] : std::function<void()>{};
        toggled[frame] = [before, k] {
            if (before) before();
            k.second();
        };
    }
    const RunResult classic = RunFrames(11, input, {}, true, true);
    const RunResult clear = RunFrames(11, toggled, {}, true, true);
    EXPECT_EQ(clear.applied, (std::vector<std::string>{"look clear", "look classic"}));
    EXPECT_EQ(clear.positions, classic.positions);
    EXPECT_EQ(clear.pumps, classic.pumps);
    ASSERT_EQ(clear.pictures.size(), classic.pictures.size());
    const size_t first = clear.pictures.size() - 11;
    auto at = [](const std::vector<uint8_t>& rgba, int32_t x, int32_t y) {
        const size_t i = (static_cast<size_t>(y) * kWindowWidth + static_cast<size_t>(x)) * 4;
        return std::array<uint8_t, 3>{rgba[i], rgba[i + 1], rgba[i + 2]};
    };
    // Frames 6 to 8 are clear (the key is taken in by frame 6's first query). Inside each of the
    // pyramid's bottom row of boxes (left 100 + 70 k, top 530, side 50), away from its braces:
    // black in the classic look; in the clear one, one colour of a body, neither the background nor
    // grey, and a different one for a neighbour.
    const auto& lines = classic.pictures[first + 7];
    const auto& filled = clear.pictures[first + 7];
    auto spread = [](const std::array<uint8_t, 3>& c) {
        return std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]});
    };
    const std::array<uint8_t, 3> background = at(filled, 400, 10);
    EXPECT_NE(background, (std::array<uint8_t, 3>{0, 0, 0}));
    std::array<uint8_t, 3> last{};
    for (int32_t k = 0; k < 9; ++k) {
        const int32_t x = 100 + 70 * k + 25, y = 540;
        EXPECT_EQ(at(lines, x, y), (std::array<uint8_t, 3>{0, 0, 0})) << "box " << k;
        const std::array<uint8_t, 3> fill = at(filled, x, y);
        EXPECT_NE(fill, background) << "box " << k;
        EXPECT_GT(spread(fill), 40) << "box " << k << " is grey";
        EXPECT_EQ(at(filled, x - 8, y + 2), fill) << "box " << k << ": one colour inside";
        EXPECT_NE(fill, last) << "box " << k << " has its left neighbour's colour";
        last = fill;
    }
    // The floor cannot move: grey.
    const std::array<uint8_t, 3> floor = at(filled, 400, 595);
    EXPECT_LT(spread(floor), 20);
    EXPECT_NE(floor, background);
    // Classic again from frame 9 on: the same picture as a run that never left it.
    for (size_t f = 9; f <= 11; ++f) {
        EXPECT_TRUE(clear.pictures[first + f - 1] == classic.pictures[first + f - 1]) << f;
    }
    EXPECT_FALSE(clear.pictures[first + 7] == classic.pictures[first + 7]);
}

// The recorder names each event's query the way the replay counts them: a frame's quit test is
// its query 1 (written `F kind`), the K-th query `F@K`; start-up's queries are always `0@K`.
// Commands carry no query: they apply at the frame's start.
TEST(SessionRecording, EventsNameTheQueryThatTookThemIn) {
    DemoState state = StartDemo();
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    {
        SessionRecorder recorder(out, "note");
        recorder.Start();
        InjectMouseMove(10, 20);
        IsKeyDown(kQuitKey);
        InjectMouseMove(11, 21);
        IsKeyDown(kQuitKey);
        recorder.BeginFrame(1);
        InjectMouseMove(30, 40);
        IsKeyDown(kQuitKey);
        InjectMouseButton(1, true);
        IsKeyDown(kTimingKey);
        MouseCursorX();
        InjectKey(kTimingKey, true);
        MouseCursorY();
        recorder.BeginFrame(2);
        recorder.Command(Cmd(CommandKind::kPause, 1));
        IsKeyDown(kQuitKey);
        InjectMouseButton(1, false);
        InjectKey(kTimingKey, false);
        IsKeyDown(kQuitKey);
        recorder.Stop();
        ASSERT_TRUE(recorder.Finish(2));
    }
    std::rewind(out);
    std::string text(4096, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    EXPECT_EQ(text,
              "# note\n"
              "0@1 move 10 20\n"
              "0@2 move 11 21\n"
              "1 move 30 40\n"
              "1@2 down 1\n"
              "1@4 keydown 32\n"
              "2 pause 1\n"
              "2@2 up 1\n"
              "2@2 keyup 32\n"
              "# the session ran 2 frames\n");
}
