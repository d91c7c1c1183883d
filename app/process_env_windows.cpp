#include "app/process_env.h"

#include <cstdlib>

#include "platform/wide_text_windows.h"

namespace korvane {

bool SetProcessVariable(const std::string& name, const std::string& value) {
    // Through the C runtime, which the modules share and read with getenv; it passes the
    // change on to the process environment as well.
    return ::_wputenv_s(Wide(name).c_str(), Wide(value).c_str()) == 0;
}

}  // namespace korvane
