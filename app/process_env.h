// The process environment, for values the modules read at their own start.
// Thread safety: start-up only; no other thread may read the environment meanwhile.
#pragma once

#include <string>
#include <vector>

namespace korvane {

// Name of the variable that tells the channel module where the port-number table lies.
inline constexpr const char* kConfigDirVariable = "KORVANE_CONFIG_DIR";

// The command line as UTF-8 texts, the program's name first. Windows hands main() its
// arguments in the 8-bit code page, which cannot hold every folder name; there they are
// taken from the wide command line instead.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Sets (or replaces) a variable of this process; false when it could not be set.
bool SetProcessVariable(const std::string& name, const std::string& value);

}  // namespace korvane
