// Copying results into buffers the caller owns, with the caller's capacity counted in units
// (bytes or UTF-16 units) including the terminator. Nothing is ever written past capacity,
// and nothing at all when the buffer is null or the capacity 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// The whole text and its length; when it does not fit, an empty text and -1.
int32_t CopyWhole(std::string_view text, char* buffer, uint32_t capacity);
int32_t CopyWhole(std::u16string_view text, char16_t* buffer, uint32_t capacity);

// As much of the text as fits in capacity - 1 units, never splitting a character; the number
// of units copied.
uint32_t CopyCut(std::string_view text, char* buffer, uint32_t capacity);
uint32_t CopyCut(std::u16string_view text, char16_t* buffer, uint32_t capacity);

// Names as a list of terminated texts closed by one more terminator; whole names only, as
// many as fit. The units written without the closing terminator.
uint32_t CopyNameList(const std::vector<std::string>& names, char* buffer, uint32_t capacity);
uint32_t CopyNameList(const std::vector<std::u16string>& names, char16_t* buffer, uint32_t capacity);

// Text of a C string that may be null.
std::string_view TextOf(const char* text);
std::u16string_view TextOf(const char16_t* text);

}  // namespace korvane
