#include "images/system_proxy.h"

#include <windows.h>
#include <winhttp.h>

#include "platform/wide_text_windows.h"

namespace korvane {
namespace {

// Takes a string WinHTTP allocated for the caller.
std::string TakeText(LPWSTR text) {
    if (text == nullptr) {
        return {};
    }
    std::string narrow = Narrow(text);
    ::GlobalFree(text);
    return narrow;
}

}  // namespace

std::optional<SystemProxyText> ReadSystemProxy() {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (::WinHttpGetIEProxyConfigForCurrentUser(&config) == 0) {
        return std::nullopt;
    }
    // An automatic configuration script is not run: the fixed proxy is what a factory network
    // without a script server can use.
    TakeText(config.lpszAutoConfigUrl);
    SystemProxyText text{TakeText(config.lpszProxy), TakeText(config.lpszProxyBypass)};
    if (text.proxy.empty()) {
        return std::nullopt;
    }
    return text;
}

}  // namespace korvane
