// What the console needs from the platform: whether stdout is a terminal and how wide,
// Ctrl-C and termination as a stop request, and the local time of day for its lines.
// Thread safety: InstallStopSignals on the front end's thread before the loop; the rest
// from any thread.
#pragma once

#include <cstddef>
#include <string>

namespace korvane {

bool StdoutIsTerminal();
// Columns of the terminal on stdout; 100 when it cannot be told.
size_t TerminalColumns();

// From now on the first SIGINT or SIGTERM asks the console to stop (a second one ends
// the process the ordinary way).
void InstallStopSignals();
bool StopRequested();

// "HH:MM:SS" of the local time now.
std::string LocalTimeOfDay();

}  // namespace korvane
