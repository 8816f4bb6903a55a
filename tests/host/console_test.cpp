#include "host/console.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>

#include "runtime/text.h"

namespace {

// Points standard output at a pipe while it lives; Drain reads what has reached the pipe
// without flushing anything itself.
class StdoutCapture {
  public:
    StdoutCapture() {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        EXPECT_EQ(pipe(fds_), 0);
        fcntl(fds_[0], F_SETFL, O_NONBLOCK);
        dup2(fds_[1], STDOUT_FILENO);
    }
    ~StdoutCapture() {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
        close(fds_[0]);
        close(fds_[1]);
    }
    std::string Drain() {
        std::string out;
        char buf[256];
        ssize_t n;
        while ((n = read(fds_[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
        return out;
    }

  private:
    int saved_ = -1;
    int fds_[2] = {-1, -1};
};

TEST(PrintLine, NumberSevenReachesStdoutAtOnceWithCrLf) {
    StdoutCapture capture;
    PrintLine(DecimalText(7));
    EXPECT_EQ(capture.Drain(), "7\r\n");
    PrintLine(DecimalText(INT_MIN));
    EXPECT_EQ(capture.Drain(), "-2147483648\r\n");
    PrintLine(u"\u00E9\U0001F600");
    EXPECT_EQ(capture.Drain(), "\xC3\xA9\xF0\x9F\x98\x80\r\n");
}

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b) s += static_cast<char>(c);
    return s;
}

TEST(Utf8FromUtf16, EncodesOneTwoAndThreeByteUnits) {
    EXPECT_EQ(Utf8FromUtf16(u"A\u007F"), "A\x7F");
    EXPECT_EQ(Utf8FromUtf16(u"\u0080\u07FF"), Bytes({0xC2, 0x80, 0xDF, 0xBF}));
    EXPECT_EQ(Utf8FromUtf16(u"\u0800\uFFFF"), Bytes({0xE0, 0xA0, 0x80, 0xEF, 0xBF, 0xBF}));
}

TEST(Utf8FromUtf16, SurrogatePairIsOneFourByteSequenceAndLoneHalvesAreReplaced) {
    EXPECT_EQ(Utf8FromUtf16(u"\U0001F600"), Bytes({0xF0, 0x9F, 0x98, 0x80}));
    EXPECT_EQ(Utf8FromUtf16(u"\U0010FFFF"), Bytes({0xF4, 0x8F, 0xBF, 0xBF}));
    const std::string fffd = Bytes({0xEF, 0xBF, 0xBD});
    const char16_t loneHigh[] = {u'a', 0xD83D, u'b', 0};
    const char16_t loneLow[] = {0xDE00, 0};
    const char16_t highAtEnd[] = {u'x', 0xD800, 0};
    const char16_t reversed[] = {0xDE00, 0xD83D, 0};
    EXPECT_EQ(Utf8FromUtf16(loneHigh), "a" + fffd + "b");
    EXPECT_EQ(Utf8FromUtf16(loneLow), fffd);
    EXPECT_EQ(Utf8FromUtf16(highAtEnd), "x" + fffd);
    EXPECT_EQ(Utf8FromUtf16(reversed), fffd + fffd);
}

TEST(Utf16FromUtf8, DecodesAndReplacesEachMalformedSequence) {
    EXPECT_EQ(Utf16FromUtf8("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), u"A\u00E9\u20AC\U0001F600");
    EXPECT_EQ(Utf16FromUtf8("\x80x"), u"\uFFFDx");  // stray continuation
    EXPECT_EQ(Utf16FromUtf8("\xE2\x82"
                            "A"),
              u"\uFFFDA");                                    // truncated
    EXPECT_EQ(Utf16FromUtf8("\xE0\x80\x80"), u"\uFFFD");      // overlong
    EXPECT_EQ(Utf16FromUtf8("\xED\xA0\x80"), u"\uFFFD");      // encoded surrogate
    EXPECT_EQ(Utf16FromUtf8("\xF4\x90\x80\x80"), u"\uFFFD");  // beyond U+10FFFF
    EXPECT_EQ(Utf16FromUtf8("\xF0\x9F\x98"), u"\uFFFD");      // cut at the end
}

}  // namespace
