// The Windows platform files: virtual ports made of .desc files, COM device names, the
// ANSI code page, file replacement under a reader, wide paths, and module loading.

#include "platform/ansi_text.h"
#include "platform/dynlib.h"
#include "platform/file_replace.h"
#include "platform/file_replace_windows.h"
#include "platform/module_path.h"
#include "platform/port_numbers.h"
#include "platform/wide_text_windows.h"
#include "tests/fixtures/temp_dir.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <vector>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using testing::TempDir;

// The \\?\ form of a file in the folder: the only way to name "COM7.desc" as a file.
std::string LiteralPath(const TempDir& dir, const std::string& name) {
    std::string path = "\\\\?\\" + dir.Path() + "\\" + name;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

void WriteLiteral(const TempDir& dir, const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(ReplaceFileAtomically(LiteralPath(dir, name), bytes)) << name;
}

TEST(VirtualPortsWindows, EveryComDescFileIsAPortOpenedAsItsDevice) {
    TempDir ports;
    WriteLiteral(ports, "COM7.desc", "  Unisoc Usb Serial Port 0 \r\nsecond line\r\n");
    WriteLiteral(ports, "COM12.desc", "");
    WriteLiteral(ports, "COM3.desc", "Modem");
    WriteLiteral(ports, "COM07.desc", "leading zero");
    WriteLiteral(ports, "com5.desc", "lower case");
    WriteLiteral(ports, "COM0.desc", "zero");
    WriteLiteral(ports, "COM9.desc.txt", "other extension");
    WriteLiteral(ports, "COM8", "no extension");
    ASSERT_NE(::CreateDirectoryW(Wide(LiteralPath(ports, "COM4.desc")).c_str(), nullptr), 0);

    const auto list = ListVirtualPorts(ports.Path());
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].number, 3);
    EXPECT_EQ(list[0].description, "Modem");
    EXPECT_EQ(list[1].number, 7);
    EXPECT_EQ(list[1].device, "\\\\.\\COM7");
    EXPECT_EQ(list[1].description, "Unisoc Usb Serial Port 0");
    EXPECT_EQ(list[2].number, 12);
    EXPECT_EQ(list[2].description, "");

    // The folder given with a trailing separator, or already in its literal form.
    EXPECT_EQ(ListVirtualPorts(ports.Path() + "\\").size(), 3u);
    EXPECT_EQ(ListVirtualPorts(LiteralPath(ports, "")).size(), 3u);
    EXPECT_TRUE(ListVirtualPorts("").empty());
    EXPECT_TRUE(ListVirtualPorts(ports.Path() + "\\missing").empty());
}

TEST(DeviceForPortWindows, EveryValidNumberIsItsComDevice) {
    EXPECT_EQ(DeviceForPort(5), "\\\\.\\COM5");
    EXPECT_EQ(DeviceForPort(65535), "\\\\.\\COM65535");
    for (const int refused : {0, -1, 65536}) {
        EXPECT_EQ(DeviceForPort(refused), std::nullopt) << refused;
    }
}

TEST(AnsiCodePage, ConvertsAsTheSystemDoes) {
    if (::GetACP() != 1252) {
        GTEST_SKIP() << "the cases are written for code page 1252; this system uses " << ::GetACP();
    }
    EXPECT_EQ(ToAnsiCodePage("logo.bmp"), "logo.bmp");
    EXPECT_EQ(ToAnsiCodePage("caf\xC3\xA9.amr"), "caf\xE9.amr");
    EXPECT_EQ(ToAnsiCodePage("\xE2\x82\xAC"), "\x80");          // the euro sign has a byte of its own
    EXPECT_EQ(ToAnsiCodePage("\xE4\xB8\xB2.bin"), "?.bin");    // not in the code page
    EXPECT_EQ(ToAnsiCodePage(""), "");
    EXPECT_EQ(FromAnsiCodePage("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(FromAnsiCodePage("\x80"), "\xE2\x82\xAC");
}

TEST(ReplaceFileWindows, ReplacesAFileThatAReaderHoldsOpen) {
    TempDir dir;
    const std::string path = dir.File("SignedData.ini");
    ASSERT_TRUE(ReplaceFileAtomically(path, "[AppLoad Info]\nold=1\n"));
    // A reader that opened the file the way ReadWholeFile does.
    HANDLE reader = ::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(ReplaceFileAtomically(path, "[AppLoad Info]\nnew=1\n"));
    ::CloseHandle(reader);
    EXPECT_EQ(ReadWholeFile(path, 1024).bytes, "[AppLoad Info]\nnew=1\n");

    // No temporary file is left behind.
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(Wide(dir.Path() + "\\*.tmp").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE) {
        ::FindClose(search);
    }
}

TEST(ReplaceFileWindows, PathsOutsideTheCodePageNameTheRightFile) {
    TempDir dir;
    const std::string name = "\xE4\xB8\xB2\xE5\x8F\xA3-caf\xC3\xA9.ini";  // CJK and Latin letters
    ASSERT_TRUE(ReplaceFileAtomically(dir.File(name), "x=1\n"));
    EXPECT_NE(::GetFileAttributesW((Wide(dir.Path()) + L"\\\u4e32\u53e3-caf\u00e9.ini").c_str()),
              INVALID_FILE_ATTRIBUTES);
    const FileContents read = ReadWholeFile(dir.File(name), 1024);
    EXPECT_EQ(read.status, FileContents::kRead);
    EXPECT_EQ(read.bytes, "x=1\n");
    EXPECT_EQ(ReadWholeFile(dir.File("absent.ini"), 1024).status, FileContents::kMissing);
    EXPECT_EQ(ReadWholeFile(dir.Path(), 1024).status, FileContents::kFailed);  // a folder
    EXPECT_EQ(ReadWholeFile(dir.File(name), 3).status, FileContents::kFailed);   // too large
}

// A folder in memory whose ReplaceFileW and MoveFileExW fail as scripted: each call takes
// the next error of its list and the last one repeats. ReplaceFileW's half-way failure
// ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 leaves the old file under the backup name and the new
// one under its own, as the system documents it.
class ScriptedReplace final : public ReplaceCalls {
public:
    ScriptedReplace(std::vector<DWORD> replace, std::vector<DWORD> move)
        : replace_(std::move(replace)), move_(std::move(move)) {}
    std::map<std::wstring, std::string> files;
    DWORD paused = 0;

    DWORD Replace(const std::wstring& target, const std::wstring& replacement, const std::wstring& backup) override {
        const DWORD error = Next(replace_, replace_at_);
        if (error == ERROR_SUCCESS || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
            files[backup] = files[target];
            files.erase(target);
        }
        if (error == ERROR_SUCCESS) {
            files[target] = files[replacement];
            files.erase(replacement);
        }
        return error;
    }
    DWORD Move(const std::wstring& from, const std::wstring& to) override {
        const DWORD error = Next(move_, move_at_);
        if (error == ERROR_SUCCESS) {
            files[to] = files[from];
            files.erase(from);
        }
        return error;
    }
    bool Exists(const std::wstring& path) override { return files.count(path) != 0; }
    void Remove(const std::wstring& path) override { files.erase(path); }
    void Pause(DWORD ms) override { paused += ms; }

private:
    static DWORD Next(const std::vector<DWORD>& script, size_t& at) {
        const DWORD error = script.empty() ? ERROR_SUCCESS : script[std::min(at, script.size() - 1)];
        ++at;
        return error;
    }
    std::vector<DWORD> replace_;
    std::vector<DWORD> move_;
    size_t replace_at_ = 0;
    size_t move_at_ = 0;
};

struct ReplaceCase {
    const char* name;
    bool old_file;               // the target exists before the write
    std::vector<DWORD> replace;  // errors of successive ReplaceFileW calls
    std::vector<DWORD> move;     // errors of successive MoveFileExW calls
    bool written;
    std::map<std::wstring, std::string> after;
    DWORD least_pause_ms;
    DWORD most_pause_ms;
};

class ReplaceErrors : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceErrors, TheStoreNeverDisappears) {
    const ReplaceCase& c = GetParam();
    ScriptedReplace calls(c.replace, c.move);
    calls.files[L"new.tmp"] = "new";
    if (c.old_file) {
        calls.files[L"SignedData.ini"] = "old";
    }
    EXPECT_EQ(PutInPlace(calls, L"new.tmp", L"SignedData.ini", L"old.bak"), c.written);
    EXPECT_EQ(calls.files, c.after);
    EXPECT_GE(calls.paused, c.least_pause_ms);
    EXPECT_LE(calls.paused, c.most_pause_ms);
}

constexpr DWORD kHeld = ERROR_SHARING_VIOLATION;
constexpr DWORD kHalfWay = ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
using Files = std::map<std::wstring, std::string>;

// Eleven moves at growing pauses take the writer past its three seconds.
std::vector<DWORD> HeldThenFree(size_t held) {
    std::vector<DWORD> errors(held, kHeld);
    errors.push_back(ERROR_SUCCESS);
    return errors;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReplaceErrors,
    ::testing::Values(
        ReplaceCase{"Replaced", true, {}, {}, true, Files{{L"SignedData.ini", "new"}}, 0, 0},
        ReplaceCase{"NewFileMoved", false, {}, {}, true, Files{{L"SignedData.ini", "new"}}, 0, 0},
        ReplaceCase{"HeldForAMoment", true, {kHeld, ERROR_ACCESS_DENIED, ERROR_UNABLE_TO_REMOVE_REPLACED, 0}, {},
                    true, Files{{L"SignedData.ini", "new"}}, 70, 70},
        ReplaceCase{"NewFileHeldByTheScanner", true, {ERROR_UNABLE_TO_MOVE_REPLACEMENT, 0}, {}, true,
                    Files{{L"SignedData.ini", "new"}}, 10, 10},
        // The old file left for the backup name: the new one is moved in, never deleted.
        ReplaceCase{"HalfWayThenMoved", true, {kHalfWay}, {kHeld, 0}, true, Files{{L"SignedData.ini", "new"}}, 30,
                    30},
        // Held for good: after a few seconds the old file goes back to its name.
        ReplaceCase{"HalfWayThenHeldForGood", true, {kHalfWay}, HeldThenFree(11), false, Files{{L"SignedData.ini", "old"}}, 3000, 5000},
        // Nothing can be moved: both files stay under their own names.
        ReplaceCase{"NothingMoves", true, {kHalfWay}, {kHeld}, false,
                    Files{{L"new.tmp", "new"}, {L"old.bak", "old"}}, 3000, 5000},
        ReplaceCase{"HeldForGood", true, {kHeld}, {}, false, Files{{L"SignedData.ini", "old"}}, 3000, 5000},
        ReplaceCase{"DiskFull", true, {ERROR_DISK_FULL}, {}, false, Files{{L"SignedData.ini", "old"}}, 0, 0},
        ReplaceCase{"NewFileOnAFullDisk", false, {}, {ERROR_DISK_FULL}, false, Files{}, 0, 0}),
    [](const auto& param_info) { return param_info.param.name; });

TEST(ModulesWindows, PathsAndLoadingFailures) {
    const std::string program = OwnModulePath();
    ASSERT_GT(program.size(), 4u);
    EXPECT_EQ(program.substr(program.size() - 4), ".exe");
    EXPECT_EQ(OwnModuleDir(), program.substr(0, program.find_last_of('\\')));
    EXPECT_EQ(ModuleFileName("Ruduvar9"), "Ruduvar9.dll");

    const std::string missing = OwnModuleDir() + "\\NoSuchModule.dll";
    EXPECT_EQ(LoadModule(missing), nullptr);
    EXPECT_NE(LastModuleError().find("NoSuchModule.dll"), std::string::npos) << LastModuleError();

    ModuleHandle kernel = LoadModule("kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    EXPECT_NE(FindSymbol(kernel, "GetTickCount"), nullptr);
    EXPECT_EQ(FindSymbol(kernel, "RERizu_GetIniStringW"), nullptr);
    EXPECT_NE(LastModuleError().find("RERizu_GetIniStringW"), std::string::npos) << LastModuleError();
    EXPECT_NE(ModuleDirOf(FindSymbol(kernel, "GetTickCount")), OwnModuleDir());
}

// A module found only in the current folder is not loaded by its bare name; one beside the
// program still is, and a full path reaches any folder.
TEST(ModulesWindows, BareNamesAreNotSearchedInTheCurrentFolder) {
    TempDir dir;
    const std::wstring stray = Wide(dir.Path()) + L"\\StrayModule.dll";
    ASSERT_NE(::CopyFileW(Wide(OwnModuleDir() + "\\" + ModuleFileName("RODEdar")).c_str(), stray.c_str(), TRUE), 0);
    std::vector<wchar_t> previous(MAX_PATH * 4);
    ASSERT_GT(::GetCurrentDirectoryW(static_cast<DWORD>(previous.size()), previous.data()), 0u);
    ASSERT_NE(::SetCurrentDirectoryW(Wide(dir.Path()).c_str()), 0);

    const ModuleHandle from_current = LoadModule("StrayModule.dll");
    const ModuleHandle beside_program = LoadModule(ModuleFileName("RODEdar"));
    const ModuleHandle by_path = LoadModule(dir.Path() + "\\StrayModule.dll");
    ::SetCurrentDirectoryW(previous.data());

    EXPECT_EQ(from_current, nullptr);
    EXPECT_NE(LastModuleError().find("StrayModule.dll"), std::string::npos) << LastModuleError();
    EXPECT_NE(beside_program, nullptr) << LastModuleError();
    EXPECT_NE(by_path, nullptr) << LastModuleError();
    if (by_path != nullptr) {
        ::FreeLibrary(static_cast<HMODULE>(by_path));
    }
}

}  // namespace
}  // namespace korvane
