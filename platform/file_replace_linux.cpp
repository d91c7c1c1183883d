#include "platform/file_replace.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {
namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// A name no other writer (thread or process) uses at the same time.
std::string TemporaryNameFor(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return FolderOf(target) + "/." + NameOf(target) + "." + std::to_string(::getpid()) + "." +
           std::to_string(counter.fetch_add(1)) + ".tmp";
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

FileContents ReadWholeFile(const std::string& path, size_t max_size) {
    FileContents result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.status = errno == ENOENT ? FileContents::kMissing : FileContents::kFailed;
        return result;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || static_cast<size_t>(info.st_size) > max_size) {
        ::close(fd);
        return result;
    }
    std::string bytes;
    char chunk[8192];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 || bytes.size() + static_cast<size_t>(got) > max_size) {
            ::close(fd);
            return result;
        }
        if (got == 0) {
            break;
        }
        bytes.append(chunk, static_cast<size_t>(got));
    }
    ::close(fd);
    result.status = FileContents::kRead;
    result.bytes = std::move(bytes);
    return result;
}

std::string ResolveReplaceTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            return resolved;
        }
    }
    return path;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view contents) {
    const std::string target = ResolveReplaceTarget(path);
    const std::string temporary = TemporaryNameFor(target);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    struct stat existing {};
    bool ok = true;
    if (::stat(target.c_str(), &existing) == 0) {
        ok = ::fchmod(fd, existing.st_mode & 07777) == 0;
    }
    ok = ok && WriteAll(fd, contents) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    SyncFolder(FolderOf(target));
    return true;
}

FolderWriteLock::FolderWriteLock(const std::string& file_path) {
    const int fd = ::open(FolderOf(file_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd);
            return;
        }
    }
    handle_ = fd;
}

FolderWriteLock::~FolderWriteLock() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));  // closing drops the lock
    }
}

}  // namespace korvane
