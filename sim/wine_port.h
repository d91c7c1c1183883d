// Making a simulated terminal reachable as COM<n> from Windows programs run under Wine:
// Wine opens \\.\COM<n> through the link PREFIX/dosdevices/com<n>, so that link goes to the
// terminal's pseudo-terminal while it is plugged in.
// Thread safety: calls for different port numbers may run at once.
#pragma once

#include <string>

namespace korvane::sim {

std::string WineComPortLink(const std::string& prefix, int port);

// Makes PREFIX/dosdevices/com<n> point at the device, replacing a stale link atomically. False
// with a message when PREFIX/dosdevices is missing (not a Wine prefix) or com<n> there is
// something other than a link.
bool PublishWineComPort(const std::string& prefix, int port, const std::string& device, std::string& error);
// Removes PREFIX/dosdevices/com<n> when it is a link; leaves anything else alone.
void WithdrawWineComPort(const std::string& prefix, int port);

}  // namespace korvane::sim
