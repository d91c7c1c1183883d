// The utility module as the program sees it: its 34 entry points and the INI string read's
// bounds above all.

#include "modules/utility/rerizu_abi.h"
#include "platform/profile.h"
#include "tests/fixtures/temp_dir.h"
#include "tests/modules/built_module.h"
#include "tests/platform/test_files.h"

#include <algorithm>
#include <cstdlib>
#include <cxxabi.h>
#include <filesystem>
#include <regex>
#include <sys/stat.h>
#include <vector>

namespace korvane {
namespace {

using testing::EntryPoint;
using testing::TempDir;
using testing::WriteBytes;

class UtilityModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { module_ = testing::LoadBuiltModule("RERizu.so"); }
    void SetUp() override { ASSERT_NE(module_, nullptr) << LastModuleError(); }

    template <typename Fn>
    Fn Entry(const char* name) {
        return EntryPoint<Fn>(module_, name);
    }

    std::u16string IniPath() const { return Utf16(dir_.File("test.ini")); }
    static std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

    static inline ModuleHandle module_ = nullptr;
    TempDir dir_;
};

TEST_F(UtilityModuleTest, AllEntryPointsArePresent) {
#define RERIZU_NAME(name) "RERizu_" #name,
    const std::vector<const char*> names = {RERIZU_ENTRY_POINTS(RERIZU_NAME)};
#undef RERIZU_NAME
    ASSERT_EQ(names.size(), 34u);
    for (const char* name : names) {
        EXPECT_NE(FindSymbol(module_, name), nullptr) << name;
    }
}

// The module keeps its own copy of the platform code to itself.
TEST_F(UtilityModuleTest, ExportsNothingElse) {
    const char* platform_function = "_ZN7korvane11Utf8ToUtf16ESt17basic_string_viewIcSt11char_traitsIcEE";
    int status = -1;
    char* readable = abi::__cxa_demangle(platform_function, nullptr, nullptr, &status);
    ASSERT_EQ(status, 0);
    EXPECT_STREQ(readable, "korvane::Utf8ToUtf16(std::basic_string_view<char, std::char_traits<char> >)");
    std::free(readable);
    EXPECT_EQ(FindSymbol(module_, platform_function), nullptr);
}

struct BoundsCase {
    const char* name;
    std::string stored;  // UTF-8 value in the file
    uint32_t capacity;
    std::u16string expected;
};

class GetIniStringWBounds : public UtilityModuleTest, public ::testing::WithParamInterface<BoundsCase> {};

constexpr char16_t kUntouched = 0xBEEF;

TEST_P(GetIniStringWBounds, CutsToCapacityAndNeverWritesPastIt) {
    const BoundsCase& c = GetParam();
    WriteBytes(dir_.File("test.ini"), "[AppLoad Info]\nkey=" + c.stored + "\n");
    auto get = Entry<RERizu_GetIniStringWFn>("RERizu_GetIniStringW");
    std::vector<char16_t> buffer(300, kUntouched);
    uint32_t capacity = c.capacity;
    const uint32_t copied = get(u"AppLoad Info", u"key", u"", buffer.data(), &capacity, IniPath().c_str());
    EXPECT_EQ(copied, c.expected.size());
    EXPECT_EQ(std::u16string(buffer.data()), c.expected);
    EXPECT_TRUE(std::all_of(buffer.begin() + c.capacity, buffer.end(), [](char16_t u) { return u == kUntouched; }));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GetIniStringWBounds,
    ::testing::Values(BoundsCase{"OnlyTheTerminatorFits", "abcdef", 1, u""},
                      BoundsCase{"OneUnit", "abcdef", 2, u"a"}, BoundsCase{"CutByOne", "abcdef", 6, u"abcde"},
                      BoundsCase{"ExactFit", "abcdef", 7, u"abcdef"},
                      BoundsCase{"RoomToSpare", "abcdef", 260, u"abcdef"},
                      BoundsCase{"PairIsNotSplit", "ab\xF0\x9F\x98\x80", 4, u"ab"},
                      BoundsCase{"PairFits", "ab\xF0\x9F\x98\x80", 5, u"ab\U0001F600"},
                      BoundsCase{"WideCharacters", "\xE8\xAE\xBE\xE7\xBD\xAE", 2, u"设"},
                      BoundsCase{"SignatureValue", std::string(192, 'f'), 1024, std::u16string(192, u'f')}),
    [](const auto& param_info) { return param_info.param.name; });

TEST_F(UtilityModuleTest, GetIniStringWDefaultsAndDegenerateBuffers) {
    WriteBytes(dir_.File("test.ini"), "[s]\nk=value\n");
    auto get = Entry<RERizu_GetIniStringWFn>("RERizu_GetIniStringW");
    std::vector<char16_t> buffer(16, kUntouched);
    uint32_t capacity = 16;

    EXPECT_EQ(get(u"s", u"missing", u"0", buffer.data(), &capacity, IniPath().c_str()), 1u);
    EXPECT_EQ(std::u16string(buffer.data()), u"0");
    EXPECT_EQ(get(u"s", u"missing", nullptr, buffer.data(), &capacity, IniPath().c_str()), 0u);
    EXPECT_EQ(buffer[0], 0);
    capacity = 3;
    EXPECT_EQ(get(u"s", u"missing", u"default", buffer.data(), &capacity, IniPath().c_str()), 2u);
    EXPECT_EQ(std::u16string(buffer.data()), u"de");
    const std::u16string absent = Utf16(dir_.File("absent.ini"));
    capacity = 16;
    EXPECT_EQ(get(u"s", u"k", u"d", buffer.data(), &capacity, absent.c_str()), 1u);
    EXPECT_EQ(std::u16string(buffer.data()), u"d");

    std::fill(buffer.begin(), buffer.end(), kUntouched);
    capacity = 0;
    EXPECT_EQ(get(u"s", u"k", u"d", buffer.data(), &capacity, IniPath().c_str()), 0u);
    EXPECT_EQ(buffer[0], kUntouched);
    capacity = 16;
    EXPECT_EQ(get(u"s", u"k", u"d", nullptr, &capacity, IniPath().c_str()), 0u);
    EXPECT_EQ(get(u"s", u"k", u"d", buffer.data(), nullptr, IniPath().c_str()), 0u);
    EXPECT_EQ(buffer[0], kUntouched);
    EXPECT_EQ(get(nullptr, nullptr, u"d", buffer.data(), &capacity, nullptr), 1u);
    EXPECT_EQ(std::u16string(buffer.data()), u"d");
}

TEST_F(UtilityModuleTest, WriteThenReadWithWindowsSeparators) {
    std::filesystem::create_directory(dir_.File("cfg"));
    const std::u16string path = Utf16(dir_.Path() + "\\cfg\\SignedData.ini");
    auto write = Entry<RERizu_WriteIniStringWFn>("RERizu_WriteIniStringW");
    auto get = Entry<RERizu_GetIniStringWFn>("RERizu_GetIniStringW");
    ASSERT_EQ(write(u"AppLoad Info", u"35.8192", u"0a1b", path.c_str()), 1);
    EXPECT_EQ(ReadProfileString(dir_.File("cfg/SignedData.ini"), "AppLoad Info", "35.8192"), "0a1b");
    char16_t buffer[8];
    uint32_t capacity = 8;
    EXPECT_EQ(get(u"APPLOAD INFO", u"35.8192", nullptr, buffer, &capacity, path.c_str()), 4u);
    EXPECT_EQ(std::u16string(buffer), u"0a1b");
    EXPECT_EQ(write(u"AppLoad Info", u"35.8192", nullptr, path.c_str()), 1);
    EXPECT_EQ(ReadProfileString(dir_.File("cfg/SignedData.ini"), "AppLoad Info", "35.8192"), std::nullopt);
    EXPECT_EQ(write(u"AppLoad Info", u"k", u"two\nlines", path.c_str()), 0);
    EXPECT_EQ(write(nullptr, u"k", u"v", path.c_str()), 0);
}

TEST_F(UtilityModuleTest, UnsignedValues) {
    WriteBytes(dir_.File("test.ini"), "[s]\nlead=12abc\nword=abc\nhuge=99999999999\n");
    const std::string path = dir_.File("test.ini");
    auto get = Entry<RERizu_GetIniUIntAFn>("RERizu_GetIniUIntA");
    auto write = Entry<RERizu_WriteIniUIntWFn>("RERizu_WriteIniUIntW");
    EXPECT_EQ(get("s", "lead", 7, path.c_str()), 12u);
    EXPECT_EQ(get("s", "word", 7, path.c_str()), 7u);
    EXPECT_EQ(get("s", "huge", 7, path.c_str()), 7u);
    EXPECT_EQ(get("s", "missing", 7, path.c_str()), 7u);
    ASSERT_EQ(write(u"s", u"big", 4000000000u, IniPath().c_str()), 1);
    EXPECT_EQ(get("s", "big", 7, path.c_str()), 4000000000u);
}

TEST_F(UtilityModuleTest, KeyNamesAsADoubleTerminatedList) {
    WriteBytes(dir_.File("test.ini"), "[s]\nalpha=1\nbeta=2\nALPHA=3\n");
    auto names = Entry<RERizu_GetIniKeyNamesWFn>("RERizu_GetIniKeyNamesW");
    std::vector<char16_t> buffer(64, kUntouched);
    EXPECT_EQ(names(u"s", buffer.data(), 64, IniPath().c_str()), 11u);
    EXPECT_EQ(std::u16string(buffer.data(), 12), std::u16string(u"alpha\0beta\0\0", 12));
    std::fill(buffer.begin(), buffer.end(), kUntouched);
    EXPECT_EQ(names(u"s", buffer.data(), 9, IniPath().c_str()), 6u);  // "beta" does not fit whole
    EXPECT_EQ(std::u16string(buffer.data(), 7), std::u16string(u"alpha\0\0", 7));
    EXPECT_EQ(buffer[9], kUntouched);
    EXPECT_EQ(names(u"s", buffer.data(), 1, IniPath().c_str()), 0u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(names(u"s", nullptr, 64, IniPath().c_str()), 0u);
}

TEST_F(UtilityModuleTest, TextConversionsReportWhatDoesNotFit) {
    auto widen = Entry<RERizu_AnsiToUnicodeFn>("RERizu_AnsiToUnicode");
    auto narrow = Entry<RERizu_UnicodeToAnsiFn>("RERizu_UnicodeToAnsi");
    char16_t wide[16];
    ASSERT_EQ(widen("Gr\xC3\xBC\xC3\x9F" "e", wide, 16), 5);
    EXPECT_EQ(std::u16string(wide), u"Grüße");
    char narrow_text[16];
    EXPECT_EQ(narrow(wide, narrow_text, 16), 7);
    EXPECT_STREQ(narrow_text, "Gr\xC3\xBC\xC3\x9F" "e");
    EXPECT_EQ(narrow(wide, narrow_text, 7), -1);
    EXPECT_STREQ(narrow_text, "");
    EXPECT_EQ(widen("abc", wide, 3), -1);
    EXPECT_EQ(widen(nullptr, wide, 16), -1);
    EXPECT_EQ(widen("abc", nullptr, 16), -1);
}

TEST_F(UtilityModuleTest, HexBothWays) {
    auto to_hex = Entry<RERizu_AnsiToHexAFn>("RERizu_AnsiToHexA");
    auto from_hex = Entry<RERizu_HexToAnsiAFn>("RERizu_HexToAnsiA");
    auto to_hex_w = Entry<RERizu_AnsiToHexWFn>("RERizu_AnsiToHexW");
    auto from_hex_w = Entry<RERizu_HexToAnsiWFn>("RERizu_HexToAnsiW");
    char text[16];
    EXPECT_EQ(to_hex("AB\x7F", text, 16), 6);
    EXPECT_STREQ(text, "41427f");
    EXPECT_EQ(from_hex("41427F", text, 16), 3);
    EXPECT_STREQ(text, "AB\x7F");
    for (const char* bad : {"414", "4G", "4 1"}) {
        EXPECT_EQ(from_hex(bad, text, 16), -1) << bad;
    }
    EXPECT_EQ(to_hex("AB\x7F", text, 6), -1);
    char16_t wide[16];
    EXPECT_EQ(to_hex_w(u"é", wide, 16), 4);
    EXPECT_EQ(std::u16string(wide), u"c3a9");
    EXPECT_EQ(from_hex_w(u"c3a9", wide, 16), 1);
    EXPECT_EQ(std::u16string(wide), u"é");
}

TEST_F(UtilityModuleTest, SwapBytesReverses) {
    auto swap = Entry<RERizu_SwapBytesFn>("RERizu_SwapBytes");
    uint8_t bytes[] = {1, 2, 3, 4, 5};
    swap(bytes, 5);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 5), (std::vector<uint8_t>{5, 4, 3, 2, 1}));
    swap(nullptr, 5);
}

TEST_F(UtilityModuleTest, GuidsAreRandomVersion4) {
    auto guid = Entry<RERizu_CreateGUIDAFn>("RERizu_CreateGUIDA");
    auto guid_w = Entry<RERizu_CreateGUIDWFn>("RERizu_CreateGUIDW");
    char first[64];
    char second[64];
    ASSERT_EQ(guid(first, 64), 38);
    ASSERT_EQ(guid(second, 64), 38);
    const std::regex form("\\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\}");
    EXPECT_TRUE(std::regex_match(first, form)) << first;
    EXPECT_STRNE(first, second);
    EXPECT_EQ(guid(first, 38), -1);
    char16_t wide[39];
    EXPECT_EQ(guid_w(wide, 39), 38);
}

TEST_F(UtilityModuleTest, SystemQuestions) {
    auto config_path = Entry<RERizu_GetConfigPathAFn>("RERizu_GetConfigPathA");
    char path[4096];
    ASSERT_GT(config_path(path, sizeof path), 0);
    EXPECT_EQ(std::string(path), std::filesystem::canonical(KORVANE_BIN_DIR).string() + "/");

    EXPECT_GT(Entry<RERizu_GetOSVerCodeFn>("RERizu_GetOSVerCode")(), 0u);
    char version[256];
    ASSERT_GT(Entry<RERizu_GetOSVersionAFn>("RERizu_GetOSVersionA")(version, sizeof version), 0);
    EXPECT_TRUE(std::string(version).starts_with("Linux ")) << version;

    char16_t none[8] = {kUntouched};
    EXPECT_EQ(Entry<RERizu_GetCurrentLanguagePathWFn>("RERizu_GetCurrentLanguagePathW")(none, 8), -1);
    EXPECT_EQ(none[0], 0);
    EXPECT_EQ(Entry<RERizu_GetDisplayTextWFn>("RERizu_GetDisplayTextW")(u"IDS_START", none, 8), -1);
    EXPECT_EQ(Entry<RERizu_GetIEBitlenWFn>("RERizu_GetIEBitlenW")(none, 8), -1);
}

TEST_F(UtilityModuleTest, AddAccessFileGivesTheOwnerReadAndWrite) {
    auto grant = Entry<RERizu_AddAccessFileAFn>("RERizu_AddAccessFileA");
    const std::string path = dir_.File("keyPair.bin");
    WriteBytes(path, "x");
    ::chmod(path.c_str(), 0);
    ASSERT_EQ(grant(path.c_str()), 1);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, static_cast<unsigned>(S_IRUSR | S_IWUSR));
    EXPECT_EQ(grant(dir_.File("absent").c_str()), 0);
    EXPECT_EQ(grant(nullptr), 0);
}

}  // namespace
}  // namespace korvane
