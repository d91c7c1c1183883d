#include "platform/file_path.h"

#include <cwchar>

#include "platform/wide_text_windows.h"

namespace korvane {

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) {
    return ::_wfopen(Wide(utf8Path).c_str(), Wide(mode).c_str());
}

}  // namespace korvane
