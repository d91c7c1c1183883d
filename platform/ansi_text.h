// 8-bit text in the system's ANSI code page: file names and texts that go to a terminal.
// On Windows the program converts them with the ANSI code page, so terminals see the bytes
// they always saw; on Linux the 8-bit form is UTF-8 and the conversion leaves text as it is.
// Thread safety: any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// The UTF-8 text in the ANSI code page. A character the code page lacks becomes the code
// page's default character ('?'), as the system's own conversion gives it.
std::string ToAnsiCodePage(std::string_view utf8);
// The ANSI-code-page text as UTF-8.
std::string FromAnsiCodePage(std::string_view ansi);

// Conversions that never guess, for text that must come back byte for byte: nothing when
// the bytes are no valid text of the code page, or the code page cannot hold a character
// of the UTF-8 text. On Linux the code page is UTF-8 itself.
std::optional<std::string> FromAnsiCodePageExact(std::string_view ansi);
std::optional<std::string> ToAnsiCodePageExact(std::string_view utf8);

}  // namespace korvane
