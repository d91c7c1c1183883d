// How a value is found in a profile: names, duplicates, blanks, comments and encodings.

#include "platform/ansi_text.h"
#include "platform/profile.h"
#include "tests/fixtures/temp_dir.h"
#include "tests/platform/test_files.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

// A UTF-16LE file with BOM holding the given UTF-8 text (ASCII and BMP characters).
std::string Utf16LeFile(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

struct ReadCase {
    const char* name;
    std::string file;
    std::string section;
    std::string key;
    std::optional<std::string> expected;
};

class ProfileReadTest : public ::testing::TestWithParam<ReadCase> {
protected:
    TempDir dir_;
};

TEST_P(ProfileReadTest, FindsTheValue) {
    const ReadCase& c = GetParam();
    const std::string path = dir_.File("test.ini");
    WriteBytes(path, c.file);
    EXPECT_EQ(ReadProfileString(path, c.section, c.key), c.expected);
}

constexpr char kBinaryBytes[] = "\x7F" "ELF\x02\x01\x01\0\0\0[\0=\xFF\xFE\n\x89PNG\r\n\x1A\n\0\0\0\rIHDR=\x01";
const std::string kBinary(kBinaryBytes, sizeof kBinaryBytes - 1);

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileReadTest,
    ::testing::Values(
        ReadCase{"NamesIgnoreCase", "[AppLoad Info]\nuseSingedData=1\n", "appload info", "USESINGEDDATA", "1"},
        ReadCase{"FirstKeyWins", "[s]\nk=first\nK=second\n", "s", "k", "first"},
        ReadCase{"FirstSectionWins", "[s]\nk=first\n[S]\nk=second\n", "s", "k", "first"},
        ReadCase{"LaterDuplicateSectionIsNotSearched", "[s]\na=1\n[s]\nk=2\n", "s", "k", std::nullopt},
        ReadCase{"BlanksTrimmed", "[ s ]\n \t k \t= \t a b \t\n", "s", "k", "a b"},
        ReadCase{"BlanksAroundArgumentsIgnored", "[s]\nk=v\n", " s ", " k ", "v"},
        ReadCase{"EmptyValue", "[s]\nk=\n", "s", "k", ""},
        ReadCase{"ValueKeepsLaterEquals", "[s]\nURL_A=http://h/a?x=1&y=2\n", "s", "url_a", "http://h/a?x=1&y=2"},
        ReadCase{"MatchingQuotesRemoved", "[s]\nk=\" spaced \"\nq='x'\n", "s", "k", " spaced "},
        ReadCase{"UnmatchedQuoteKept", "[s]\nk=\"open\n", "s", "k", "\"open"},
        ReadCase{"CommentsAreNotKeys", "[s]\n;k=commented\n#k=hashed\nk=live\n", "s", "k", "live"},
        ReadCase{"KeyBeforeAnySectionIsIgnored", "k=orphan\n[s]\n", "s", "k", std::nullopt},
        ReadCase{"KeyOfAnotherSection", "[a]\nk=1\n[b]\nj=2\n", "b", "k", std::nullopt},
        ReadCase{"MissingSection", "[a]\nk=1\n", "b", "k", std::nullopt},
        ReadCase{"LineWithoutEqualsIsNotAKey", "[s]\nk\n", "s", "k", std::nullopt},
        ReadCase{"CrLfLines", "[s]\r\nk=v\r\nj=w\r\n", "s", "k", "v"},
        ReadCase{"LastLineWithoutNewline", "[s]\nk=v", "s", "k", "v"},
        ReadCase{"Utf8WithBom", "\xEF\xBB\xBF[s]\nk=\xE5\xBC\x80\xE5\xA7\x8B\n", "s", "k", "\xE5\xBC\x80\xE5\xA7\x8B"},
        ReadCase{"Utf16LeWithBom", Utf16LeFile(u"[Sec]\r\nName=Grüße 设置\r\n"), "sec", "name",
                 "Gr\xC3\xBC\xC3\x9F" "e \xE8\xAE\xBE\xE7\xBD\xAE"},
        ReadCase{"Utf16LeOddLength", Utf16LeFile(u"[s]\r\nk=v\r\n") + "\x41", "s", "k", "v"},
        // Read in the ANSI code page on Windows, kept as they are on Linux.
        ReadCase{"EightBitBytesInTheAnsiCodePage", "[s]\nk=\xC9\xE8\xD6\xC3\n", "s", "k",
                 FromAnsiCodePage("\xC9\xE8\xD6\xC3")},
        ReadCase{"EmptyFile", "", "s", "k", std::nullopt},
        ReadCase{"BinaryFile", kBinary, "s", "k", std::nullopt}),
    [](const auto& param_info) { return param_info.param.name; });

TEST(ProfileRead, MissingFileHasNothing) {
    TempDir dir;
    EXPECT_EQ(ReadProfileString(dir.File("absent.ini"), "s", "k"), std::nullopt);
    EXPECT_TRUE(ReadProfileKeys(dir.File("absent.ini"), "s").empty());
}

TEST(ProfileRead, FolderIsNotAProfile) {
    TempDir dir;
    EXPECT_EQ(ReadProfileString(dir.Path(), "s", "k"), std::nullopt);
}

TEST(ProfileRead, KeysAndEntriesInFileOrderFirstOccurrenceOnly) {
    TempDir dir;
    const std::string path = dir.File("ports.ini");
    WriteBytes(path, "[Ports]\nb=COM2\n; a=COM9\na=COM1\nB=COM5\nc = COM3\n[Other]\nd=COM4\n");
    EXPECT_EQ(ReadProfileKeys(path, "ports"), (std::vector<std::string>{"b", "a", "c"}));
    using Entries = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(ReadProfileSection(path, "PORTS"), (Entries{{"b", "COM2"}, {"a", "COM1"}, {"c", "COM3"}}));
}

// Profiles are small text files; a huge file is not read into memory.
TEST(ProfileRead, OversizedFileIsUnreadableAndNotRewritten) {
    TempDir dir;
    const std::string path = dir.File("huge.ini");
    const std::string bytes = "[s]\nk=v\n" + std::string(17u * 1024 * 1024, 'x');
    WriteBytes(path, bytes);
    EXPECT_EQ(ReadProfileString(path, "s", "k"), std::nullopt);
    EXPECT_FALSE(WriteProfileString(path, "s", "k", "w"));
    EXPECT_EQ(ReadBytes(path).size(), bytes.size());
}

}  // namespace
}  // namespace korvane
