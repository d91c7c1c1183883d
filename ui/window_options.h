// The window's command line, the same in both windows.
// Thread safety: plain data and a pure function.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace korvane {

struct WindowOptions {
    std::string configDir;         // --config-dir DIR: INI files and keyPair.bin (default: beside the program)
    bool autostart = false;        // --autostart: press Start once start-up is done
    int count = 0;                 // --count N: close after N terminals finished; 0: no limit
    int timeoutSeconds = 0;        // --timeout S: close S seconds after start-up; 0: no limit
    std::string reportFile;        // --report FILE: one row per finished terminal (CSV, or JSON lines for .jsonl)
    std::string logDir;            // --log-dir DIR: one log file per terminal session
    std::string records;           // --records URL: the shared records' database (else KORVANE_RECORDS)
    std::string station;           // --station NAME: this station's name there (else KORVANE_STATION, the host name)
    std::string screenshotFile;    // --screenshot FILE: save a picture of the window, then close it
    int screenshotAfterMs = 3000;  // --after MS: how long after start-up the picture is taken
    std::string error;             // why the options were refused; empty when they were taken
};

// Reads the options after the program name (arguments[0]); unknown or incomplete options
// are refused. A report, log folder, records database or station not given here is taken
// from KORVANE_REPORT, KORVANE_LOG_DIR, KORVANE_RECORDS or KORVANE_STATION through
// `environment` (empty text: not set).
WindowOptions ParseWindowOptions(const std::vector<std::string>& arguments,
                                 const std::function<std::string(const char* name)>& environment);

}  // namespace korvane
