#include "platform/file_path.h"

#include <fcntl.h>
#include <unistd.h>

namespace korvane {

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) { return std::fopen(utf8Path.c_str(), mode); }

std::FILE* OpenNewFile(const std::string& utf8Path) {
    const int fd = ::open(utf8Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
    }
    return file;
}

}  // namespace korvane
