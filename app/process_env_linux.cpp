#include "app/process_env.h"

#include <cstdlib>

namespace korvane {

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

bool SetProcessVariable(const std::string& name, const std::string& value) {
    return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

}  // namespace korvane
