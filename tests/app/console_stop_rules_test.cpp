// The console run's end: what stops it on each turn of its loop (Ctrl-C, --timeout on the
// project's clock, --count finished terminals), what a missed count means for the exit
// status, and the one-second tick across late turns and the tick counter's wrap.
#include "app/console_stop_rules.h"

#include <gtest/gtest.h>

#include "app/console_run.h"

namespace korvane {
namespace {

ConsoleOptions Limits(int count, int timeoutSeconds) {
    ConsoleOptions options;
    options.count = count;
    options.timeoutSeconds = timeoutSeconds;
    return options;
}

TEST(ConsoleStopRules, WhatEndsTheRunAndWhetherACountWasMissed) {
    const struct {
        const char* name;
        int count;
        int timeoutSeconds;
        bool interrupted;
        uint32_t elapsedMs;
        size_t finished;
        ConsoleStop stop;
        bool countMissed;
    } cases[] = {
        {"no limits run on", 0, 0, false, 0xFFFFFFFFu, 500, ConsoleStop::kGoOn, false},
        {"just before the time-out", 0, 5, false, 4999, 0, ConsoleStop::kGoOn, false},
        {"at the time-out", 0, 5, false, 5000, 0, ConsoleStop::kTimedOut, false},
        {"a time-out longer than the tick counter holds", 0, 5000000, false, 0xFFFFFFFFu, 0, ConsoleStop::kGoOn,
         false},
        {"one terminal short of the count", 3, 0, false, 60000, 2, ConsoleStop::kGoOn, false},
        {"the count reached", 3, 0, false, 60000, 3, ConsoleStop::kCountReached, false},
        {"the count passed in one turn", 3, 0, false, 60000, 5, ConsoleStop::kCountReached, false},
        {"time-out with fewer than the count", 3, 5, false, 5000, 2, ConsoleStop::kTimedOut, true},
        {"time-out and count in the same turn", 3, 5, false, 5000, 3, ConsoleStop::kTimedOut, false},
        {"Ctrl-C before anything else", 3, 5, true, 9000, 3, ConsoleStop::kInterrupted, false},
        {"Ctrl-C with fewer than the count is no missed count", 3, 5, true, 100, 0, ConsoleStop::kInterrupted,
         false},
        {"Ctrl-C without limits", 0, 0, true, 0, 0, ConsoleStop::kInterrupted, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ConsoleOptions options = Limits(c.count, c.timeoutSeconds);
        const ConsoleStop stop = ConsoleStopReason(options, c.interrupted, c.elapsedMs, c.finished);
        EXPECT_EQ(stop, c.stop);
        EXPECT_EQ(ConsoleCountMissed(options, stop, c.finished), c.countMissed);
    }
}

TEST(ConsoleStopRules, OnlyAllPassedNoMissedCountAndAWrittenReportExitZero) {
    const struct {
        size_t failed;
        bool countMissed;
        bool reportWritten;
        int status;
    } cases[] = {
        {0, false, true, kConsoleAllPassed},
        {1, false, true, kConsoleSomeFailed},
        {0, true, true, kConsoleSomeFailed},
        {0, false, false, kConsoleSomeFailed},
        {2, true, false, kConsoleSomeFailed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConsoleExitStatus(c.failed, c.countMissed, c.reportWritten), c.status)
            << c.failed << " failed, count missed " << c.countMissed << ", report written " << c.reportWritten;
    }
}

TEST(ConsoleStopRules, ALateTickIsOneTickAndTheGridHoldsAcrossTheWrap) {
    const struct {
        const char* name;
        uint32_t nextTick;
        uint32_t now;
        bool due;
        uint32_t after;
    } cases[] = {
        {"before its time", 5000, 4999, false, 5000},
        {"on time", 5000, 5000, true, 6000},
        {"late by two and a half seconds", 5000, 7500, true, 8000},
        {"due just before the wrap, seen after it", 0xFFFFFF00u, 0x00000010u, true, 0xFFFFFF00u + 1000},
        {"due after the wrap, not yet", 0x00000100u, 0xFFFFFFF0u, false, 0x00000100u},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TickDue(c.nextTick, c.now), c.due);
        EXPECT_EQ(NextTickAfter(c.nextTick, c.now, 1000), c.after);
    }
}

}  // namespace
}  // namespace korvane
