// Local calendar time as text, for logs and reports.
// Thread safety: every call may run on any thread.
#pragma once

#include <chrono>
#include <string>

namespace korvane {

using WallTime = std::chrono::system_clock::time_point;

// ISO 8601 local time with the zone's offset, to the second: "2026-12-10T16:52:34+01:00".
std::string IsoLocalTime(WallTime when);
// Local time of day to the millisecond: "16:52:34.123".
std::string LocalClockTime(WallTime when);
// Local date and time for file names: "20261210-165234-123".
std::string FileNameTime(WallTime when);

}  // namespace korvane
