#include "platform/dynlib.h"

#include <windows.h>

#include "platform/environment.h"
#include "platform/wide_text_windows.h"

#include <algorithm>
#include <vector>

namespace korvane {
namespace {

thread_local std::string last_error;

// The system's text for an error code, with the name that failed in front of it.
void RememberError(const std::string& what, DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? Narrow(std::wstring_view(text, length)) : std::string();
    if (text != nullptr) {
        ::LocalFree(text);
    }
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    last_error = what + ": " + (message.empty() ? "error " + std::to_string(code) : message);
}

// The current folder is no place to look for a module: a stray RODEdar.dll in the folder the
// program was started from would otherwise be loaded, and handed the key pair, when the
// program's own is missing. The empty DLL directory takes it out of the system's search for
// the whole process, the modules' own imports included.
void KeepCurrentFolderOutOfTheSearch() {
    static const bool done = ::SetDllDirectoryW(L"") != 0;
    static_cast<void>(done);
}

bool IsBareName(const std::string& name) { return name.find_first_of("\\/:") == std::string::npos; }

bool IsAbsoluteFolder(const std::wstring& folder) {
    return (folder.size() >= 3 && folder[1] == L':' && (folder[2] == L'\\' || folder[2] == L'/')) ||
           folder.starts_with(L"\\\\");
}

// A bare name in the order of the system's own search without the current folder: the
// program's folder and the system folder, the Windows folder, then every absolute folder of
// PATH (a relative one would mean the current folder again). Done here because not every
// loader honours the empty DLL directory. ERROR_MOD_NOT_FOUND when it is nowhere.
HMODULE LoadBareName(const std::wstring& name, DWORD& error) {
    HMODULE module = ::LoadLibraryExW(name.c_str(), nullptr,
                                      LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    error = module != nullptr ? ERROR_SUCCESS : ::GetLastError();
    if (module != nullptr || error != ERROR_MOD_NOT_FOUND) {
        return module;
    }
    std::vector<std::wstring> folders;
    wchar_t windows[MAX_PATH];
    const UINT length = ::GetWindowsDirectoryW(windows, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        folders.emplace_back(windows, length);
    }
    const std::wstring path = Wide(EnvironmentOrEmpty("PATH"));
    for (size_t start = 0; start <= path.size();) {
        const size_t end = std::min(path.find(L';', start), path.size());
        std::wstring folder = path.substr(start, end - start);
        if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"') {
            folder = folder.substr(1, folder.size() - 2);
        }
        if (IsAbsoluteFolder(folder)) {
            folders.push_back(std::move(folder));
        }
        start = end + 1;
    }
    for (const std::wstring& folder : folders) {
        const std::wstring file = folder + (folder.ends_with(L'\\') ? L"" : L"\\") + name;
        if (::GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
            continue;
        }
        module = ::LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        error = module != nullptr ? ERROR_SUCCESS : ::GetLastError();
        return module;
    }
    error = ERROR_MOD_NOT_FOUND;
    return nullptr;
}

}  // namespace

std::string ModuleFileName(std::string_view stem) { return std::string(stem) + ".dll"; }

ModuleHandle LoadModule(const std::string& path_or_name) {
    KeepCurrentFolderOutOfTheSearch();
    // No message box of the system's own for a missing dependency: the caller reports it.
    DWORD previous = 0;
    const bool quieted = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous) != 0;
    DWORD code = ERROR_SUCCESS;
    HMODULE module = nullptr;
    if (IsBareName(path_or_name)) {
        module = LoadBareName(Wide(path_or_name), code);
    } else {
        module = ::LoadLibraryW(Wide(path_or_name).c_str());
        code = ::GetLastError();
    }
    if (quieted) {
        ::SetThreadErrorMode(previous, nullptr);
    }
    if (module == nullptr) {
        RememberError(path_or_name, code);
    }
    return reinterpret_cast<ModuleHandle>(module);
}

void* FindSymbol(ModuleHandle module, const char* name) {
    if (module == nullptr || name == nullptr) {
        last_error = "no module or no name";
        return nullptr;
    }
    FARPROC symbol = ::GetProcAddress(static_cast<HMODULE>(module), name);
    if (symbol == nullptr) {
        RememberError(name, ::GetLastError());
        return nullptr;
    }
    return reinterpret_cast<void*>(symbol);
}

std::string LastModuleError() { return last_error; }

}  // namespace korvane
