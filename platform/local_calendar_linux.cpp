#include "platform/local_calendar.h"

namespace korvane {

void LocalCalendar(std::time_t when, std::tm& local, long& offsetSeconds) {
    if (localtime_r(&when, &local) != nullptr) {
        offsetSeconds = local.tm_gmtoff;
        return;
    }
    gmtime_r(&when, &local);
    offsetSeconds = 0;
}

}  // namespace korvane
