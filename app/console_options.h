// The console front end's command line.
#pragma once

#include <string>

namespace korvane {

inline constexpr const char* kHeadlessOption = "--headless";
// The session-log folder when --log-dir is not given.
inline constexpr const char* kLogDirVariable = "KORVANE_LOG_DIR";
inline constexpr const char* kListPortsOption = "--list-ports";

struct ConsoleOptions {
    std::string configDir;  // --config-dir; empty: the executable's folder
    bool help = false;      // --help
    int count = 0;          // --count N: stop after N terminals finished; 0: no limit
    int timeoutSeconds = 0; // --timeout S: stop after S seconds; 0: no limit
    std::string reportFile; // --report FILE: one row per finished terminal (CSV, or JSON lines for .jsonl)
    std::string logDir;     // --log-dir DIR: one log file per terminal session; empty: no logs
    bool quiet = false;     // --quiet: only the final rows
    bool listPorts = false; // --list-ports: print the serial ports present now and exit
    std::string records;    // --records URL: the shared records' database (libpq connection string or URI)
    std::string station;    // --station NAME: this station's name in the records (default: the host name)
};

// True when the command line asks for the console front end (--headless or --list-ports).
bool WantsConsole(int argc, char** argv);
// Parses every argument after the program name (--headless included); false with a
// one-line reason in error for an unknown option or a missing value.
bool ParseConsoleOptions(int argc, char** argv, ConsoleOptions& options, std::string& error);
// The usage text, one option per line.
const char* ConsoleUsage();

}  // namespace korvane
