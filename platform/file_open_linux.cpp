#include "platform/file_path.h"

namespace korvane {

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) { return std::fopen(utf8Path.c_str(), mode); }

}  // namespace korvane
