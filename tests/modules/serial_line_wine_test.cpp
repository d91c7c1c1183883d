// The Windows serial line on a real COM port under Wine: a simulated terminal that never
// answers, linked into the Wine prefix by serial_line_wine_test.sh, which names the port in
// KORVANE_SILENT_PORT. A read waiting on it must end as soon as another thread cancels, not
// when its wait runs out, and a new Open must forget the cancel.

#include "modules/channel/serial_line.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace korvane {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr uint32_t kLongWaitMs = 20000;
// Far below the wait and far above any scheduling delay: a read that ran its wait fails.
constexpr auto kEndedAtOnce = std::chrono::seconds(5);

class SilentPort : public ::testing::Test {
protected:
    void SetUp() override {
        const char* port = std::getenv("KORVANE_SILENT_PORT");
        ASSERT_NE(port, nullptr) << "KORVANE_SILENT_PORT names no port";
        port_ = port;
        ASSERT_EQ(line_.Open(port_, 115200), 0) << port_;
    }

    // What a read waiting wait_ms gave and how long it took, with CancelPending called from
    // another thread after cancel_after (none when negative).
    struct Timed {
        int32_t got;
        Clock::duration took;
    };
    Timed ReadCancelledAfter(uint32_t wait_ms, milliseconds cancel_after) {
        std::thread canceller;
        if (cancel_after.count() >= 0) {
            canceller = std::thread([this, cancel_after] {
                std::this_thread::sleep_for(cancel_after);
                line_.CancelPending();
            });
        }
        unsigned char buffer[64];
        const auto start = Clock::now();
        const int32_t got = line_.Read(buffer, sizeof buffer, wait_ms);
        const auto took = Clock::now() - start;
        if (canceller.joinable()) {
            canceller.join();
        }
        return {got, took};
    }

    std::string port_;
    SerialLine line_;
};

TEST_F(SilentPort, CancelEndsAReadWaitingOnTheDevice) {
    const Timed read = ReadCancelledAfter(kLongWaitMs, milliseconds(100));
    EXPECT_EQ(read.got, 0) << "errno " << line_.LastError();
    EXPECT_LT(read.took, kEndedAtOnce);

    // From now until the next Open the line stays torn down: reads give nothing at once and
    // writes are refused.
    EXPECT_LT(ReadCancelledAfter(kLongWaitMs, milliseconds(-1)).took, kEndedAtOnce);
    const unsigned char byte = 0x7E;
    EXPECT_EQ(line_.Write(&byte, 1, 1000), -1);
    EXPECT_EQ(line_.LastError(), ECANCELED);
}

TEST_F(SilentPort, OpenAgainForgetsTheCancel) {
    line_.CancelPending();
    ASSERT_EQ(line_.Open(port_, 115200), 0);

    // The read waits for the device again, and ends near its wait even where the driver does
    // not end it (Wine's does not).
    const Timed read = ReadCancelledAfter(300, milliseconds(-1));
    EXPECT_EQ(read.got, 0) << "errno " << line_.LastError();
    EXPECT_GE(read.took, milliseconds(250));
    EXPECT_LT(read.took, kEndedAtOnce);
    const unsigned char byte = 0x7E;
    EXPECT_EQ(line_.Write(&byte, 1, 1000), 1) << "errno " << line_.LastError();

    // And a second cancel ends the next long read as the first did.
    EXPECT_LT(ReadCancelledAfter(kLongWaitMs, milliseconds(100)).took, kEndedAtOnce);
}

TEST_F(SilentPort, CloseAfterACancelledReadLeavesTheLineUsable) {
    EXPECT_LT(ReadCancelledAfter(kLongWaitMs, milliseconds(100)).took, kEndedAtOnce);
    line_.Close();
    EXPECT_FALSE(line_.IsOpen());
    unsigned char buffer[4];
    EXPECT_EQ(line_.Read(buffer, sizeof buffer, 10), -1);
    EXPECT_EQ(line_.LastError(), EBADF);
    // The port was let go: it opens again, here or in another program.
    EXPECT_EQ(line_.Open(port_, 115200), 0);
}

}  // namespace
}  // namespace korvane
