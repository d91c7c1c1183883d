// Whole-file reads and atomic whole-file replacement, for small text files that several
// threads and processes read while one of them rewrites it.
// Thread safety: all calls may run at once; FolderWriteLock serialises writers of one folder
// across threads, module copies and processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

struct FileContents {
    enum Status { kRead, kMissing, kFailed } status = kFailed;
    std::string bytes;
};

// Reads the whole file; kFailed when it cannot be read or is larger than max_size.
FileContents ReadWholeFile(const std::string& path, size_t max_size);

// Writes a complete temporary file in the same folder, flushes it to disk and renames it
// over path, so a reader sees the old or the new file and never a part. A link is followed
// and its target replaced. Keeps an existing file's permissions. False on any failure, and
// then the old file is in place and no temporary file is left behind (on Windows, should
// the system leave neither file at the target's name, both stay on disk under their own).
bool ReplaceFileAtomically(const std::string& path, std::string_view contents);

// Holds an exclusive advisory lock on the folder of a file while a writer reads, changes and
// replaces that file. Best effort: where the folder cannot be locked the writer goes on.
class FolderWriteLock {
public:
    explicit FolderWriteLock(const std::string& file_path);
    ~FolderWriteLock();
    FolderWriteLock(const FolderWriteLock&) = delete;
    FolderWriteLock& operator=(const FolderWriteLock&) = delete;

private:
    std::intptr_t handle_ = -1;  // the locked folder's descriptor (Linux) or mutex handle (Windows)
};

// The path a replacement must write: the target of a link, else the path itself.
std::string ResolveReplaceTarget(const std::string& path);

}  // namespace korvane
