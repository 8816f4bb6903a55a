// The controls' commands as script text, the replay script's query numbers and commands, and
// the sandbox's command line: everything a recorded session passes through on its way to a
// replay, checked without a window.

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "app/command.h"
#include "app/command_line.h"
#include "tests/support/error_text.h"
#include "tools/replay/options.h"

namespace {

std::optional<ControlCommand> ParseText(const std::string& text, std::string& error) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    const size_t space = text.find(' ');
    return ParseCommand(words, space == std::string::npos ? "" : text.substr(space + 1), error);
}

uint32_t Bits(float f) {
    uint32_t b = 0;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

std::vector<ScriptEvent> Parse(const std::string& text) { return ParseScriptText(text); }

std::string SandboxError(const std::vector<std::string>& args) {
    return ErrorText<CommandLineError>([&] { ParseSandboxCommandLine(args); });
}

}  // namespace

// Whatever the panel applies must come back from its script line as the very same command,
// floats to the bit, or a replay would drift from the session it repeats.
TEST(ControlCommands, EveryKindReadsBackFromItsTextBitForBit) {
    std::vector<ControlCommand> commands;
    auto add = [&](CommandKind kind, int32_t value = 0, float x = 0, float y = 0) {
        ControlCommand c;
        c.kind = kind;
        c.value = value;
        c.x = x;
        c.y = y;
        commands.push_back(c);
        return &commands.back();
    };
    add(CommandKind::kPanel, 1);
    add(CommandKind::kPause, 0);
    add(CommandKind::kStep);
    add(CommandKind::kSteps, kMaxStepsPerFrame);
    add(CommandKind::kRestart);
    add(CommandKind::kGravity, 0, 0.1f, -0.0f);
    add(CommandKind::kGravity, 0, 1e-7f, 0.070000004f);
    add(CommandKind::kIterations, 0);
    add(CommandKind::kBounce, 0, 1.0f / 3.0f);
    add(CommandKind::kFriction, 0, 0.49999997f);
    add(CommandKind::kDivisor, 1);
    add(CommandKind::kCapture, 1);
    add(CommandKind::kDraw, 1)->layer = DrawLayer::kIds;
    add(CommandKind::kScene)->text = "/tmp/my scenes/bridge v2.json";
    add(CommandKind::kTool, static_cast<int32_t>(Tool::kErase));
    add(CommandKind::kStiffness, 0, 0.30000001f);
    add(CommandKind::kRelease);
    add(CommandKind::kGrab)->p = {-5, 100000, 0, 0};
    add(CommandKind::kBall)->p = {400, 300, 25, 0};
    add(CommandKind::kCut)->p = {1, -2, 3, -100000};
    add(CommandKind::kMode, 1);
    add(CommandKind::kMode, 0);
    add(CommandKind::kLook, static_cast<int32_t>(Look::kClear));
    add(CommandKind::kLook, static_cast<int32_t>(Look::kClassic));
    add(CommandKind::kDamping, 0, 0.050000001f);
    add(CommandKind::kDamping, 0, 0.0f);
    for (const ControlCommand& c : commands) {
        const std::string text = CommandText(c);
        std::string error;
        const std::optional<ControlCommand> back = ParseText(text, error);
        ASSERT_TRUE(back) << text << ": " << error;
        EXPECT_EQ(back->kind, c.kind) << text;
        EXPECT_EQ(back->value, c.value) << text;
        EXPECT_EQ(back->layer, c.layer) << text;
        EXPECT_EQ(Bits(back->x), Bits(c.x)) << text;
        EXPECT_EQ(Bits(back->y), Bits(c.y)) << text;
        EXPECT_EQ(back->text, c.text) << text;
        EXPECT_EQ(back->p, c.p) << text;
    }
}

TEST(ControlCommands, ValuesOutsideWhatTheProgramCanTakeAreRefused) {
    for (const char* bad : {"steps 0",       "steps 21",     "iterations -1",
                            "divisor 0",     "pause 2",      "panel",
                            "step 1",        "gravity 0.1",  "gravity nan 0",
                            "gravity 0 inf", "gravity 11 0", "bounce 1e40",
                            "friction 0x",   "draw lines 1", "draw ids",
                            "capture yes",   "scene",        "tool hammer",
                            "tool",          "stiffness 0",  "stiffness 1.5",
                            "grab 1",        "grab 1 2 3",   "drag 1.5 2",
                            "cut 1 2 3",     "ball 1 2 -3",  "box 0 0 100001 5",
                            "release 1",     "pin x y",      "mode",
                            "mode stiff",    "mode 1",       "look",
                            "look 1",        "look clear 1", "damping -0.1",
                            "damping 1.5",   "damping"}) {
        std::string error;
        EXPECT_FALSE(ParseText(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(ReplayScriptQueries, EventsSortByFrameThenQueryKeepingFileOrderWithinOne) {
    const std::vector<ScriptEvent> e = Parse(
        "3@4 keydown 32\n"
        "3 move 5 6\n"
        "0@2 move 1 1\n"
        "3@2 down 1\n"
        "3 gravity 0 0.5\n"
        "3@2 up 1\n"
        "2 focus 0\n");
    ASSERT_EQ(e.size(), 7u);
    const int32_t lines[] = {3, 7, 2, 5, 4, 6, 1};
    for (size_t i = 0; i < e.size(); ++i) EXPECT_EQ(e[i].line, lines[i]) << i;
    EXPECT_EQ(e[0].frame, 0);
    EXPECT_EQ(e[0].pump, 2);
    EXPECT_EQ(e[1].kind, ScriptKind::kFocus);
    EXPECT_EQ(e[1].a, 0);
    EXPECT_EQ(e[3].kind, ScriptKind::kCommand);
    EXPECT_EQ(e[3].command.kind, CommandKind::kGravity);
    EXPECT_EQ(e[6].pump, 4);
}

// A scene's name is the rest of the line, spaces and all, up to a comment.
TEST(ReplayScriptQueries, ASceneNameIsTheRestOfTheLine) {
    const std::vector<ScriptEvent> e = Parse("5 scene  my scene.json  # the second\n");
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].command.text, "my scene.json");
}

// Escape taken in after a frame's quit test is first seen by the next frame's.
TEST(ReplayScriptQueries, EscapeTakenInLateInAFrameEndsTheRunAtTheNextTest) {
    EXPECT_EQ(FindScriptQuit(Parse("5@3 keydown 27\n"), 100).frame, 6);
    EXPECT_EQ(FindScriptQuit(Parse("5 keydown 27\n"), 100).frame, 5);
    EXPECT_EQ(FindScriptQuit(Parse("5@3 keydown 27\n6 keyup 27\n"), 100).frame, 0);
    EXPECT_EQ(FindScriptQuit(Parse("5@3 keydown 27\n"), 5).frame, 0);  // after the last frame
    EXPECT_EQ(FindScriptQuit(Parse("0@4 keydown 27\n"), 5).frame, 1);
}

TEST(SandboxCommandLine, OptionsAndOneLineRefusals) {
    const SandboxCommandLine c = ParseSandboxCommandLine(
        {"--record", "s.txt", "--scene=chain", "--trace", "t.txt", "--look=clear"});
    EXPECT_EQ(c.look, Look::kClear);
    EXPECT_EQ(ParseSandboxCommandLine({}).look, Look::kClassic);
    EXPECT_EQ(SandboxError({"--look", "fancy"}),
              "--look: 'fancy' is not a look (classic or clear)");
    EXPECT_EQ(c.recordPath, "s.txt");
    EXPECT_EQ(c.tracePath, "t.txt");
    EXPECT_EQ(c.scene, "chain");
    EXPECT_TRUE(ParseSandboxCommandLine({"--scene", "x", "--help"}).help);
    EXPECT_EQ(SandboxError({"--frames", "3"}), "unknown option '--frames'");
    EXPECT_EQ(SandboxError({"--record"}), "--record needs a file name");
    EXPECT_EQ(SandboxError({"--trace", ""}), "--trace needs a file name");
    EXPECT_EQ(SandboxError({"--trace", "a", "--trace", "b"}), "--trace given twice");
    EXPECT_EQ(SandboxError({"--record", "x/../s.txt", "--trace", "s.txt"}),
              "--record 'x/../s.txt' and --trace 's.txt' name the same file");
    EXPECT_EQ(SandboxError({"--scene", "/dev/null", "--trace", "/dev/../dev/null"}),
              "--scene '/dev/null' and --trace '/dev/../dev/null' name the same file");
}
