#include "platform/run_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace korvane {

namespace {

bool IsOwnPrivateFolder(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & 077) == 0;
}

}  // namespace

std::string PrivateRunFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = runtime != nullptr && runtime[0] == '/'
                                   ? std::string(runtime) + "/KorvaneAppDownload"
                                   : "/tmp/KorvaneAppDownload-" + std::to_string(::getuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return {};
    }
    return IsOwnPrivateFolder(folder) ? folder : std::string();
}

long ProcessId() { return static_cast<long>(::getpid()); }

}  // namespace korvane
