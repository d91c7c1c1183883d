// Writing a profile: one line changes, every other byte stays, the encoding is kept and the
// file is replaced whole.

#include "platform/profile.h"
#include "tests/fixtures/temp_dir.h"
#include "tests/platform/test_files.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace korvane {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

const std::string kConfig =
    "; line settings, edited by hand\n"
    "[Download]\n"
    "Port = 3\n"
    "Baud=115200\n"
    "\n"
    "# pinned fixture layout\n"
    "[AppLoad Info]\n"
    "useSingedData=0\n"
    "\n"
    "[Tail]\n"
    "x=1\n";

struct WriteCase {
    const char* name;
    std::string before;
    std::string section;
    std::string key;
    std::optional<std::string> value;
    std::string after;
};

class ProfileWriteTest : public ::testing::TestWithParam<WriteCase> {
protected:
    TempDir dir_;
};

TEST_P(ProfileWriteTest, ChangesOnlyItsLine) {
    const WriteCase& c = GetParam();
    const std::string path = dir_.File("test.ini");
    WriteBytes(path, c.before);
    ASSERT_TRUE(WriteProfileString(path, c.section, c.key, c.value));
    EXPECT_EQ(ReadBytes(path), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileWriteTest,
    ::testing::Values(
        WriteCase{"ReplaceKeepsSpellingAndBlanks", kConfig, "download", "PORT", "7",
                  "; line settings, edited by hand\n[Download]\nPort = 7\nBaud=115200\n\n# pinned fixture layout\n"
                  "[AppLoad Info]\nuseSingedData=0\n\n[Tail]\nx=1\n"},
        WriteCase{"NewKeyGoesAfterTheSectionsLastLine", kConfig, "Download", "Parity", "none",
                  "; line settings, edited by hand\n[Download]\nPort = 3\nBaud=115200\nParity=none\n\n"
                  "# pinned fixture layout\n[AppLoad Info]\nuseSingedData=0\n\n[Tail]\nx=1\n"},
        WriteCase{"NewSectionIsAppended", kConfig, "Ports", "loc", "COM1", kConfig + "\n[Ports]\nloc=COM1\n"},
        WriteCase{"RemoveDropsOnlyThatLine", kConfig, "Download", "baud", std::nullopt,
                  "; line settings, edited by hand\n[Download]\nPort = 3\n\n# pinned fixture layout\n"
                  "[AppLoad Info]\nuseSingedData=0\n\n[Tail]\nx=1\n"},
        WriteCase{"RemovingAMissingKeyChangesNothing", kConfig, "Download", "absent", std::nullopt, kConfig},
        WriteCase{"FirstOccurrenceIsTheOneWritten", "[s]\nk=1\nk=2\n[s]\nk=3\n", "S", "K", "9",
                  "[s]\nk=9\nk=2\n[s]\nk=3\n"},
        WriteCase{"CrLfFileGetsCrLfLines", "[s]\r\na=1\r\n", "s", "b", "2", "[s]\r\na=1\r\nb=2\r\n"},
        WriteCase{"LastLineWithoutNewlineIsEnded", "[s]\na=1", "s", "b", "2", "[s]\na=1\nb=2\n"},
        WriteCase{"ReplacedLineKeepsItsEnding", "[s]\r\na=1", "s", "a", "22", "[s]\r\na=22"},
        WriteCase{"EightBitCommentsSurvive", "; \xC9\xE8\xD6\xC3\n[s]\nk=1\n", "s", "k", "2",
                  "; \xC9\xE8\xD6\xC3\n[s]\nk=2\n"},
        WriteCase{"Utf8BomKept", "\xEF\xBB\xBF[s]\nk=1\n", "s", "k", "\xE5\xBC\x80",
                  "\xEF\xBB\xBF[s]\nk=\xE5\xBC\x80\n"},
        WriteCase{"EmptyFileGetsTheSection", "", "s", "k", "v", "[s]\nk=v\n"}),
    [](const auto& param_info) { return param_info.param.name; });

TEST(ProfileWrite, Utf16FileStaysUtf16) {
    TempDir dir;
    const std::string path = dir.File("wide.ini");
    // "[s]\r\nk=1\r\n" as UTF-16LE with BOM.
    WriteBytes(path, std::string("\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0" "1\0\r\0\n\0", 22));
    ASSERT_TRUE(WriteProfileString(path, "s", "k", "\xE5\xBC\x80"));  // U+5F00
    EXPECT_EQ(ReadBytes(path), std::string("\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0\x00\x5F\r\0\n\0", 22));
    EXPECT_EQ(ReadProfileString(path, "s", "k"), "\xE5\xBC\x80");
}

TEST(ProfileWrite, Utf16FileRefusesBytesThatAreNoCharacters) {
    TempDir dir;
    const std::string path = dir.File("ComPorts.ini");
    const std::string before("\xFF\xFE[\0P\0o\0r\0t\0s\0]\0\r\0\n\0", 18);
    WriteBytes(path, before);
    const std::string notUtf8 = "usb-\xFF\xFE";
    EXPECT_FALSE(WriteProfileString(path, "Ports", notUtf8, "COM1"));
    EXPECT_FALSE(WriteProfileString(path, "Ports", "usb-a", "COM\xFF"));
    EXPECT_FALSE(WriteProfileString(path, "P\xFForts", "usb-a", "COM1"));
    EXPECT_EQ(ReadBytes(path), before) << "nothing was written in place of the bytes";

    // A UTF-8 file keeps the same bytes as they are, and finds them again.
    const std::string narrow = dir.File("narrow.ini");
    ASSERT_TRUE(WriteProfileString(narrow, "Ports", notUtf8, "COM1"));
    EXPECT_EQ(ReadProfileString(narrow, "Ports", notUtf8), "COM1");
}

TEST(ProfileWrite, NewFileIsCreatedAndReadBack) {
    TempDir dir;
    const std::string path = dir.File("SignedData.ini");
    ASSERT_TRUE(WriteProfileString(path, "AppLoad Info", "48", "ab01"));
    ASSERT_TRUE(WriteProfileString(path, "AppLoad Info", "2.1", "cd02"));
    EXPECT_EQ(ReadBytes(path), "[AppLoad Info]\n48=ab01\n2.1=cd02\n");
}

TEST(ProfileWrite, RefusesWhatWouldBreakTheLines) {
    TempDir dir;
    const std::string path = dir.File("test.ini");
    WriteBytes(path, kConfig);
    struct Refused {
        std::string section, key, value;
    };
    for (const Refused& r : {Refused{"s", "k", "a\nb"}, Refused{"s", "k", "a\rb"}, Refused{"s", "a=b", "v"},
                             Refused{"s", "", "v"}, Refused{"s", " ", "v"}, Refused{"s", ";k", "v"},
                             Refused{"s", "[k]", "v"}, Refused{"a]b", "k", "v"}, Refused{"", "k", "v"},
                             Refused{"a\nb", "k", "v"}}) {
        EXPECT_FALSE(WriteProfileString(path, r.section, r.key, r.value)) << r.section << "/" << r.key;
    }
    EXPECT_EQ(ReadBytes(path), kConfig);
}

TEST(ProfileWrite, FailsWhenTheFolderIsMissing) {
    TempDir dir;
    EXPECT_FALSE(WriteProfileString(dir.File("no/such/dir/x.ini"), "s", "k", "v"));
}

TEST(ProfileWrite, BinaryFileDoesNotCrashAndKeepsItsBytes) {
    TempDir dir;
    const std::string path = dir.File("blob.ini");
    const std::string blob("\x00\xFF\x10[\n=\n\x00\x00]\x01\x02", 12);
    WriteBytes(path, blob);
    ASSERT_TRUE(WriteProfileString(path, "s", "k", "v"));
    const std::string after = ReadBytes(path);
    EXPECT_EQ(after.substr(0, blob.size()), blob);
    EXPECT_EQ(ReadProfileString(path, "s", "k"), "v");
}

TEST(ProfileWrite, ReplacesAtomicallyLeavingNoTemporaryFiles) {
    TempDir dir;
    const std::string path = dir.File("test.ini");
    WriteBytes(path, kConfig);
    ::chmod(path.c_str(), 0640);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    ASSERT_TRUE(WriteProfileString(path, "Download", "Port", "4"));
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    // The new file exists beside the old one before the rename, so its inode differs.
    EXPECT_NE(after.st_ino, before.st_ino) << "the file is replaced, not rewritten in place";
    EXPECT_EQ(after.st_mode & 0777, 0640u);
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(WriteProfileString(path, "Download", "Port", std::to_string(i)));
    }
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"test.ini"});
}

TEST(ProfileWrite, WritingThroughALinkUpdatesItsTarget) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("real"));
    const std::string target = dir.File("real/config.ini");
    WriteBytes(target, "[s]\nk=1\n");
    std::filesystem::create_symlink(target, dir.File("link.ini"));
    ASSERT_TRUE(WriteProfileString(dir.File("link.ini"), "s", "k", "2"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.ini")));
    EXPECT_EQ(ReadBytes(target), "[s]\nk=2\n");
}

}  // namespace
}  // namespace korvane
