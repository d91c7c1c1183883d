// A Chinese-locale PC: the ANSI code page is 936. INI files that the system's profile
// functions wrote are in that code page; folder names in the environment hold characters
// of any script. Run under Wine with LANG=zh_CN.UTF-8.

#include "platform/ansi_text.h"
#include "platform/environment.h"
#include "platform/profile.h"
#include "platform/wide_text_windows.h"
#include "tests/fixtures/temp_dir.h"
#include "tests/fixtures/test_env.h"
#include "tests/platform/test_files.h"

#include <windows.h>
// windows.h names the system's own profile function so; this test means the program's.
#undef WriteProfileString

#include <gtest/gtest.h>

namespace korvane {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

class CodePage936 : public ::testing::Test {
protected:
    void SetUp() override {
        if (::GetACP() != 936) {
            GTEST_SKIP() << "needs the ANSI code page 936 (LANG=zh_CN.UTF-8 under Wine); this system uses "
                         << ::GetACP();
        }
    }
    TempDir dir_;
};

// 设置 (U+8BBE U+7F6E) in code page 936 and in UTF-8; ก (Thai) is in neither code page 936
// nor its best-fit table.
constexpr char kSetupGbk[] = "\xC9\xE8\xD6\xC3";
constexpr char kSetupUtf8[] = "\xE8\xAE\xBE\xE7\xBD\xAE";
constexpr char kAudioGbk[] = "\xD2\xF4\xC6\xB5";          // 音频
constexpr char kAudioUtf8[] = "\xE9\x9F\xB3\xE9\xA2\x91";
constexpr char kThaiUtf8[] = "\xE0\xB8\x81";

std::string Utf16LeFile(const std::string& utf8) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : Utf8ToUtf16(utf8)) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

TEST_F(CodePage936, ExactConversionsRefuseWhatTheCodePageLacks) {
    EXPECT_EQ(FromAnsiCodePageExact(kSetupGbk), kSetupUtf8);
    EXPECT_EQ(ToAnsiCodePageExact(kSetupUtf8), kSetupGbk);
    EXPECT_EQ(ToAnsiCodePageExact(kThaiUtf8), std::nullopt);
    EXPECT_EQ(FromAnsiCodePageExact("\xC9"), std::nullopt);       // a lead byte cut off
    EXPECT_EQ(FromAnsiCodePageExact("a\xFF" "b"), std::nullopt);  // no character of the code page
}

struct Edit936 {
    const char* name;
    std::string (*file)(const std::string& logo, const std::string& audio);
    std::string value;
    bool stored;
};

// The existing configuration of a Chinese line PC, its logo in a folder named 设置.
std::string Gbk(const std::string& logo, const std::string& audio) {
    return "[Path]\r\nLogo=D:\\" + logo + "\\logo.bmp\r\nAudio=" + audio + "\r\n";
}
std::string Utf8(const std::string& logo, const std::string& audio) {
    return Gbk(FromAnsiCodePage(logo), FromAnsiCodePage(audio));
}
std::string Utf16(const std::string& logo, const std::string& audio) { return Utf16LeFile(Utf8(logo, audio)); }

class CodePage936Edit : public CodePage936, public ::testing::WithParamInterface<Edit936> {};

TEST_P(CodePage936Edit, ReadsTheFileAndWritesBackInItsOwnEncoding) {
    const Edit936& c = GetParam();
    const std::string path = dir_.File("KorvaneAppDownload.ini");
    const std::string original = c.file(kSetupGbk, "a.amr");
    WriteBytes(path, original);
    EXPECT_EQ(ReadProfileString(path, "Path", "Logo"), "D:\\" + std::string(kSetupUtf8) + "\\logo.bmp");

    const bool written = WriteProfileString(path, "Path", "Audio", c.value);
    EXPECT_EQ(written, c.stored);
    if (c.stored) {
        EXPECT_EQ(ReadBytes(path), c.file(kSetupGbk, ToAnsiCodePage(c.value)));
        EXPECT_EQ(ReadProfileString(path, "Path", "Audio"), c.value);
    } else {
        EXPECT_EQ(ReadBytes(path), original);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EncodingTimesValue, CodePage936Edit,
    ::testing::Values(Edit936{"CodePageAscii", Gbk, "b.amr", true},
                      Edit936{"CodePageChinese", Gbk, std::string(kAudioUtf8) + ".amr", true},
                      Edit936{"CodePageThai", Gbk, std::string(kThaiUtf8) + ".amr", false},
                      Edit936{"Utf8Chinese", Utf8, std::string(kAudioUtf8) + ".amr", true},
                      Edit936{"Utf16Chinese", Utf16, std::string(kAudioUtf8) + ".amr", true}),
    [](const auto& param_info) { return param_info.param.name; });

// A new key with a name the code page holds goes into the same encoding.
TEST_F(CodePage936, NewSectionInACodePageFile) {
    const std::string path = dir_.File("DevPath.ini");
    WriteBytes(path, std::string("[DATABASE]\r\nDIR=") + kSetupGbk + "\r\n");
    ASSERT_TRUE(WriteProfileString(path, "Files", "Dir1", std::string(kAudioUtf8)));
    EXPECT_EQ(ReadBytes(path), std::string("[DATABASE]\r\nDIR=") + kSetupGbk + "\r\n\r\n[Files]\r\nDir1=" +
                                   kAudioGbk + "\r\n");
}

TEST_F(CodePage936, EnvironmentFoldersArriveWhole) {
    const std::string folder = "C:\\" + std::string(kSetupUtf8) + "\\" + kThaiUtf8;
    testing::SetTestVariable("KORVANE_CONFIG_DIR", folder);
    EXPECT_EQ(EnvironmentVariable("KORVANE_CONFIG_DIR"), folder);
    ASSERT_NE(::SetEnvironmentVariableW(L"KORVANE_LOG_DIR", L"D:\\\u65E5\u5FD7"), 0);  // 日志
    EXPECT_EQ(EnvironmentOrEmpty("KORVANE_LOG_DIR"), "D:\\\xE6\x97\xA5\xE5\xBF\x97");
    ASSERT_NE(::SetEnvironmentVariableW(L"KORVANE_LOG_DIR", L""), 0);
    EXPECT_EQ(EnvironmentVariable("KORVANE_LOG_DIR"), "");
    testing::SetTestVariable("KORVANE_CONFIG_DIR", std::nullopt);
    EXPECT_EQ(EnvironmentVariable("KORVANE_CONFIG_DIR"), std::nullopt);
    // Longer than the first buffer the helper tries.
    const std::string deep(300, 'x');
    testing::SetTestVariable("KORVANE_TRACE_FILE", deep + kSetupUtf8);
    EXPECT_EQ(EnvironmentVariable("KORVANE_TRACE_FILE"), deep + kSetupUtf8);
    testing::SetTestVariable("KORVANE_TRACE_FILE", std::nullopt);
}

}  // namespace
}  // namespace korvane
