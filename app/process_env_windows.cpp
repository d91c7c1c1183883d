#include "app/process_env.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>

#include "platform/wide_text_windows.h"

namespace korvane {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr || count != argc) {
        if (wide != nullptr) {
            ::LocalFree(wide);
        }
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        arguments.push_back(Narrow(wide[i]));
    }
    ::LocalFree(wide);
    return arguments;
}

bool SetProcessVariable(const std::string& name, const std::string& value) {
    // Through the C runtime, which the modules share and read with getenv; it passes the
    // change on to the process environment as well.
    return ::_wputenv_s(Wide(name).c_str(), Wide(value).c_str()) == 0;
}

}  // namespace korvane
