#include "platform/wall_clock.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/local_calendar.h"

namespace korvane {

namespace {

struct Parts {
    std::tm local{};
    long offsetSeconds = 0;
    int ms = 0;
};

Parts Split(WallTime when) {
    Parts parts;
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    LocalCalendar(seconds, parts.local, parts.offsetSeconds);
    const auto sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    parts.ms = static_cast<int>(((sinceEpoch % 1000) + 1000) % 1000);
    return parts;
}

}  // namespace

std::string IsoLocalTime(WallTime when) {
    const Parts p = Split(when);
    const long offsetMinutes = std::labs(p.offsetSeconds) / 60;
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", p.local.tm_year + 1900,
                  p.local.tm_mon + 1, p.local.tm_mday, p.local.tm_hour, p.local.tm_min, p.local.tm_sec,
                  p.offsetSeconds < 0 ? '-' : '+', offsetMinutes / 60, offsetMinutes % 60);
    return text;
}

std::string LocalClockTime(WallTime when) {
    const Parts p = Split(when);
    char text[64];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", p.local.tm_hour, p.local.tm_min, p.local.tm_sec, p.ms);
    return text;
}

std::string FileNameTime(WallTime when) {
    const Parts p = Split(when);
    char text[96];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d-%03d", p.local.tm_year + 1900, p.local.tm_mon + 1,
                  p.local.tm_mday, p.local.tm_hour, p.local.tm_min, p.local.tm_sec, p.ms);
    return text;
}

}  // namespace korvane
