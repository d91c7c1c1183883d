// Publishing a simulated terminal as a virtual port: the link DIR/COM<n> to its device
// and its description in DIR/COM<n>.desc. Creating the link is plugging the terminal
// in; removing it is unplugging.
// Thread safety: calls for different port numbers may run at once.
#pragma once

#include <string>

namespace korvane::sim {

inline constexpr const char* kDefaultPortDescription = "Unisoc Usb Serial Port 0";

// The folder named by KORVANE_VIRTUAL_PORTS, or empty.
std::string VirtualPortsFromEnvironment();
std::string VirtualPortLink(const std::string& dir, int port);

// Writes the description, then makes the link (each replaced atomically, so a watcher
// never sees half of either; a stale link of an earlier run is replaced). False with a
// message when the folder is unusable or DIR/COM<n> is something other than a link.
bool PublishVirtualPort(const std::string& dir, int port, const std::string& device, const std::string& description,
                        std::string& error);
// Removes the link first (the unplug a watcher notices), then the description.
void WithdrawVirtualPort(const std::string& dir, int port);

}  // namespace korvane::sim
