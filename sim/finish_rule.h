// When the program counts a terminal as finished: it answered "CHECK SP" (the last
// exchange of a session), answered a reset (the end of the "APP is Running" path), was
// unplugged by a fault, or has been quiet for the idle time after it received anything
// (a session that ended otherwise, passed or failed). An answer still on its way out
// holds the finish back, so that unplugging a finished terminal never cuts it off.
#pragma once

#include <chrono>
#include <string_view>

#include "sim/sim_terminal.h"

namespace korvane::sim {

// The reason the terminal is finished, or empty while it is not.
std::string_view FinishReason(const TerminalStatus& status, std::chrono::steady_clock::time_point now,
                              std::chrono::milliseconds idle);

}  // namespace korvane::sim
