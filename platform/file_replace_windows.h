// How ReplaceFileAtomically puts a complete new file in place on Windows, behind the few
// system calls it makes, so that failures the system gives only under a virus scanner or
// a slow driver can be played from a table. Windows builds only.
// Thread safety: as ReplaceFileAtomically; one ReplaceCalls per call.
#pragma once

#include <windows.h>

#include <string>

namespace korvane {

class ReplaceCalls {
public:
    virtual ~ReplaceCalls() = default;
    // ReplaceFileW of target by replacement, the old file kept as backup until it succeeds;
    // ERROR_SUCCESS or the system's error.
    virtual DWORD Replace(const std::wstring& target, const std::wstring& replacement, const std::wstring& backup) = 0;
    // MoveFileExW over an existing file; ERROR_SUCCESS or the system's error.
    virtual DWORD Move(const std::wstring& from, const std::wstring& to) = 0;
    virtual bool Exists(const std::wstring& path) = 0;
    virtual void Remove(const std::wstring& path) = 0;
    virtual void Pause(DWORD ms) = 0;
};

// Puts the written temporary file at target, trying again with growing pauses for a few
// seconds while something holds a file. True when target holds the new file. On failure
// target keeps (or gets back) the old file and the temporary file is removed; a file that
// cannot be put back is left under its temporary or backup name, never deleted.
bool PutInPlace(ReplaceCalls& calls, const std::wstring& temporary, const std::wstring& target,
                const std::wstring& backup);

}  // namespace korvane
