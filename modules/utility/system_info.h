// What the utility module asks of the operating system.
#pragma once

#include <cstdint>
#include <string>

namespace korvane {

struct OsVersion {
    uint32_t major = 0;
    uint32_t minor = 0;
    std::string text;  // system name and release, e.g. "Linux 6.1.0"
};

OsVersion QueryOsVersion();

// Gives the file's owner read and write access (Windows: clears its read-only flag); false
// when the file is missing or it fails.
bool GrantOwnerReadWrite(const std::string& path);

// Turns the program's paths (".\DevPath.ini", "dir/file") into this platform's form.
std::string NativePath(std::string path);
// The separator this platform puts between folder and file: "/" or "\\".
const char* PathSeparator();

}  // namespace korvane
