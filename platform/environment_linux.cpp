#include "platform/environment.h"

#include <cstdlib>

namespace korvane {

std::optional<std::string> EnvironmentVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

std::string EnvironmentOrEmpty(const char* name) { return EnvironmentVariable(name).value_or(""); }

}  // namespace korvane
