#include "app/console_stop_rules.h"

#include "app/console_run.h"

namespace korvane {

ConsoleStop ConsoleStopReason(const ConsoleOptions& options, bool interrupted, uint32_t elapsedMs, size_t finished) {
    if (interrupted) {
        return ConsoleStop::kInterrupted;
    }
    if (options.timeoutSeconds > 0 && uint64_t{elapsedMs} >= uint64_t{1000} * static_cast<uint64_t>(options.timeoutSeconds)) {
        return ConsoleStop::kTimedOut;
    }
    if (options.count > 0 && finished >= static_cast<size_t>(options.count)) {
        return ConsoleStop::kCountReached;
    }
    return ConsoleStop::kGoOn;
}

bool ConsoleCountMissed(const ConsoleOptions& options, ConsoleStop stop, size_t finished) {
    return stop == ConsoleStop::kTimedOut && options.count > 0 && finished < static_cast<size_t>(options.count);
}

int ConsoleExitStatus(size_t failed, bool countMissed, bool reportWritten) {
    return failed == 0 && !countMissed && reportWritten ? kConsoleAllPassed : kConsoleSomeFailed;
}

bool TickDue(uint32_t nextTick, uint32_t now) { return static_cast<int32_t>(now - nextTick) >= 0; }

uint32_t NextTickAfter(uint32_t nextTick, uint32_t now, uint32_t period) {
    if (!TickDue(nextTick, now)) {
        return nextTick;
    }
    const uint32_t missed = (now - nextTick) / period;
    return nextTick + (missed + 1) * period;
}

}  // namespace korvane
