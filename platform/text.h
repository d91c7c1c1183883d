// UTF-8 / UTF-16 conversion and small text helpers. The program keeps UTF-8 in std::string; the modules'
// W entry points take UTF-16. Invalid input is replaced by U+FFFD, never dropped silently.
#pragma once

#include <string>
#include <string_view>

namespace korvane {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Whether the bytes are well-formed UTF-8 (what converts to UTF-16 and back unchanged).
bool IsValidUtf8(std::string_view text);

// The text cut to at most max_bytes bytes, never inside a UTF-8 character: a character
// that does not fit whole is left out.
std::string CutAtCharacter(std::string text, size_t max_bytes);

// The text without blanks (space, tab, line breaks, vertical tab, form feed) at either end.
std::string_view TrimBlanks(std::string_view text);

// A number with a fixed count of decimals and a decimal point, whatever the C library's
// locale says: reports, logs and the console's lines keep one form of number.
std::string DecimalText(double value, int decimals);

// A CSV cell: in double quotes, inner quotes doubled, when it holds a comma, a quote or a
// line break; otherwise as it is.
std::string CsvQuoted(std::string_view text);
// A CSV cell of free text: one that a spreadsheet would take as a formula or whose first
// character it would drop (=, +, -, @, tab, CR) gets a leading apostrophe, then CsvQuoted.
std::string CsvTextCell(std::string_view text);
// A JSON string literal: quotes, backslashes and control characters escaped, every other
// byte as it is.
std::string JsonQuoted(std::string_view text);

}  // namespace korvane
