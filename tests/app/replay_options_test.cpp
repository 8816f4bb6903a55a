#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "app/message.h"
#include "app/output_file.h"
#include "tests/support/error_text.h"
#include "tools/replay/options.h"
#include "tools/replay/output_check.h"
#include "tools/replay/png_writer.h"

namespace fs = std::filesystem;

namespace {

std::vector<ScriptEvent> Parse(const std::string& text) { return ParseScriptText(text); }

std::string ParseError(const std::string& text) {
    return ErrorText<UsageError>([&] { Parse(text); });
}

std::string CommandLineError(const std::vector<std::string>& args) {
    return ErrorText<UsageError>([&] { ParseCommandLine(args); });
}

TEST(ReplayCommandLine, ReadsEveryOption) {
    const ReplayOptions o =
        ParseCommandLine({"--input=in.txt", "--frames", "+120", "--trace", "t.txt", "--png",
                          "p.png", "--png-every=10", "--png-dir", "d=e"});
    EXPECT_EQ(o.frames, 120);
    EXPECT_EQ(o.inputPath, "in.txt");
    EXPECT_EQ(o.tracePath, "t.txt");
    EXPECT_EQ(o.pngPath, "p.png");
    EXPECT_EQ(o.pngEvery, 10);
    EXPECT_EQ(o.pngDir, "d=e");  // only the option's own '=' splits
    EXPECT_EQ(ParseCommandLine({"--frames=0"}).frames, 0);
}

TEST(ReplayCommandLine, RejectsWhatItCannotRun) {
    EXPECT_NE(CommandLineError({}).find("--frames"), std::string::npos);
    EXPECT_NE(CommandLineError({"--frames", "5", "--fast"}).find("unknown option '--fast'"),
              std::string::npos);
    EXPECT_NE(CommandLineError({"--frames", "1O"}).find("not a whole number"), std::string::npos);
    // A sign after the plus made "+-5" read as -5.
    EXPECT_NE(CommandLineError({"--frames", "+-5"}).find("not a whole number"), std::string::npos);
    EXPECT_NE(CommandLineError({"--frames", "99999999999"}).find("out of range"),
              std::string::npos);
    EXPECT_NE(CommandLineError({"--frames", "-1"}).find("negative"), std::string::npos);
    EXPECT_NE(CommandLineError({"--frames"}).find("needs a value"), std::string::npos);
    EXPECT_NE(CommandLineError({"--frames", "3", "--frames", "4"}).find("twice"),
              std::string::npos);
    EXPECT_NE(CommandLineError({"--frames", "3", "--png-every", "2"}).find("go together"),
              std::string::npos);
    EXPECT_NE(CommandLineError({"--frames", "3", "--png-every", "0", "--png-dir", "d"})
                  .find("at least 1"),
              std::string::npos);
    EXPECT_NE(CommandLineError({"--frames", "3", "--trace", ""}).find("file name"),
              std::string::npos);
    // The same faults written with '=' read the same.
    EXPECT_EQ(CommandLineError({"--frames=3", "--trace="}), "--trace needs a file name");
    EXPECT_EQ(CommandLineError({"--frames="}), "--frames: '' is not a whole number");
    EXPECT_EQ(CommandLineError({"--frames=3", "--frames", "4"}), "--frames given twice");
    EXPECT_EQ(CommandLineError({"--frames=3", "--fast=1"}), "unknown option '--fast'");
    EXPECT_EQ(CommandLineError({"--frames=3", "-f=1"}), "unknown option '-f=1'");
}

TEST(ReplayScript, ReadsEveryKindSkippingCommentsAndBlankLines) {
    const auto e = Parse(
        "# a throw\n"
        "\n"
        "1 move -5 900   # outside the window\n"
        "  2 down 1\n"
        "2 wheel -3\n"
        "3 keydown 32\n"
        "4 keyup 32\n"
        "5 up 3\n");
    ASSERT_EQ(e.size(), 6u);
    EXPECT_EQ(e[0].frame, 1);
    EXPECT_EQ(e[0].kind, ScriptKind::kMove);
    EXPECT_EQ(e[0].a, -5);
    EXPECT_EQ(e[0].b, 900);
    EXPECT_EQ(e[1].kind, ScriptKind::kDown);
    EXPECT_EQ(e[1].a, 1);
    EXPECT_EQ(e[2].kind, ScriptKind::kWheel);
    EXPECT_EQ(e[2].a, -3);
    EXPECT_EQ(e[3].kind, ScriptKind::kKeyDown);
    EXPECT_EQ(e[4].kind, ScriptKind::kKeyUp);
    EXPECT_EQ(e[5].kind, ScriptKind::kUp);
    EXPECT_EQ(e[5].a, 3);
}

TEST(ReplayScript, OrdersByFrameKeepingFileOrderWithinAFrame) {
    const auto e = Parse("3 down 1\n1 move 1 1\n3 up 1\n1 move 2 2\n2 wheel 1\n");
    ASSERT_EQ(e.size(), 5u);
    EXPECT_EQ(e[0].b, 1);
    EXPECT_EQ(e[1].b, 2);
    EXPECT_EQ(e[2].kind, ScriptKind::kWheel);
    EXPECT_EQ(e[3].kind, ScriptKind::kDown);
    EXPECT_EQ(e[4].kind, ScriptKind::kUp);
}

// Every malformed line, query or command is refused with its line named.
TEST(ReplayScript, NamesTheLineOfAMalformedEvent) {
    const std::pair<const char*, const char*> cases[] = {
        {"1 move 1 1\n\n0 down 1\n", "s:3: frame number 0 is below 1"},
        {"-2 down 1\n", "s:1: frame number -2 is below 1"},
        {"x down 1\n", "s:1: frame number: 'x' is not a whole number"},
        {"1 jump 1\n", "s:1: unknown event kind 'jump'"},
        {"1\n", "s:1: an event kind must follow the frame number"},
        {"1 move 3\n", "s:1: 'move' takes 2 values"},
        {"1 down 1 2\n", "s:1: 'down' takes 1 value"},
        {"1 move 3 4.5\n", "s:1: y: '4.5' is not a whole number"},
        {"1 down 4\n", "s:1: button 4 is not 1 (left), 2 (right) or 3 (middle)"},
        {"1 keydown 256\n", "s:1: key code 256 is not one any key has (see --help)"},
        {"1 keyup 0\n", "s:1: key code 0 is not one any key has (see --help)"},
        // The frame after the last one a line names must be a frame number too.
        {"2147483647@2 keydown 27\n", "s:1: frame number 2147483647 is above 2147483646"},
        {"2147483647 down 1\n", "s:1: frame number 2147483647 is above 2147483646"},
        // Queries and commands.
        {"1 move 1 1\n-1@2 move 1 1\n", "s:2: frame number -1 is below 0"},
        {"4@0 down 1\n", "s:1: query number 0 is below 1"},
        {"4@x down 1\n", "s:1: query number: 'x' is not a whole number"},
        {"4@2 pause 1\n",
         "s:1: 'pause' is a command, applied at the frame's start: it takes no @query"},
        {"2 steps 99\n", "s:1: 'steps' takes a whole number in 1..20"},
        {"2 focus 3\n", "s:1: focus 3 is not 0 (lost) or 1"},
    };
    for (const auto& [text, message] : cases) EXPECT_EQ(ParseError(text), message) << text;
    const auto last = Parse("2147483646@2 keydown 27\n");
    EXPECT_EQ(FindScriptQuit(last, INT32_MAX).frame, INT32_MAX);
    EXPECT_EQ(ScriptWarnings(last, 10, "s").size(), 1u);  // after the last frame
}

// The codes the host's key map gives some key: 140 of 1..255 (counted by injecting each code
// into the running host). Any other code ended a run after its window had opened.
TEST(ReplayScript, AcceptsOnlyKeyCodesSomeKeyHas) {
    int accepted = 0;
    for (int32_t k = 1; k <= 255; ++k) accepted += IsInjectableKey(k) ? 1 : 0;
    EXPECT_EQ(accepted, 140);
    for (int32_t k : {8, 27, 32, 48, 65, 90, 112, 135, 160, 165, 186, 226}) {
        EXPECT_TRUE(IsInjectableKey(k)) << k;
    }
    for (int32_t k : {0, 1, 7, 10, 58, 64, 94, 136, 159, 184, 225, 255, 256}) {
        EXPECT_FALSE(IsInjectableKey(k)) << k;
    }
    EXPECT_EQ(ParseError("1 keydown 65\n2 keyup 7\n"),
              "s:2: key code 7 is not one any key has (see --help)");
}

TEST(ReplayScript, RefusesCursorPositionsWhoseArithmeticCouldOverflow) {
    const auto e = Parse("1 move 1000000 -1000000\n2 move -1000000 1000000\n");
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].a, 1000000);
    EXPECT_EQ(e[1].b, 1000000);
    EXPECT_EQ(ParseError("1 move 0 0\n1 move 2147483647 100\n"),
              "s:2: x 2147483647 is outside -1000000..1000000");
    EXPECT_EQ(ParseError("1 move 5 -1000001\n"), "s:1: y -1000001 is outside -1000000..1000000");
}

TEST(ReplayScript, RefusesMoreEventsInOneFrameThanTheQueueTakes) {
    std::string full;
    for (int i = 0; i < kMaxEventsPerFrame; ++i) full += "7 wheel 1\n";
    EXPECT_EQ(Parse(full + "8 wheel 1\n").size(), static_cast<size_t>(kMaxEventsPerFrame) + 1);
    // The line that overflows frame 7 comes after one of frame 8.
    EXPECT_EQ(ParseError("8 wheel 1\n" + full + "7 up 1\n"),
              "s:60002: frame 7 has more than 60000 events, more than one frame can take");
}

TEST(ReplayScript, WarnsOfEventsAfterTheRunAndFramesOutOfOrder) {
    const auto e = Parse("5 down 1\n3 up 1\n12 move 1 1\n2 wheel 1\n11 wheel 2\n");
    EXPECT_EQ(ScriptWarnings(e, 10, "s"),
              (std::vector<std::string>{
                  "s:3: frame 12 is after the last frame, 10: 2 events not delivered",
                  "s:2: frame 3 comes after frame 5 in the file; 3 lines run in frame order, "
                  "not file order"}));
    EXPECT_TRUE(ScriptWarnings(Parse("1 down 1\n1 up 1\n10 wheel 1\n"), 10, "s").empty());
}

TEST(ReplayScript, FindsWhereHeldEscapeEndsTheRun) {
    // Pressed and released within one frame, the key is up again at the quit test.
    EXPECT_EQ(FindScriptQuit(Parse("3 keydown 27\n3 keyup 27\n"), 10).frame, 0);
    const auto held = Parse("2 keydown 27\n2 keyup 27\n6 keydown 27\n# held\n");
    EXPECT_EQ(FindScriptQuit(held, 10).frame, 6);
    EXPECT_EQ(FindScriptQuit(held, 10).line, 3);
    EXPECT_EQ(FindScriptQuit(held, 5).frame, 0);  // after the run's last frame
    EXPECT_EQ(ScriptWarnings(held, 10, "s"),
              std::vector<std::string>{"s:3: Escape is held from frame 6: the run ends after "
                                       "frame 5 of 10"});
}

TEST(ReplayMessages, QuoteUserTextOnOneShortReadableLine) {
    EXPECT_EQ(Printable("a\tb\nc\x1b[0m\x7f"), "a\\x09b\\x0Ac\\x1B[0m\\x7F");
    EXPECT_EQ(Printable("caf\xc3\xa9 \xc2\x85 \xff \xc3"), "caf\xc3\xa9 \\xC2\\x85 \\xFF \\xC3");
    EXPECT_EQ(Shown(std::string(60, 'x')), std::string(60, 'x'));
    EXPECT_EQ(Shown(std::string(29, 'h') + "middle" + std::string(28, 't')),
              std::string(29, 'h') + "..." + std::string(28, 't'));
    // A two-byte character across a cut is left out whole.
    EXPECT_EQ(Shown(std::string(28, 'h') + "\xc3\xa9" + std::string(40, 'm') + "\xc3\xa9" +
                    std::string(27, 't')),
              std::string(28, 'h') + "..." + std::string(27, 't'));

    const std::string junk = "\x1b]0;title\x07" + std::string(200, 'A');
    const std::string script = ParseError("1 " + junk + " 1\n");
    EXPECT_EQ(script, "s:1: unknown event kind '\\x1B]0;title\\x07" + std::string(19, 'A') + "..." +
                          std::string(28, 'A') + "'");
    const std::string option = CommandLineError({"--frames", "1", "--\n" + std::string(100, 'z')});
    EXPECT_EQ(option.find('\n'), std::string::npos);
    EXPECT_LT(option.size(), 100u);
}

TEST(ReplayScript, MissingFileIsAUsageError) {
    EXPECT_THROW(LoadScript("/nonexistent/script.txt"), UsageError);
}

// An endless input (/dev/zero) is refused once the limit is read, not when memory runs out.
TEST(ReplayScript, RefusesAScriptPastItsSizeLimit) {
    try {
        LoadScript("/dev/zero");
        FAIL() << "/dev/zero was read as a script";
    } catch (const UsageError& e) {
        EXPECT_STREQ(e.what(), "/dev/zero: the script is larger than the limit of 16777216 bytes");
    }
    const std::string comment = "#" + std::string(kMaxScriptBytes - 20, 'x') + "\n";
    EXPECT_EQ(Parse(comment + "1 down 1\n").size(), 1u);
}

class ReplayOutput : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("replay_output_test_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    size_t FilesIn() const {
        return static_cast<size_t>(
            std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }
    fs::path dir;
};

TEST_F(ReplayOutput, CommittedFileAppearsWholeAndUncommittedLeavesNothing) {
    const std::string path = (dir / "trace.txt").string();
    {
        OutputFile f(path);
        std::fputs("1 0 10 590\n", f.stream());
        EXPECT_FALSE(fs::exists(path));  // still under its temporary name
    }
    EXPECT_EQ(FilesIn(), 0u);
    {
        OutputFile f(path);
        std::fputs("1 0 10 590\n", f.stream());
        f.Commit();
    }
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "1 0 10 590");
    EXPECT_EQ(FilesIn(), 1u);
    // Names up to the longest the directory takes: the temporary name is cut to fit.
    for (const size_t n : {244u, 245u, 255u}) {
        OutputFile f((dir / std::string(n, 'n')).string());
        f.Commit();
        EXPECT_TRUE(fs::exists(dir / std::string(n, 'n'))) << n;
    }
    EXPECT_EQ(FilesIn(), 4u);
}

TEST_F(ReplayOutput, UnwritableDirectoryFailsAtOnce) {
    EXPECT_THROW(OutputFile((dir / "missing" / "t.txt").string()), std::runtime_error);
    EXPECT_EQ(FilesIn(), 0u);
}

TEST_F(ReplayOutput, PngRoundTripsEveryPixel) {
    const int32_t w = 7, h = 3;
    std::vector<uint8_t> rgba(static_cast<size_t>(w * h * 4));
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 37 + 11);
    const std::string path = (dir / "p.png").string();
    WritePng(path, rgba, w, h);

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    EXPECT_EQ(image.width, 7u);
    EXPECT_EQ(image.height, 3u);
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    for (size_t p = 0; p < static_cast<size_t>(w * h); ++p) {
        for (size_t c = 0; c < 3; ++c) ASSERT_EQ(rgb[p * 3 + c], rgba[p * 4 + c]) << p;
    }
    EXPECT_EQ(FilesIn(), 1u);
}

std::string OutputsError(const ReplayOptions& o) {
    try {
        CheckOutputs(o);
    } catch (const UsageError& e) {
        return e.what();
    }
    return "no error";
}

TEST_F(ReplayOutput, RefusesTwoOptionsNamingOneFile) {
    const std::string in = (dir / "in.txt").string();
    std::ofstream(in) << "1 down 1\n";
    fs::create_directory(dir / "sub");
    const std::string inAgain = (dir / "sub" / ".." / "in.txt").string();
    ReplayOptions o;
    o.frames = 20;
    o.inputPath = in;
    o.tracePath = inAgain;
    EXPECT_NE(OutputsError(o).find("in.txt' and --trace '"), std::string::npos) << OutputsError(o);
    o.inputPath.clear();
    o.tracePath = (dir / "t.txt").string();
    o.pngPath = (dir / "sub" / ".." / "t.txt").string();
    EXPECT_NE(OutputsError(o).find("name the same file"), std::string::npos);
    // Two links to one file.
    fs::create_hard_link(in, dir / "link.txt");
    o.tracePath = (dir / "link.txt").string();
    o.pngPath.clear();
    o.inputPath = in;
    EXPECT_NE(OutputsError(o).find("name the same file"), std::string::npos);
    // A single output that is one of the series' pictures, or the series' directory.
    o = ReplayOptions{};
    o.frames = 20;
    o.pngEvery = 5;
    o.pngDir = (dir / "pics").string();
    o.pngPath = (dir / "pics" / "frame-000010.png").string();
    EXPECT_NE(OutputsError(o).find("is also a picture of the --png-dir series"), std::string::npos);
    o.pngPath = (dir / "pics" / "frame-000025.png").string();  // after the run's last frame
    EXPECT_EQ(OutputsError(o).find("series"), std::string::npos);
    o.pngPath.clear();
    o.tracePath = o.pngDir;
    EXPECT_NE(OutputsError(o).find("name the same path"), std::string::npos);
    // Each check made and left nothing: no picture directory, no probe.
    EXPECT_FALSE(fs::exists(dir / "pics"));
    EXPECT_EQ(FilesIn(), 3u);  // in.txt, link.txt, sub
}

TEST_F(ReplayOutput, RefusesToReplaceWhatIsNotARegularFile) {
    std::ofstream(dir / "target.txt") << "keep\n";
    fs::create_symlink(dir / "target.txt", dir / "link.txt");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_directory(dir / "d");
    ReplayOptions o;
    o.frames = 3;
    o.tracePath = (dir / "link.txt").string();
    EXPECT_NE(OutputsError(o).find("is a symbolic link, not a regular file"), std::string::npos);
    o.tracePath = (dir / "fifo").string();
    EXPECT_NE(OutputsError(o).find("is a pipe"), std::string::npos);
    o.tracePath = "/dev/null";
    EXPECT_EQ(OutputsError(o),
              "--trace: '/dev/null' is a device, not a regular file; refusing to replace it");
    o.tracePath.clear();
    o.pngPath = (dir / "d").string();
    EXPECT_NE(OutputsError(o).find("is a directory"), std::string::npos);
    o.pngPath = (dir / "target.txt").string();  // a regular file may be replaced
    EXPECT_EQ(OutputsError(o), "no error");
    o.pngEvery = 2;
    o.pngDir = (dir / "target.txt" / "pics").string();
    EXPECT_NE(OutputsError(o).find("is not a directory"), std::string::npos);
    // A link standing where a picture of the series goes.
    o.pngDir = (dir / "d").string();
    fs::create_symlink(dir / "elsewhere", dir / "d" / "frame-000002.png");
    EXPECT_NE(OutputsError(o).find("frame-000002.png' is a symbolic link"), std::string::npos);
    EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST_F(ReplayOutput, CommitRefusesALinkThatAppearedDuringTheRun) {
    std::ofstream(dir / "target.txt") << "keep\n";
    const std::string path = (dir / "t.txt").string();
    OutputFile f(path);
    std::fputs("1 0 10 590\n", f.stream());
    fs::create_symlink(dir / "target.txt", path);
    EXPECT_THROW(f.Commit(), std::runtime_error);
    EXPECT_TRUE(fs::is_symlink(path));
    std::ifstream in(dir / "target.txt");
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "keep");
    EXPECT_EQ(FilesIn(), 2u);  // the temporary file is gone
}

TEST(ReplaySeries, NamesExactlyThePicturesTheRunWrites) {
    EXPECT_TRUE(IsSeriesPicture("frame-000005.png", 5, 12));
    EXPECT_TRUE(IsSeriesPicture("frame-1000000.png", 1, 1000000));
    EXPECT_FALSE(IsSeriesPicture("frame-000015.png", 5, 12));  // after the last frame
    EXPECT_FALSE(IsSeriesPicture("frame-000006.png", 5, 12));
    EXPECT_FALSE(IsSeriesPicture("frame-05.png", 5, 12));
    EXPECT_FALSE(IsSeriesPicture("frame-0000005.png", 5, 12));
    EXPECT_FALSE(IsSeriesPicture("frame-000000.png", 5, 12));
    EXPECT_FALSE(IsSeriesPicture("frame-+00005.png", 5, 12));
    EXPECT_FALSE(IsSeriesPicture("frame-000005.png.tmp", 5, 12));
}

TEST_F(ReplayOutput, PictureOfTheWrongSizeIsRefusedAndNothingWritten) {
    std::vector<uint8_t> rgba(10);
    EXPECT_THROW(WritePng((dir / "p.png").string(), rgba, 2, 2), std::runtime_error);
    EXPECT_EQ(FilesIn(), 0u);
}

}  // namespace
