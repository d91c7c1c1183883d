#include "discovery/port_match.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "platform/profile.h"
#include "platform/text.h"

namespace korvane {

namespace {

// 1 to `width` hex digits, returned as exactly `width` lower-case digits.
std::optional<std::string> HexField(std::string_view text, size_t width) {
    text = TrimBlanks(text);
    if (text.empty() || text.size() > width ||
        !std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; })) {
        return std::nullopt;
    }
    std::string field(width - text.size(), '0');
    for (const char c : text) {
        field += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return field;
}

// Whether a key is `stem` followed by a positive decimal number (stem in any case).
bool IsNumberedKey(std::string_view key, std::string_view stem) {
    if (key.size() <= stem.size()) {
        return false;
    }
    for (size_t i = 0; i < stem.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(key[i])) != std::tolower(static_cast<unsigned char>(stem[i]))) {
            return false;
        }
    }
    const std::string_view number = key.substr(stem.size());
    return number.front() != '0' &&
           std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string ComparedDescription(const PortInterface& port) {
    return port.deviceDesc.empty() ? port.friendlyName : port.deviceDesc;
}

bool IsTerminalPort(const PortInterface& port, const PortMatch& match) {
    const std::string description = ComparedDescription(port);
    if (!description.empty() &&
        std::find(match.descriptions.begin(), match.descriptions.end(), description) != match.descriptions.end()) {
        return true;
    }
    // Normalised like the rules, whatever spelling the platform gives the ids in.
    const std::optional<std::string> vid = HexField(port.usbVid, 4);
    const std::optional<std::string> pid = HexField(port.usbPid, 4);
    if (!vid || !pid) {
        return false;
    }
    const std::optional<std::string> portInterface = HexField(port.usbInterface, 2);
    return std::any_of(match.usbIds.begin(), match.usbIds.end(), [&](const UsbIdRule& rule) {
        return rule.vid == *vid && rule.pid == *pid &&
               (!rule.usbInterface || rule.usbInterface == portInterface);
    });
}

std::optional<UsbIdRule> ParseUsbId(const std::string& text) {
    const std::string_view whole(text);
    const size_t first = whole.find(':');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    const size_t second = whole.find(':', first + 1);
    const std::string_view pidText =
        whole.substr(first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1);
    auto vid = HexField(whole.substr(0, first), 4);
    auto pid = HexField(pidText, 4);
    if (!vid || !pid) {
        return std::nullopt;
    }
    UsbIdRule rule{std::move(*vid), std::move(*pid), std::nullopt};
    if (second != std::string_view::npos) {
        rule.usbInterface = HexField(whole.substr(second + 1), 2);
        if (!rule.usbInterface) {
            return std::nullopt;
        }
    }
    return rule;
}

PortMatch ParsePortMatch(const std::vector<std::pair<std::string, std::string>>& entries,
                         std::vector<std::string>& refused) {
    PortMatch match;
    for (const auto& [key, value] : entries) {
        if (IsNumberedKey(key, "Description") && !value.empty()) {
            match.descriptions.push_back(value);
        } else if (auto rule = IsNumberedKey(key, "UsbId") ? ParseUsbId(value) : std::nullopt) {
            match.usbIds.push_back(std::move(*rule));
        } else {
            refused.push_back(key + "=" + value);
        }
    }
    return match;
}

PortMatch LoadPortMatch(const std::string& tableFile, std::vector<std::string>& refused) {
    return ParsePortMatch(ReadProfileSection(tableFile, kMatchSection), refused);
}

}  // namespace korvane
