#include "platform/dynlib.h"

#include <windows.h>

#include "platform/wide_text_windows.h"

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

// A bare name is searched for in the program's folder, the system folders and PATH, but not
// in the current folder: a stray RODEdar.dll in the folder the program was started from
// would otherwise be loaded, and handed the key pair, when the program's own is missing.
// The empty DLL directory takes the current folder out of the search for the whole process.
void KeepCurrentFolderOutOfTheSearch() {
    static const bool done = ::SetDllDirectoryW(L"") != 0;
    static_cast<void>(done);
}

}  // namespace

std::string ModuleFileName(std::string_view stem) { return std::string(stem) + ".dll"; }

ModuleHandle LoadModule(const std::string& path_or_name) {
    KeepCurrentFolderOutOfTheSearch();
    // No message box of the system's own for a missing dependency: the caller reports it.
    DWORD previous = 0;
    const bool quieted = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous) != 0;
    HMODULE module = ::LoadLibraryW(Wide(path_or_name).c_str());
    const DWORD code = ::GetLastError();
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
