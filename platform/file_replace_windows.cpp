#include "platform/file_replace.h"

#include <windows.h>

#include <atomic>
#include <cwctype>
#include <functional>
#include <string>
#include <vector>

#include "platform/wide_text_windows.h"

namespace korvane {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A virus scanner or indexer may hold the target for a moment; the rename is tried again.
constexpr int kRenameAttempts = 20;
constexpr DWORD kRenamePauseMs = 10;
// A lock holder that never lets go (a hung process) must not stop every other writer.
constexpr DWORD kLockWaitMs = 10000;

std::string FolderOf(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos) {
        return ".";
    }
    return path.substr(0, separator);
}

std::string NameOf(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (valid()) {
            ::CloseHandle(handle_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }
    bool Close() {
        const bool closed = valid() && ::CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

bool WriteAll(HANDLE file, std::string_view data) {
    while (!data.empty()) {
        const DWORD chunk = data.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(data.size());
        DWORD written = 0;
        if (::WriteFile(file, data.data(), chunk, &written, nullptr) == 0 || written == 0) {
            return false;
        }
        data.remove_prefix(written);
    }
    return true;
}

// A name no other writer (thread or process) uses at the same time.
std::string TemporaryNameFor(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return FolderOf(target) + "\\." + NameOf(target) + "." + std::to_string(::GetCurrentProcessId()) + "." +
           std::to_string(counter.fetch_add(1)) + ".tmp";
}

// An existing target is replaced with ReplaceFileW, which keeps its attributes and access
// rights and works while readers hold it open (they share deletion); a new one is renamed
// into place.
bool PutInPlace(const std::wstring& from, const std::wstring& to) {
    if (::GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return ::ReplaceFileW(to.c_str(), from.c_str(), nullptr,
                              REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr) != 0;
    }
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool MoveOver(const std::wstring& from, const std::wstring& to) {
    for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
        if (PutInPlace(from, to)) {
            return true;
        }
        switch (::GetLastError()) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_ACCESS_DENIED:
        case ERROR_LOCK_VIOLATION:
        case ERROR_UNABLE_TO_REMOVE_REPLACED:
        case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
            ::Sleep(kRenamePauseMs);
            break;
        default:
            return false;
        }
    }
    return false;
}

// One name per folder for the writers' mutex; Windows names are case-insensitive, so is this.
std::wstring MutexNameFor(const std::string& file_path) {
    std::wstring folder = Wide(FolderOf(file_path));
    std::vector<wchar_t> full(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetFullPathNameW(folder.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) {
            break;
        }
        if (length < full.size()) {
            folder.assign(full.data(), length);
            break;
        }
        full.resize(length + 1);
    }
    for (wchar_t& unit : folder) {
        unit = unit == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(unit));
    }
    return L"Local\\KorvaneIniWriters-" + std::to_wstring(std::hash<std::wstring>{}(folder));
}

}  // namespace

FileContents ReadWholeFile(const std::string& path, size_t max_size) {
    FileContents result;
    // Shared for deletion too, so a writer can replace the file while it is being read.
    Handle file(::CreateFileW(Wide(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD error = ::GetLastError();
        result.status = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileContents::kMissing
                                                                                       : FileContents::kFailed;
        return result;
    }
    LARGE_INTEGER size{};
    if (::GetFileType(file.get()) != FILE_TYPE_DISK || ::GetFileSizeEx(file.get(), &size) == 0 ||
        static_cast<unsigned long long>(size.QuadPart) > max_size) {
        return result;
    }
    std::string bytes;
    char chunk[8192];
    for (;;) {
        DWORD got = 0;
        if (::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) == 0 || bytes.size() + got > max_size) {
            return result;
        }
        if (got == 0) {
            break;
        }
        bytes.append(chunk, got);
    }
    result.status = FileContents::kRead;
    result.bytes = std::move(bytes);
    return result;
}

std::string ResolveReplaceTarget(const std::string& path) { return path; }

bool ReplaceFileAtomically(const std::string& path, std::string_view contents) {
    const std::string target = ResolveReplaceTarget(path);
    const std::wstring temporary = Wide(TemporaryNameFor(target));
    Handle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
    if (!file.valid()) {
        return false;
    }
    bool ok = WriteAll(file.get(), contents) && ::FlushFileBuffers(file.get()) != 0;
    ok = file.Close() && ok;
    ok = ok && MoveOver(temporary, Wide(target));
    if (!ok) {
        ::DeleteFileW(temporary.c_str());
    }
    return ok;
}

FolderWriteLock::FolderWriteLock(const std::string& file_path) {
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, MutexNameFor(file_path).c_str());
    if (mutex == nullptr) {
        return;
    }
    // An abandoned mutex (its holder died) is ours all the same.
    const DWORD waited = ::WaitForSingleObject(mutex, kLockWaitMs);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        ::CloseHandle(mutex);
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(mutex);
}

FolderWriteLock::~FolderWriteLock() {
    if (handle_ != -1) {
        HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
        ::ReleaseMutex(mutex);
        ::CloseHandle(mutex);
    }
}

}  // namespace korvane
