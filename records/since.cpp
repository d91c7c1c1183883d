#include "records/since.h"

#include <charconv>
#include <string_view>
#include <system_error>

namespace korvane {

bool ParseSince(const std::string& text, double& seconds) {
    if (text.empty()) {
        return false;
    }
    double unit = 3600;
    std::string_view number = text;
    switch (text.back()) {
    case 's': unit = 1; break;
    case 'm': unit = 60; break;
    case 'h': unit = 3600; break;
    case 'd': unit = 86400; break;
    default: unit = 0;
    }
    if (unit != 0) {
        number.remove_suffix(1);
    } else {
        unit = 3600;
    }
    double value = 0;
    const auto [end, parseError] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (parseError != std::errc() || end != number.data() + number.size() || number.empty() || !(value > 0)) {
        return false;
    }
    seconds = value * unit;
    return seconds <= 366.0 * 86400;
}

}  // namespace korvane
