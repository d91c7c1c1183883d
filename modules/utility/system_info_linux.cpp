#include "modules/utility/system_info.h"

#include <algorithm>
#include <charconv>
#include <sys/stat.h>
#include <sys/utsname.h>

namespace korvane {
namespace {

// Reads the number at text[pos] and moves pos past it and one following '.'.
uint32_t NextNumber(const std::string& text, size_t& pos) {
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data() + pos, text.data() + text.size(), value);
    if (error != std::errc()) {
        return 0;
    }
    pos = static_cast<size_t>(end - text.data());
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
    }
    return value;
}

}  // namespace

OsVersion QueryOsVersion() {
    OsVersion version;
    struct utsname names {};
    if (::uname(&names) != 0) {
        return version;
    }
    const std::string release = names.release;
    size_t pos = 0;
    version.major = NextNumber(release, pos);
    version.minor = NextNumber(release, pos);
    version.text = std::string(names.sysname) + " " + release;
    return version;
}

bool GrantOwnerReadWrite(const std::string& path) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0) {
        return false;
    }
    return ::chmod(path.c_str(), (info.st_mode & 07777) | S_IRUSR | S_IWUSR) == 0;
}

std::string NativePath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

const char* PathSeparator() { return "/"; }

}  // namespace korvane
