// The platform's conversion of a time to the local calendar.
// Thread safety: may run on any thread (no shared static buffer).
#pragma once

#include <ctime>

namespace korvane {

// The local calendar fields of `when` and the zone's offset from UTC in seconds (east
// positive) at that moment. On failure: UTC fields and offset 0.
void LocalCalendar(std::time_t when, std::tm& local, long& offsetSeconds);

}  // namespace korvane
