// UTF-8 <-> UTF-16 for the Windows files: the program keeps UTF-8, every Windows call that
// takes a path or a text takes the wide form. Windows builds only.
#pragma once

#include <string>
#include <string_view>

#include "platform/text.h"

namespace korvane {

// The UTF-16 form of a UTF-8 text, as the W calls take it (wchar_t is 16 bits on Windows).
inline std::wstring Wide(std::string_view text) {
    const std::u16string units = Utf8ToUtf16(text);
    return std::wstring(units.begin(), units.end());
}

inline std::string Narrow(std::wstring_view text) {
    return Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

}  // namespace korvane
