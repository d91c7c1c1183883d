// Variables of the process environment as UTF-8. Windows keeps the environment in UTF-16;
// its 8-bit copy is in the ANSI code page, which cannot hold every folder name, so the
// variables are read in their wide form and converted here, once.
// Thread safety: any thread, as long as no thread changes the environment meanwhile.
#pragma once

#include <optional>
#include <string>

namespace korvane {

// The variable's value, or nothing when it is not set.
std::optional<std::string> EnvironmentVariable(const char* name);
// The value, or "" when the variable is not set.
std::string EnvironmentOrEmpty(const char* name);

}  // namespace korvane
