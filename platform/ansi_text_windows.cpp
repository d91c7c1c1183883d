#include "platform/ansi_text.h"

#include <windows.h>

#include <climits>

#include "platform/wide_text_windows.h"

namespace korvane {

std::string ToAnsiCodePage(std::string_view utf8) {
    const std::wstring wide = Wide(utf8);
    if (wide.empty() || wide.size() > INT_MAX / 4) {
        return {};
    }
    const int units = static_cast<int>(wide.size());
    const int needed = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return {};
    }
    std::string ansi(static_cast<size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), units, ansi.data(), needed, nullptr, nullptr);
    return ansi;
}

std::string FromAnsiCodePage(std::string_view ansi) {
    if (ansi.empty() || ansi.size() > INT_MAX) {
        return {};
    }
    const int bytes = static_cast<int>(ansi.size());
    const int needed = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, nullptr, 0);
    if (needed <= 0) {
        return {};
    }
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, wide.data(), needed);
    return Narrow(wide);
}

}  // namespace korvane
