#include "platform/file_path.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cwchar>

#include "platform/wide_text_windows.h"

namespace korvane {

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) {
    return ::_wfopen(Wide(utf8Path).c_str(), Wide(mode).c_str());
}

std::FILE* OpenNewFile(const std::string& utf8Path) {
    const int fd = ::_wopen(Wide(utf8Path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                            _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = ::_fdopen(fd, "wb");
    if (file == nullptr) {
        ::_close(fd);
    }
    return file;
}

}  // namespace korvane
