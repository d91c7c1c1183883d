// The records tool's questions to the shared table: one unit's sessions on every station,
// a window of time summed up per station, and what the shift page draws.
// Thread safety: one connection per thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

class PgConnection;

struct UnitSession {
    std::string station, sessionId, port, bindingPosition, result, message, command, bytes, seconds, startedAt,
        finishedAt, tusn, loaderVersion, imageMd5, logFile;
};

struct MessageCount {
    std::string message;
    int64_t count = 0;
};

struct StationSummary {
    std::string station;
    int64_t units = 0;      // distinct TUSNs (a session without one counts alone)
    int64_t passed = 0;     // sessions
    int64_t failed = 0;
    double medianSeconds = 0;  // of all sessions
    std::vector<MessageCount> topFailures;  // most frequent first, at most kTopFailures
    // Passed sessions in percent of all; 0 without sessions.
    double Yield() const;
};

struct HourYield {
    std::string station;
    std::string hour;  // "YYYY-MM-DD HH:00" in the session's time zone
    int64_t passed = 0;
    int64_t sessions = 0;
};

struct FailedUnit {
    std::string station, finishedAt, tusn, message, command, logText;
};

struct ShiftReport {
    std::vector<StationSummary> stations;
    std::vector<std::string> hourAxis; // every hour of the window, oldest first, as HourYield::hour
    std::vector<HourYield> hours;      // by station, then hour
    std::vector<MessageCount> pareto;  // failure messages, most frequent first
    std::vector<FailedUnit> failed;    // newest first, at most kFailedShown
    int64_t failedNotShown = 0;
};

inline constexpr size_t kTopFailures = 3;
inline constexpr size_t kParetoBars = 15;
inline constexpr size_t kFailedShown = 500;

// Newest first. False with the reason when the query fails.
bool QueryUnit(PgConnection& db, const std::string& tusn, std::vector<UnitSession>& sessions, std::string& error);
// sinceSeconds: the window's length back from now; station empty: every station.
bool QuerySummary(PgConnection& db, double sinceSeconds, const std::string& station,
                  std::vector<StationSummary>& summaries, std::string& error);
bool QueryShiftReport(PgConnection& db, double sinceSeconds, const std::string& station, ShiftReport& report,
                      std::string& error);

}  // namespace korvane
