#include "platform/local_calendar.h"

#include <time.h>

namespace korvane {

void LocalCalendar(std::time_t when, std::tm& local, long& offsetSeconds) {
    if (localtime_s(&local, &when) == 0) {
        // The local fields read as UTC, less the moment itself: the zone's offset then.
        std::tm fields = local;
        offsetSeconds = static_cast<long>(_mkgmtime(&fields) - when);
        return;
    }
    gmtime_s(&local, &when);
    offsetSeconds = 0;
}

}  // namespace korvane
