#include "modules/utility/system_info.h"

#include <windows.h>

#include <algorithm>

#include "platform/wide_text_windows.h"

namespace korvane {
namespace {

// RtlGetVersion tells the true version; GetVersionEx is capped by the program's manifest.
using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);

}  // namespace

OsVersion QueryOsVersion() {
    OsVersion version;
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) {
        return version;
    }
    const auto get_version = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (get_version == nullptr || get_version(&info) != 0) {
        return version;
    }
    version.major = info.dwMajorVersion;
    version.minor = info.dwMinorVersion;
    version.text = "Windows " + std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) +
                   "." + std::to_string(info.dwBuildNumber);
    return version;
}

bool GrantOwnerReadWrite(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    const std::wstring wide = Wide(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return true;
    }
    return ::SetFileAttributesW(wide.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) != 0;
}

std::string NativePath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

const char* PathSeparator() { return "\\"; }

}  // namespace korvane
