// The port list's refresh: which cells a snapshot changes, and change notices from
// session threads turned into one queued refresh at a time.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "app/KorvaneAppDownloadApp.h"
#include "ui/list_refresh.h"

namespace korvane {
namespace {

using Rows = std::vector<PortRow>;

// Three rows: port 3 passed, port 5 connecting, port 7 half-way through the main image.
std::vector<PortRow> ThreeRows() {
    CKorvaneAppDownloadApp app;
    PortRows rows(app);
    for (int port : {3, 5, 7}) {
        rows.AddRow(port);
        rows.SetStep(port, kStepConnecting, 0, 0);
    }
    rows.SetResult(3, 1, nullptr, "");
    rows.SetStep(7, kStepMainApp, 1, 1000);
    rows.SetProgress(7, 500);
    return rows.Snapshot();
}

TEST(ListRefresh, DiffOfASnapshot) {
    const struct {
        const char* name;
        std::function<void(Rows&)> change;
        ListRefresh expected;
    } cases[] = {
        {"nothing changed", [](Rows&) {}, {false, {}, 3}},
        {"bar moved: the Progress cell only", [](Rows& r) { r[2].barDone = 750; }, {false, {{2, 3, 3}}, 3}},
        {"bar hidden, text unchanged", [](Rows& r) { r[2].barVisible = false; }, {false, {{2, 3, 3}}, 3}},
        {"bar's range changed", [](Rows& r) { r[2].barTotal = 2000; }, {false, {{2, 3, 3}}, 3}},
        {"step text and time: the span between them",
         [](Rows& r) {
             r[1].cells[kColStep] = "Sending image";
             r[1].cells[kColTime] = "4";
         },
         {false, {{1, 1, 4}}, 3}},
        {"two rows, in row order",
         [](Rows& r) {
             r[2].cells[kColBindingPort] = "2";
             r[0].cells[kColPort] = "3";
             r[0].cells[kColStatus] = "Waiting";
         },
         {false, {{0, 2, 2}, {2, 5, 5}}, 3}},
        {"a row appended",
         [](Rows& r) {
             r.emplace_back();
             r.back().nItem = 3;
             r.back().nPort = 9;
         },
         {false, {}, 3}},
        {"fewer rows: afresh", [](Rows& r) { r.pop_back(); }, {true, {}, 0}},
        {"all rows gone", [](Rows& r) { r.clear(); }, {true, {}, 0}},
    };
    const std::vector<PortRow> shown = ThreeRows();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<PortRow> next = shown;
        c.change(next);
        const ListRefresh refresh = DiffRows(shown, next);
        EXPECT_EQ(refresh.reset, c.expected.reset);
        if (!refresh.reset) {
            EXPECT_EQ(refresh.changed, c.expected.changed);
            EXPECT_EQ(refresh.added, c.expected.added);
        }
    }
}

TEST(ListRefresh, ARowIndexNowHoldingAnotherPortIsRepaintedWhole) {
    std::vector<PortRow> shown = ThreeRows();
    std::vector<PortRow> next = shown;
    // Stop and three new arrivals between two refreshes: same count, other ports.
    next[0].nPort = 12;
    const ListRefresh refresh = DiffRows(shown, next);
    ASSERT_FALSE(refresh.reset);
    EXPECT_EQ(refresh.changed, (std::vector<ChangedCells>{{0, 0, kColumnCount - 1}}));
}

TEST(ListRefresh, DelayKeepsRefreshesApart) {
    const struct {
        int64_t since;
        int delay;
    } cases[] = {{0, kRefreshIntervalMs}, {10, kRefreshIntervalMs - 10}, {kRefreshIntervalMs, 0}, {5000, 0}, {-1, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(RefreshDelayMs(c.since), c.delay) << c.since;
    }
}

class RefreshRequestsTest : public ::testing::Test {
protected:
    RefreshRequestsTest() : rows(app) { rows.AddRow(9); }

    CKorvaneAppDownloadApp app;
    PortRows rows;
    std::atomic<int> posts{0};
};

TEST_F(RefreshRequestsTest, ManyChangesFromASessionQueueOneRefresh) {
    RefreshRequests requests(rows, [this] {
        ++posts;
        return true;
    });
    std::thread session([this] {
        for (uint32_t done = 1; done <= 20000; ++done) {
            rows.SetProgress(9, done);
        }
    });
    session.join();
    EXPECT_EQ(posts.load(), 1);
    // Once the refresh has begun, the next change asks for another.
    requests.Taken();
    rows.SetProgress(9, 1);
    rows.SetProgress(9, 2);
    EXPECT_EQ(posts.load(), 2);
}

TEST_F(RefreshRequestsTest, AFailedPostIsTriedAgainByTheNextChange) {
    bool accept = false;
    RefreshRequests requests(rows, [&] {
        ++posts;
        return accept;
    });
    rows.SetStepText(9, "a");
    accept = true;
    rows.SetStepText(9, "b");
    rows.SetStepText(9, "c");
    EXPECT_EQ(posts.load(), 2);
}

TEST_F(RefreshRequestsTest, NoPostAfterTheRequestsAreGone) {
    {
        RefreshRequests requests(rows, [this] {
            ++posts;
            return true;
        });
    }
    rows.SetStepText(9, "after");
    EXPECT_EQ(posts.load(), 0);
}

}  // namespace
}  // namespace korvane
