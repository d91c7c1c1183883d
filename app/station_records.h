// The station's records: every finished terminal handed to the records writer as one row
// of the shared table, named by the station and a fresh session id. Set up from --records
// and --station, else KORVANE_RECORDS and KORVANE_STATION, the station being the host name
// by default. Failed terminals carry the end of their session log.
// Thread safety: Add from the front end's thread; the writer sends on its own thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/terminal_report.h"
#include "records/station_row.h"

namespace korvane {

class RecordsWriter;

inline constexpr const char* kRecordsVariable = "KORVANE_RECORDS";
inline constexpr const char* kStationVariable = "KORVANE_STATION";
// The spool's folder inside the configuration folder.
inline constexpr const char* kRecordsSpoolFolder = "records-spool";

struct RecordsSettings {
    std::string connection;  // libpq connection string or URI; empty: no records
    std::string station;     // empty: the host name
};

// The option's values where given, else the variables' (nullptr when unset).
RecordsSettings ResolveRecordsSettings(RecordsSettings options, const char* connectionVariable,
                                       const char* stationVariable);

// A session id no other session of the station has: the finishing time, the port and
// random bits.
std::string NewSessionId(const TerminalOutcome& outcome);
// The row of a finished terminal. logText: the session log's text for a failed one.
StationRow RowOfOutcome(const TerminalOutcome& outcome, const std::string& station, const std::string& sessionId,
                        std::optional<std::string> logText);

class StationRecords {
public:
    using Warn = std::function<void(const std::string&)>;

    // Starts the writer (waiting at most about a second for the database); null when
    // settings.connection is empty.
    static std::unique_ptr<StationRecords> Open(const RecordsSettings& settings, const std::string& configDir,
                                                Warn warn);
    // Gives the writer a moment to send what waits; the rest stays in the spool.
    ~StationRecords();

    void Add(const TerminalOutcome& outcome);

private:
    StationRecords(std::string station, std::unique_ptr<RecordsWriter> writer);

    std::string station_;
    std::unique_ptr<RecordsWriter> writer_;
};

}  // namespace korvane
