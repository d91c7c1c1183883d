// When the console's run ends and what that end means for its exit status. Pure rules over
// what the run's loop sees each turn (Ctrl-C, milliseconds since Start on the project's
// clock, finished terminals), so that every combination is tested without a clock running.
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/console_options.h"

namespace korvane {

enum class ConsoleStop {
    kGoOn,          // nothing ends the run yet
    kInterrupted,   // Ctrl-C (SIGINT/SIGTERM)
    kTimedOut,      // --timeout seconds since Start
    kCountReached,  // --count terminals finished
};

// Looked at once per turn of the loop, in this order: Ctrl-C, then --timeout, then --count.
// An option of 0 sets no limit. elapsedMs is a difference of tick counts, so it is right
// across the counter's wrap.
ConsoleStop ConsoleStopReason(const ConsoleOptions& options, bool interrupted, uint32_t elapsedMs, size_t finished);

// Waiting for N terminals and seeing fewer before the time-out is not a success.
bool ConsoleCountMissed(const ConsoleOptions& options, ConsoleStop stop, size_t finished);

// 0 (kConsoleAllPassed) when every finished terminal passed, no count was missed and the
// report, if asked for, was written; otherwise 1 (kConsoleSomeFailed).
int ConsoleExitStatus(size_t failed, bool countMissed, bool reportWritten);

// Whether the one-second tick due at nextTick has come by now (tick counts, wrap-safe).
bool TickDue(uint32_t nextTick, uint32_t now);
// The first tick after now on the grid nextTick + k * period: like a window timer, a late
// tick is one tick, and the seconds it missed are not made up.
uint32_t NextTickAfter(uint32_t nextTick, uint32_t now, uint32_t period);

}  // namespace korvane
