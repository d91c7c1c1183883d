// The console front end's command line.
#pragma once

#include <string>

namespace korvane {

inline constexpr const char* kHeadlessOption = "--headless";
inline constexpr const char* kListPortsOption = "--list-ports";

struct ConsoleOptions {
    std::string configDir;  // --config-dir; empty: the executable's folder
    bool help = false;      // --help
    int count = 0;          // --count N: stop after N terminals finished; 0: no limit
    int timeoutSeconds = 0; // --timeout S: stop after S seconds; 0: no limit
    std::string reportFile; // --report FILE: one row per finished terminal (CSV, or JSON lines for .jsonl)
    bool listPorts = false; // --list-ports: print the serial ports present now and exit
};

// True when the command line asks for the console front end (--headless or --list-ports).
bool WantsConsole(int argc, char** argv);
// Parses every argument after the program name (--headless included); false with a
// one-line reason in error for an unknown option or a missing value.
bool ParseConsoleOptions(int argc, char** argv, ConsoleOptions& options, std::string& error);
// The usage text, one option per line.
const char* ConsoleUsage();

}  // namespace korvane
