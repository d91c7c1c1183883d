// One finished terminal as the station's records keep it: the report's columns, plus the
// station and the session's id that together name the row, and for a failed terminal the
// end of its session log.
// Thread safety: plain data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korvane {

struct StationRow {
    std::string station;          // the station's name (--station, else the host name)
    std::string sessionId;        // unique among the sessions of one station
    int port = 0;
    std::string bindingPosition;
    bool passed = false;
    std::string message;
    std::optional<int> command;
    uint64_t bytes = 0;
    double seconds = 0;
    std::string startedAt;        // ISO 8601 with offset; empty when unknown
    std::string finishedAt;       // ISO 8601 with offset
    std::string tusn;
    std::string loaderVersion;
    std::string imageMd5;
    std::string logFile;
    std::optional<std::string> logText;  // failed terminals only, bounded by BoundLogText
};

// The log text kept with a failed terminal: at most this many bytes of the log's end.
inline constexpr size_t kLogTextLimit = 64 * 1024;

// What the database takes as text: well-formed UTF-8 without NUL characters. Invalid bytes
// become U+FFFD and NULs are left out, so a terminal's stray byte cannot make a row that the
// server refuses for ever.
std::string StorableText(std::string_view text);
// The end of a session log, at most kLogTextLimit bytes, cut at a line start where one lies
// near the cut, with a first line telling how much was left out.
std::string BoundLogText(std::string_view log);
// The row with every text field made storable.
StationRow StorableRow(StationRow row);

// "Passed" or "Failed", as the report writes them.
const char* ResultText(bool passed);

}  // namespace korvane
