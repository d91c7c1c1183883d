// How configuration values are read from the INI files: switches, integers and texts.
// Pure functions; safe from any thread.
#pragma once

#include <cstdint>
#include <string_view>

namespace korvane {

// A switch is on only when its value is exactly "1"; "true", "01" and " 1" are off.
bool IsSwitchOn(std::string_view text);

// A signed 32-bit decimal number: leading blanks and one sign are accepted, reading stops
// at the first character that is not a digit, a text without digits gives 0, and a value
// beyond the 32-bit range gives the nearest limit.
int32_t ParseIniInteger(std::string_view text);

}  // namespace korvane
