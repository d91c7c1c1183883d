// The system's proxy settings for transfers that no proxy variable covers. libcurl reads
// http_proxy, https_proxy, all_proxy and no_proxy itself; a Windows PC usually has its proxy
// in the user's Internet settings instead, which libcurl does not read.
// Thread safety: any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// The system's settings as the system gives them: proxy "host:port", or per scheme
// "http=host:port;https=host:port"; bypass "<local>;*.example.com;10.1.2.3".
struct SystemProxyText {
    std::string proxy;
    std::string bypass;
};

// What libcurl is given: CURLOPT_PROXY and CURLOPT_NOPROXY.
struct ProxyChoice {
    std::string proxy;
    std::string no_proxy;
};

// The system's settings (Windows: the user's Internet settings, WinHTTP's reading of them);
// nothing when there are none or on Linux, where the proxy variables are the settings.
std::optional<SystemProxyText> ReadSystemProxy();

// True when one of the variables libcurl reads names a proxy or exceptions.
bool ProxyVariablesSet();

// The proxy for a URL of that scheme ("http" or "https") from the system's text; nothing
// when the text names none for the scheme. The bypass list becomes libcurl's: "<local>"
// is the local host, "*.example.com" the domain and its hosts; other wildcards cannot be
// said to libcurl and are left out.
std::optional<ProxyChoice> ChooseProxy(std::string_view scheme, const SystemProxyText& text);

}  // namespace korvane
