#include "platform/environment.h"

#include <windows.h>

#include "platform/wide_text_windows.h"

namespace korvane {

std::optional<std::string> EnvironmentVariable(const char* name) {
    const std::wstring wide_name = Wide(name);
    std::wstring value(256, L'\0');
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length =
            ::GetEnvironmentVariableW(wide_name.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (length == 0) {
            // An empty variable and a missing one both give 0; only the error tells them apart.
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                return std::nullopt;
            }
            return std::string();
        }
        if (length < value.size()) {
            value.resize(length);
            return Narrow(value);
        }
        value.resize(length);  // too small: length is the size needed, with the terminator
    }
}

std::string EnvironmentOrEmpty(const char* name) { return EnvironmentVariable(name).value_or(""); }

}  // namespace korvane
