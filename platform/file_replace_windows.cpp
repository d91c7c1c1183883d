#include "platform/file_replace.h"
#include "platform/file_replace_windows.h"

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
// A virus scanner or indexer may hold the target or the new file for a while: the move is
// tried again with growing pauses for about three seconds in all.
constexpr DWORD kFirstPauseMs = 10;
constexpr DWORD kLongestPauseMs = 500;
constexpr DWORD kGiveUpAfterMs = 3000;
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

// A name no other writer (thread or process) uses at the same time; the new file and the
// old file's backup add their own endings to it.
std::string PrivateNameFor(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return FolderOf(target) + "\\." + NameOf(target) + "." + std::to_string(::GetCurrentProcessId()) + "." +
           std::to_string(counter.fetch_add(1));
}

// Failures that a scanner, an indexer or a reader holding a file for a moment give.
bool PassingTrouble(DWORD error) {
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_ACCESS_DENIED:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
    case ERROR_UNABLE_TO_REMOVE_REPLACED:
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
        return true;
    default:
        return false;
    }
}

class SystemReplaceCalls final : public ReplaceCalls {
public:
    DWORD Replace(const std::wstring& target, const std::wstring& replacement, const std::wstring& backup) override {
        return ::ReplaceFileW(target.c_str(), replacement.c_str(), backup.c_str(),
                              REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                              nullptr) != 0
                   ? ERROR_SUCCESS
                   : ::GetLastError();
    }
    DWORD Move(const std::wstring& from, const std::wstring& to) override {
        return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0
                   ? ERROR_SUCCESS
                   : ::GetLastError();
    }
    bool Exists(const std::wstring& path) override {
        return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    void Remove(const std::wstring& path) override { ::DeleteFileW(path.c_str()); }
    void Pause(DWORD ms) override { ::Sleep(ms); }
};

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

bool PutInPlace(ReplaceCalls& calls, const std::wstring& temporary, const std::wstring& target,
                const std::wstring& backup) {
    DWORD waited = 0;
    DWORD pause = kFirstPauseMs;
    for (;;) {
        // An existing file is replaced with ReplaceFileW, which keeps its attributes and
        // access rights and works while readers hold it open (they share deletion). When it
        // fails half way the old file may already be under the backup name and the target
        // name free: then, as for a new file, the new one is moved there.
        const DWORD error = calls.Exists(target) ? calls.Replace(target, temporary, backup)
                                                 : calls.Move(temporary, target);
        if (error == ERROR_SUCCESS) {
            calls.Remove(backup);
            return true;
        }
        if (!PassingTrouble(error) || waited >= kGiveUpAfterMs) {
            break;
        }
        calls.Pause(pause);
        waited += pause;
        pause = pause * 2 < kLongestPauseMs ? pause * 2 : kLongestPauseMs;
    }
    // Given up. The file must not vanish: the old one goes back to its name, and whatever
    // cannot be put back stays on disk under its own name rather than being deleted.
    if (!calls.Exists(target) && calls.Exists(backup) && calls.Move(backup, target) != ERROR_SUCCESS) {
        return false;  // neither file could be put back at the target's name: both stay
    }
    calls.Remove(temporary);
    return false;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view contents) {
    const std::string target = ResolveReplaceTarget(path);
    const std::string private_name = PrivateNameFor(target);
    const std::wstring temporary = Wide(private_name + ".tmp");
    Handle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
    if (!file.valid()) {
        return false;
    }
    bool ok = WriteAll(file.get(), contents) && ::FlushFileBuffers(file.get()) != 0;
    ok = file.Close() && ok;
    if (!ok) {
        ::DeleteFileW(temporary.c_str());
        return false;
    }
    SystemReplaceCalls calls;
    return PutInPlace(calls, temporary, Wide(target), Wide(private_name + ".bak"));
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
