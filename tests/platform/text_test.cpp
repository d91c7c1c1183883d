#include "platform/text.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::u16string utf16;
};

class Utf8ToUtf16Test : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ToUtf16Test, Converts) { EXPECT_EQ(Utf8ToUtf16(GetParam().utf8), GetParam().utf16); }

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8ToUtf16Test,
    ::testing::Values(Utf8Case{"Empty", "", u""}, Utf8Case{"Ascii", "COM7=x", u"COM7=x"},
                      Utf8Case{"TwoAndThreeBytes", "Grüße 设置", u"Grüße 设置"},
                      Utf8Case{"OutsideBmpBecomesPair", "a\xF0\x9F\x98\x80z", u"a\U0001F600z"},
                      Utf8Case{"StrayContinuation", "a\x80z", u"a\uFFFDz"},
                      Utf8Case{"CutSequenceAtEnd", "ab\xE8\xAE", u"ab\uFFFD\uFFFD"},
                      Utf8Case{"OverlongSlash", "\xC0\xAF", u"\uFFFD\uFFFD"},
                      Utf8Case{"EncodedSurrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
                      Utf8Case{"BeyondUnicode", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
                      Utf8Case{"InvalidLeadThenValid", "\xFF\xC3\xA9", u"\uFFFD\u00E9"},
                      Utf8Case{"EmbeddedNul", std::string("a\0b", 3), std::u16string(u"a\0b", 3)}),
    [](const auto& param_info) { return param_info.param.name; });

TEST(Utf16ToUtf8, ValidTextRoundTrips) {
    const std::u16string text = u"KorvaneAppDownload 开始 \U0001F600 é";
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
}

TEST(Utf16ToUtf8, LoneSurrogatesBecomeReplacement) {
    EXPECT_EQ(Utf16ToUtf8(u"a\xD800z"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(Utf16ToUtf8(u"\xDC00"), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(u"\xD83D"), "\xEF\xBF\xBD");  // high surrogate cut off at the end
}

}  // namespace
}  // namespace korvane
