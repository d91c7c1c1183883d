// The Windows platform files: virtual ports made of .desc files, COM device names, the
// ANSI code page, file replacement under a reader, wide paths, and module loading.

#include "platform/ansi_text.h"
#include "platform/dynlib.h"
#include "platform/file_replace.h"
#include "platform/module_path.h"
#include "platform/port_numbers.h"
#include "platform/wide_text_windows.h"
#include "tests/fixtures/temp_dir.h"

#include <windows.h>

#include <algorithm>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using testing::TempDir;

// The \\?\ form of a file in the folder: the only way to name "COM7.desc" as a file.
std::string LiteralPath(const TempDir& dir, const std::string& name) {
    std::string path = "\\\\?\\" + dir.path() + "\\" + name;
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

    const auto list = ListVirtualPorts(ports.path());
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].number, 3);
    EXPECT_EQ(list[0].description, "Modem");
    EXPECT_EQ(list[1].number, 7);
    EXPECT_EQ(list[1].device, "\\\\.\\COM7");
    EXPECT_EQ(list[1].description, "Unisoc Usb Serial Port 0");
    EXPECT_EQ(list[2].number, 12);
    EXPECT_EQ(list[2].description, "");

    // The folder given with a trailing separator, or already in its literal form.
    EXPECT_EQ(ListVirtualPorts(ports.path() + "\\").size(), 3u);
    EXPECT_EQ(ListVirtualPorts(LiteralPath(ports, "")).size(), 3u);
    EXPECT_TRUE(ListVirtualPorts("").empty());
    EXPECT_TRUE(ListVirtualPorts(ports.path() + "\\missing").empty());
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
    HANDLE search = ::FindFirstFileW(Wide(dir.path() + "\\*.tmp").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE) {
        ::FindClose(search);
    }
}

TEST(ReplaceFileWindows, PathsOutsideTheCodePageNameTheRightFile) {
    TempDir dir;
    const std::string name = "\xE4\xB8\xB2\xE5\x8F\xA3-caf\xC3\xA9.ini";  // CJK and Latin letters
    ASSERT_TRUE(ReplaceFileAtomically(dir.File(name), "x=1\n"));
    EXPECT_NE(::GetFileAttributesW((Wide(dir.path()) + L"\\\u4e32\u53e3-caf\u00e9.ini").c_str()),
              INVALID_FILE_ATTRIBUTES);
    const FileContents read = ReadWholeFile(dir.File(name), 1024);
    EXPECT_EQ(read.status, FileContents::kRead);
    EXPECT_EQ(read.bytes, "x=1\n");
    EXPECT_EQ(ReadWholeFile(dir.File("absent.ini"), 1024).status, FileContents::kMissing);
    EXPECT_EQ(ReadWholeFile(dir.path(), 1024).status, FileContents::kFailed);  // a folder
    EXPECT_EQ(ReadWholeFile(dir.File(name), 3).status, FileContents::kFailed);   // too large
}

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

}  // namespace
}  // namespace korvane
