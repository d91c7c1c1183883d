#include "app/process_env.h"

#include <cstdlib>

namespace korvane {

bool SetProcessVariable(const std::string& name, const std::string& value) {
    return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

}  // namespace korvane
