// The console's control events on Windows: Ctrl-C asks for a stop once, and a closing console
// window holds the process until the run has written its report and logs, within the time
// Windows gives.

#include "app/console_events_windows.h"
#include "app/console_terminal.h"

#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

namespace korvane {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// One test: the stop request and the work-done signal are the process's own, set once.
TEST(ConsoleEventsWindows, StopOnceThenCloseWaitsForTheWrittenReport) {
    EXPECT_FALSE(StopRequested());
    EXPECT_EQ(HandleConsoleEvent(CTRL_C_EVENT, 0), TRUE);
    EXPECT_TRUE(StopRequested());
    // A second Ctrl-C or Ctrl-Break goes to the system, which ends a program that hangs.
    EXPECT_EQ(HandleConsoleEvent(CTRL_BREAK_EVENT, 0), FALSE);
    EXPECT_EQ(HandleConsoleEvent(CTRL_C_EVENT, 0), FALSE);
    EXPECT_EQ(HandleConsoleEvent(0xFFFF, 0), FALSE);  // not an event of ours

    // The run never says it is done: the handler gives up at its bound.
    const Clock::time_point bounded = Clock::now();
    EXPECT_EQ(HandleConsoleEvent(CTRL_CLOSE_EVENT, 150), TRUE);
    EXPECT_GE(Clock::now() - bounded, milliseconds(140));

    // The run stops and writes its report meanwhile: the handler returns once it is done.
    std::future<BOOL> closing =
        std::async(std::launch::async, [] { return HandleConsoleEvent(CTRL_CLOSE_EVENT, 20000); });
    EXPECT_EQ(closing.wait_for(milliseconds(300)), std::future_status::timeout) << "the window closed too early";
    const Clock::time_point done = Clock::now();
    ConsoleWorkDone();
    ASSERT_EQ(closing.wait_for(milliseconds(2000)), std::future_status::ready);
    EXPECT_EQ(closing.get(), TRUE);
    EXPECT_LT(Clock::now() - done, milliseconds(1000));

    // Once done, a shutdown does not wait at all.
    const Clock::time_point shutdown = Clock::now();
    EXPECT_EQ(HandleConsoleEvent(CTRL_SHUTDOWN_EVENT, 20000), TRUE);
    EXPECT_LT(Clock::now() - shutdown, milliseconds(1000));
}

}  // namespace
}  // namespace korvane
