// Zero-terminated 8-bit text in a fixed-size field of a record.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace korvane {

// Copies text and its terminator into field and zeroes the rest; false, leaving the field
// untouched, when the text with its terminator does not fit.
template <size_t N>
bool CopyToField(std::string_view text, std::array<char, N>& field) {
    if (text.size() + 1 > N) {
        return false;
    }
    field.fill('\0');
    std::copy(text.begin(), text.end(), field.begin());
    return true;
}

}  // namespace korvane
