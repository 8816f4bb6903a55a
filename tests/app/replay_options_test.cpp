#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/replay/options.h"
#include "tools/replay/output_file.h"
#include "tools/replay/png_writer.h"

namespace fs = std::filesystem;

namespace {

std::vector<ScriptEvent> Parse(const std::string& text) {
    std::istringstream in(text);
    return ParseScript(in, "s");
}

std::string ParseError(const std::string& text) {
    try {
        Parse(text);
    } catch (const UsageError& e) {
        return e.what();
    }
    return "no error";
}

std::string CommandLineError(const std::vector<std::string>& args) {
    try {
        ParseCommandLine(args);
    } catch (const UsageError& e) {
        return e.what();
    }
    return "no error";
}

TEST(ReplayCommandLine, ReadsEveryOption) {
    const ReplayOptions o = ParseCommandLine({"--input", "in.txt", "--frames", "+120", "--trace",
                                              "t.txt", "--png", "p.png", "--png-every", "10",
                                              "--png-dir", "d"});
    EXPECT_EQ(o.frames, 120);
    EXPECT_EQ(o.inputPath, "in.txt");
    EXPECT_EQ(o.tracePath, "t.txt");
    EXPECT_EQ(o.pngPath, "p.png");
    EXPECT_EQ(o.pngEvery, 10);
    EXPECT_EQ(o.pngDir, "d");
    EXPECT_EQ(ParseCommandLine({"--frames", "0"}).frames, 0);
}

TEST(ReplayCommandLine, RejectsWhatItCannotRun) {
    EXPECT_NE(CommandLineError({}).find("--frames"), std::string::npos);
    EXPECT_NE(CommandLineError({"--frames", "5", "--fast"}).find("unknown option '--fast'"),
              std::string::npos);
    EXPECT_NE(CommandLineError({"--frames", "1O"}).find("not a whole number"), std::string::npos);
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

TEST(ReplayScript, NamesTheLineOfAMalformedEvent) {
    EXPECT_EQ(ParseError("1 move 1 1\n\n0 down 1\n"), "s:3: frame number 0 is below 1");
    EXPECT_EQ(ParseError("-2 down 1\n"), "s:1: frame number -2 is below 1");
    EXPECT_EQ(ParseError("x down 1\n"), "s:1: frame number: 'x' is not a whole number");
    EXPECT_EQ(ParseError("1 jump 1\n"), "s:1: unknown event kind 'jump'");
    EXPECT_EQ(ParseError("1\n"), "s:1: an event kind must follow the frame number");
    EXPECT_EQ(ParseError("1 move 3\n"), "s:1: 'move' takes 2 values");
    EXPECT_EQ(ParseError("1 down 1 2\n"), "s:1: 'down' takes 1 value");
    EXPECT_EQ(ParseError("1 move 3 4.5\n"), "s:1: y: '4.5' is not a whole number");
    EXPECT_EQ(ParseError("1 down 4\n"), "s:1: button 4 is not 1 (left), 2 (right) or 3 (middle)");
    EXPECT_EQ(ParseError("1 keydown 256\n"), "s:1: key code 256 is not in 1..255");
    EXPECT_EQ(ParseError("1 keyup 0\n"), "s:1: key code 0 is not in 1..255");
}

TEST(ReplayScript, MissingFileIsAUsageError) {
    EXPECT_THROW(LoadScript("/nonexistent/script.txt"), UsageError);
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
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
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

TEST_F(ReplayOutput, PictureOfTheWrongSizeIsRefusedAndNothingWritten) {
    std::vector<uint8_t> rgba(10);
    EXPECT_THROW(WritePng((dir / "p.png").string(), rgba, 2, 2), std::runtime_error);
    EXPECT_EQ(FilesIn(), 0u);
}

}  // namespace
