#include "platform/run_folder.h"

#include <windows.h>

#include "platform/wide_text_windows.h"

namespace korvane {

// %LOCALAPPDATA%\KorvaneAppDownload\run: under the user's own profile, which other users
// cannot enter, so nothing there needs a further ownership check.
std::string PrivateRunFolder() {
    wchar_t base[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    const std::string app = Narrow(base) + "\\KorvaneAppDownload";
    const std::string folder = app + "\\run";
    for (const std::string& path : {app, folder}) {
        if (!::CreateDirectoryW(Wide(path).c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            return {};
        }
    }
    const DWORD attributes = ::GetFileAttributesW(Wide(folder).c_str());
    const bool isFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                          (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    return isFolder ? folder : std::string();
}

long ProcessId() { return static_cast<long>(::GetCurrentProcessId()); }

}  // namespace korvane
