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

TEST(CutAtCharacter, NeverEndsInsideACharacter) {
    struct Case {
        std::string text;
        size_t max_bytes;
        std::string cut;
    };
    const Case cases[] = {
        {"COM7", 10, "COM7"},                     // short enough: kept whole
        {"COM7", 4, "COM7"},                      // exactly the limit
        {"COM17", 4, "COM1"},                     // ASCII cut at the limit
        {"ab\xC3\xA9", 3, "ab"},                  // a two-byte character that does not fit
        {"a\xE8\xAE\xBE\xE7\xBD\xAE", 4, "a\xE8\xAE\xBE"},  // cut right after a three-byte character
        {"a\xE8\xAE\xBE\xE7\xBD\xAE", 6, "a\xE8\xAE\xBE"},  // two of three bytes: left out
        {"\xF0\x9F\x98\x80z", 3, ""},              // a four-byte character alone at the start
        {"abc", 0, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CutAtCharacter(c.text, c.max_bytes), c.cut) << c.text << " to " << c.max_bytes;
    }
}

TEST(IsValidUtf8, RefusesWhatCannotRoundTrip) {
    struct Case {
        std::string text;
        bool valid;
    };
    const Case cases[] = {
        {"", true},
        {"pci-0000:00:14.0-usb-0:1:1.0", true},
        {"\xE5\xBC\x80", true},          // U+5F00
        {"\xEF\xBF\xBD", true},          // U+FFFD written as itself
        {"\xF0\x9F\x98\x80", true},      // four bytes
        {"usb-\xFF", false},              // a byte that starts nothing
        {"\xC3", false},                  // cut off
        {"\xC0\xAF", false},              // overlong '/'
        {"\xED\xA0\x80", false},          // a surrogate
        {"a\x80" "b", false},             // a lone continuation byte
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsValidUtf8(c.text), c.valid) << testing::PrintToString(c.text);
    }
}

}  // namespace
}  // namespace korvane
