// Which serial ports are terminals in their download mode, and so get a session.
//
// A port is taken when the description the tool compares (its device description, else
// its friendly name) is one of the accepted texts, or when its USB vendor and product ids
// (and, when given, its interface number) are one of the accepted ids. The description
// "Unisoc Usb Serial Port 0" is always accepted; the optional section [Match] of the
// port-number table ComPorts.ini adds more:
//   Description1=..., Description2=...   exact texts
//   UsbId1=1782:4d00, UsbId2=1782:4d00:02   vid:pid[:interface] in hexadecimal
// Pure functions; the file is read by LoadPortMatch only.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "discovery/port_enum.h"

namespace korvane {

inline constexpr const char* kTerminalDescription = "Unisoc Usb Serial Port 0";
inline constexpr const char* kMatchSection = "Match";

struct UsbIdRule {
    std::string vid;                         // four lower-case hex digits
    std::string pid;                         // four lower-case hex digits
    std::optional<std::string> usbInterface; // two lower-case hex digits; none: any interface
    bool operator==(const UsbIdRule&) const = default;
};

struct PortMatch {
    std::vector<std::string> descriptions{kTerminalDescription};
    std::vector<UsbIdRule> usbIds;
};

// The description run control compares: the device description, else the friendly name.
std::string ComparedDescription(const PortInterface& port);

// Whether the port gets a session.
bool IsTerminalPort(const PortInterface& port, const PortMatch& match);

// A "vid:pid" or "vid:pid:interface" text (1 to 4 hex digits each, 1 or 2 for the
// interface, blanks around it ignored), normalised; nothing when it is not one.
std::optional<UsbIdRule> ParseUsbId(const std::string& text);

// The match from the entries of [Match]: keys Description<n> and UsbId<n> (any case, n a
// positive number, in any order). Entries that mean nothing are left out and named in
// `refused` as "key=value", so that the operator can be told.
PortMatch ParsePortMatch(const std::vector<std::pair<std::string, std::string>>& entries,
                         std::vector<std::string>& refused);

// The match of the table file's [Match] section; the default alone when there is none.
PortMatch LoadPortMatch(const std::string& tableFile, std::vector<std::string>& refused);

}  // namespace korvane
