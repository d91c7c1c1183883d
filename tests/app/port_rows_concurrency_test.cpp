// Session threads reporting for their own ports while the front end's thread ticks,
// paints and adds rows: every report lands on its own row and nothing tears.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "app/port_rows.h"

namespace korvane {
namespace {

TEST(PortRowsConcurrency, SessionsReportWhileTheFrontEndTicksAndPaints) {
    constexpr int kSessions = 8;
    constexpr uint32_t kChunks = 2000;
    CKorvaneAppDownloadApp app;
    PortRows rows(app);
    std::atomic<uint64_t> heard{0};
    rows.SetListener([&](int) { heard.fetch_add(1, std::memory_order_relaxed); });
    for (int port = 1; port <= kSessions; ++port) {
        rows.AddRow(port);
        rows.SetStep(port, kStepConnecting, 0, 0);
    }

    std::atomic<bool> done{false};
    std::thread frontEnd([&] {
        while (!done) {
            rows.OnTimer();
            for (const PortRow& row : rows.Snapshot()) {
                EXPECT_LE(row.barDone, row.barTotal);
            }
            rows.AddRow(100);  // arrivals of other ports meanwhile
        }
    });
    std::vector<std::thread> sessions;
    for (int port = 1; port <= kSessions; ++port) {
        sessions.emplace_back([&rows, port] {
            rows.SetStep(port, kStepMainApp, 1, kChunks);
            for (uint32_t chunk = 1; chunk <= kChunks; ++chunk) {
                rows.SetProgress(port, chunk);
                rows.SetStepText(port, chunk % 2 == 0 ? "even" : "odd");
            }
            rows.SetResult(port, port % 2, nullptr, "port " + std::to_string(port));
        });
    }
    for (auto& session : sessions) {
        session.join();
    }
    done = true;
    frontEnd.join();

    const auto snapshot = rows.Snapshot();
    ASSERT_EQ(snapshot.size(), static_cast<size_t>(kSessions + 1));
    for (int port = 1; port <= kSessions; ++port) {
        const PortRow& row = snapshot[static_cast<size_t>(port - 1)];
        EXPECT_EQ(row.nPort, port);
        EXPECT_EQ(row.cells[kColStatus], "Finish");
        EXPECT_EQ(row.cells[kColProgress], port % 2 != 0 ? "Passed" : "Failed:port " + std::to_string(port));
        EXPECT_EQ(row.cells[kColStep], "even");
        EXPECT_TRUE(row.cells[kColTime].ends_with("s"));
    }
    EXPECT_GE(heard.load(), static_cast<uint64_t>(kSessions) * kChunks);
}

}  // namespace
}  // namespace korvane
