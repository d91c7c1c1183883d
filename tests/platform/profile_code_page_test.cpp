// INI files in an 8-bit code page: read as text, edited in place, written back byte for byte,
// and values the file's encoding cannot hold refused with the file left as it was.
// The code page here is a stand-in (Latin-1 without 0x81), so the rules are shown on every
// platform; the Windows tests run the same rules with the system's code page 936.

#include "platform/profile_format.h"
#include "platform/text.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

constexpr unsigned char kUnassigned = 0x81;

std::optional<std::string> Latin1ToUtf8(std::string_view bytes) {
    std::u16string units;
    for (const char byte : bytes) {
        if (static_cast<unsigned char>(byte) == kUnassigned) {
            return std::nullopt;
        }
        units += static_cast<char16_t>(static_cast<unsigned char>(byte));
    }
    return Utf16ToUtf8(units);
}

std::optional<std::string> Utf8ToLatin1(std::string_view text) {
    if (!IsValidUtf8(text)) {
        return std::nullopt;
    }
    std::string bytes;
    for (const char16_t unit : Utf8ToUtf16(text)) {
        if (unit > 0xFF || unit == kUnassigned) {
            return std::nullopt;
        }
        bytes += static_cast<char>(unit);
    }
    return bytes;
}

constexpr ProfileCodePage kLatin1{Latin1ToUtf8, Utf8ToLatin1};

std::string Utf16LeBytes(std::string_view utf8) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : Utf8ToUtf16(utf8)) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

// The file's bytes for a text in each encoding.
std::string FileBytes(ProfileEncoding encoding, const std::string& utf8) {
    switch (encoding) {
    case ProfileEncoding::kUtf8Bom:
        return "\xEF\xBB\xBF" + utf8;
    case ProfileEncoding::kUtf16Le:
        return Utf16LeBytes(utf8);
    case ProfileEncoding::kCodePage:
        return Utf8ToLatin1(utf8).value();
    case ProfileEncoding::kUtf8:
        break;
    }
    return utf8;
}

// The other line holds a non-ASCII character, which makes the Latin-1 file no UTF-8.
std::string ConfigText(const std::string& logo) {
    return "; line PC 3\r\n[Paths]\r\nAudio = \xC3\xA9t\xC3\xA9.amr\r\nLogo=" + logo + "\r\n[Other]\r\nx=1\r\n";
}

struct EditCase {
    const char* name;
    ProfileEncoding encoding;
    std::string value;
    bool stored;
};

class ProfileCodePageEdit : public ::testing::TestWithParam<EditCase> {};

TEST_P(ProfileCodePageEdit, StoresWhatTheEncodingHoldsAndRefusesTheRest) {
    const EditCase& c = GetParam();
    const std::string original = FileBytes(c.encoding, ConfigText("old.bmp"));
    ProfileDocument document = DecodeProfile(original, &kLatin1);
    ASSERT_EQ(document.encoding, c.encoding);
    EXPECT_EQ(FindProfileValue(document, "paths", "audio"), "\xC3\xA9t\xC3\xA9.amr");

    const ProfileEdit edit = SetProfileValue(document, "Paths", "Logo", c.value);
    if (c.stored) {
        ASSERT_EQ(edit, ProfileEdit::kChanged);
        EXPECT_EQ(EncodeProfile(document), FileBytes(c.encoding, ConfigText(c.value)));
        EXPECT_EQ(FindProfileValue(DecodeProfile(EncodeProfile(document), &kLatin1), "Paths", "Logo"), c.value);
    } else {
        EXPECT_EQ(edit, ProfileEdit::kNotInEncoding);
        EXPECT_EQ(EncodeProfile(document), original);
    }
}

const std::string kAscii = "D:\\logos\\a.bmp";
const std::string kLatin = "D:\\caf\xC3\xA9\\a.bmp";           // é: in the code page
const std::string kChinese = "D:\\\xE8\xAE\xBE\xE7\xBD\xAE\\a.bmp";  // 设置: outside it
const std::string kNotUtf8 = "D:\\\xFF.bmp";

INSTANTIATE_TEST_SUITE_P(
    EncodingTimesValue, ProfileCodePageEdit,
    ::testing::Values(EditCase{"Utf8Ascii", ProfileEncoding::kUtf8, kAscii, true},
                      EditCase{"Utf8Chinese", ProfileEncoding::kUtf8, kChinese, true},
                      EditCase{"Utf8BomLatin", ProfileEncoding::kUtf8Bom, kLatin, true},
                      EditCase{"Utf8BomChinese", ProfileEncoding::kUtf8Bom, kChinese, true},
                      EditCase{"Utf16Chinese", ProfileEncoding::kUtf16Le, kChinese, true},
                      EditCase{"Utf16NotUtf8", ProfileEncoding::kUtf16Le, kNotUtf8, false},
                      EditCase{"CodePageAscii", ProfileEncoding::kCodePage, kAscii, true},
                      EditCase{"CodePageLatin", ProfileEncoding::kCodePage, kLatin, true},
                      EditCase{"CodePageChinese", ProfileEncoding::kCodePage, kChinese, false},
                      EditCase{"CodePageNotUtf8", ProfileEncoding::kCodePage, kNotUtf8, false}),
    [](const auto& param_info) { return param_info.param.name; });

TEST(ProfileCodePage, NamesOutsideTheCodePageAreRefusedToo) {
    ProfileDocument document = DecodeProfile(FileBytes(ProfileEncoding::kCodePage, ConfigText("a")), &kLatin1);
    EXPECT_EQ(SetProfileValue(document, "\xE8\xAE\xBE", "k", "v"), ProfileEdit::kNotInEncoding);
    EXPECT_EQ(SetProfileValue(document, "Paths", "\xE8\xAE\xBE", "v"), ProfileEdit::kNotInEncoding);
    EXPECT_EQ(SetProfileValue(document, "Paths", "Logo", std::nullopt), ProfileEdit::kChanged);
}

// A file that is neither UTF-8 nor text of the code page is kept as bytes: edits elsewhere
// leave its odd line exactly as it was.
TEST(ProfileCodePage, FileTheCodePageCannotReadKeepsItsBytes) {
    const std::string original = "[Paths]\nLogo=\x81\xE9.bmp\nx=1\n";
    ProfileDocument document = DecodeProfile(original, &kLatin1);
    EXPECT_EQ(document.encoding, ProfileEncoding::kUtf8);
    EXPECT_EQ(FindProfileValue(document, "Paths", "Logo"), "\x81\xE9.bmp");
    ASSERT_EQ(SetProfileValue(document, "Paths", "x", "2"), ProfileEdit::kChanged);
    EXPECT_EQ(EncodeProfile(document), "[Paths]\nLogo=\x81\xE9.bmp\nx=2\n");
}

// Valid UTF-8 stays UTF-8 even where the code page could read the bytes too.
TEST(ProfileCodePage, ValidUtf8IsNeverReadInTheCodePage) {
    const ProfileDocument document = DecodeProfile("[s]\nk=caf\xC3\xA9\n", &kLatin1);
    EXPECT_EQ(document.encoding, ProfileEncoding::kUtf8);
    EXPECT_EQ(FindProfileValue(document, "s", "k"), "caf\xC3\xA9");
}

}  // namespace
}  // namespace korvane
