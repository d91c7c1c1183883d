#include "platform/module_path.h"

#include <windows.h>

#include <vector>

#include "platform/wide_text_windows.h"

namespace korvane {
namespace {

std::string FolderOf(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

// The full path of a loaded module, however long (paths may exceed MAX_PATH).
std::string PathOfModule(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return Narrow(std::wstring_view(buffer.data(), length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::string OwnModulePath() { return PathOfModule(nullptr); }

std::string OwnModuleDir() { return FolderOf(OwnModulePath()); }

std::string ModuleDirOf(const void* address) {
    HMODULE module = nullptr;
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (::GetModuleHandleExW(flags, static_cast<LPCWSTR>(address), &module) == 0) {
        return OwnModuleDir();
    }
    return FolderOf(PathOfModule(module));
}

}  // namespace korvane
