// Paths as the program keeps them (UTF-8 text) and as the C and C++ libraries take them.
// A std::filesystem::path made from a plain std::string, or fopen of its bytes, reads them
// in the system's 8-bit code page on Windows; these helpers go through UTF-8 (Linux) or the
// wide forms (Windows), so every folder name works on both.
// Thread safety: all may be called from any thread.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace korvane {

inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// fopen of a UTF-8 path; null with errno set when it cannot be opened.
std::FILE* OpenFile(const std::string& utf8Path, const char* mode);
// Makes a new file for binary writing; null with errno set (EEXIST when the name is taken)
// when it cannot, so no existing file is ever opened or truncated.
std::FILE* OpenNewFile(const std::string& utf8Path);

}  // namespace korvane
