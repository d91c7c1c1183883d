// The computer's name, which names a station in the shared records by default.
// Thread safety: may be called from any thread.
#pragma once

#include <string>

namespace korvane {

// The host name as UTF-8; "station" when the system gives none.
std::string HostName();

}  // namespace korvane
