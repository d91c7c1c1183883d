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

std::optional<std::string> FromAnsiCodePageExact(std::string_view ansi) {
    if (ansi.empty()) {
        return std::string();
    }
    if (ansi.size() > INT_MAX) {
        return std::nullopt;
    }
    const int bytes = static_cast<int>(ansi.size());
    const int needed = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), bytes, nullptr, 0);
    if (needed <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi.data(), bytes, wide.data(), needed);
    std::string utf8 = Narrow(wide);
    // A byte the code page maps to a character it does not map back (a best-fit or an
    // unassigned byte) would change on the way back.
    if (ToAnsiCodePageExact(utf8) != ansi) {
        return std::nullopt;
    }
    return utf8;
}

std::optional<std::string> ToAnsiCodePageExact(std::string_view utf8) {
    if (utf8.empty()) {
        return std::string();
    }
    if (!IsValidUtf8(utf8) || utf8.size() > INT_MAX / 4) {
        return std::nullopt;
    }
    const std::wstring wide = Wide(utf8);
    const int units = static_cast<int>(wide.size());
    BOOL lossy = FALSE;
    const int needed =
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, nullptr, 0, nullptr, &lossy);
    if (needed <= 0 || lossy) {
        return std::nullopt;
    }
    std::string ansi(static_cast<size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, ansi.data(), needed, nullptr, &lossy);
    if (lossy) {
        return std::nullopt;
    }
    return ansi;
}

}  // namespace korvane
