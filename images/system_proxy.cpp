#include "images/system_proxy.h"

#include <array>
#include <cctype>

#include "platform/environment.h"
#include "platform/text.h"

namespace korvane {
namespace {

// The entries of a list separated by ';' or blanks, without empty ones.
template <typename Each>
void ForEachEntry(std::string_view list, Each each) {
    size_t start = 0;
    while (start < list.size()) {
        const size_t end = list.find_first_of("; \t", start);
        const std::string_view entry = list.substr(start, end == std::string_view::npos ? end : end - start);
        if (!entry.empty()) {
            each(entry);
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
}

bool SameScheme(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string ProxyFor(std::string_view scheme, std::string_view list) {
    std::string any;
    std::string chosen;
    ForEachEntry(list, [&](std::string_view entry) {
        const size_t equals = entry.find('=');
        if (equals == std::string_view::npos) {
            if (any.empty()) {
                any = std::string(entry);
            }
        } else if (chosen.empty() && SameScheme(entry.substr(0, equals), scheme)) {
            chosen = std::string(entry.substr(equals + 1));
        }
    });
    return chosen.empty() ? any : chosen;
}

std::string NoProxyFrom(std::string_view bypass) {
    std::string list;
    const auto add = [&list](std::string_view host) {
        if (!list.empty()) {
            list += ',';
        }
        list += host;
    };
    ForEachEntry(bypass, [&](std::string_view entry) {
        if (entry == "<local>") {
            add("localhost,127.0.0.1,::1");
        } else if (entry.starts_with("*.") && entry.find('*', 1) == std::string_view::npos) {
            add(entry.substr(1));
        } else if (entry.find('*') == std::string_view::npos) {
            add(entry);
        }
    });
    return list;
}

}  // namespace

bool ProxyVariablesSet() {
    constexpr std::array kVariables = {"http_proxy", "HTTPS_PROXY", "https_proxy", "ALL_PROXY",
                                       "all_proxy",  "NO_PROXY",    "no_proxy"};
    for (const char* name : kVariables) {
        if (!EnvironmentOrEmpty(name).empty()) {
            return true;
        }
    }
    return false;
}

std::optional<ProxyChoice> ChooseProxy(std::string_view scheme, const SystemProxyText& text) {
    ProxyChoice choice{ProxyFor(scheme, TrimBlanks(text.proxy)), NoProxyFrom(text.bypass)};
    if (choice.proxy.empty()) {
        return std::nullopt;
    }
    return choice;
}

}  // namespace korvane
