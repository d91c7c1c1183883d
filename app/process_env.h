// The process environment, for values the modules read at their own start.
// Thread safety: start-up only; no other thread may read the environment meanwhile.
#pragma once

#include <string>

namespace korvane {

// Name of the variable that tells the channel module where the port-number table lies.
inline constexpr const char* kConfigDirVariable = "KORVANE_CONFIG_DIR";

// Sets (or replaces) a variable of this process; false when it could not be set.
bool SetProcessVariable(const std::string& name, const std::string& value);

}  // namespace korvane
