// One finished terminal: everything known of one session of one port once it has ended,
// handed as one value to every record kept of it (the console's summary rows, the report,
// the station's records).
// Thread safety: a plain value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korvane {

struct TerminalOutcome {
    int nPort = 0;
    std::string bindingPosition;  // as the row's BindingPort cell showed it when the session began
    bool passed = false;          // only a session that reported its pass
    std::string message;          // the last result's message ("PASS" after a pass, "Stopped", "Unplugged")
    std::optional<int> command;   // the failed exchange's command code
    uint64_t bytes = 0;           // bytes of the transfer steps (images, logo, files, audio)
    double seconds = 0;           // from Connecting to the last result
    std::string startedAt;        // ISO 8601 local time with offset
    std::string finishedAt;
    std::string tusn;             // as read, else empty
    std::string loaderVersion;    // the answer to the version query, as one line
    std::string imageMd5;         // the received application images' MD5 values, space-separated
    std::string logFile;          // the session's log, when logs are on
    std::string sessionId;        // unique to this session among every run of the station
};

}  // namespace korvane
