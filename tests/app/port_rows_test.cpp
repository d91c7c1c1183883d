// The row rules of the port list: steps, Progress texts, the time count, binding
// positions, results, and the guard around the rows.
#include "app/port_rows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <variant>

#include "app/KorvaneAppDownloadApp.h"
#include "platform/trace.h"
#include "tests/fixtures/temp_dir.h"

namespace korvane {
namespace {

constexpr int kPort = 7;

// One call on the rows of port kPort.
struct Step { int nStep; int bShowProgress = 0; uint32_t nTotal = 0; };
struct Progress { uint32_t nDone; };
struct Result { int bSuccess; std::string message; };
struct Tick {};
struct Ticks { int count; };
using Call = std::variant<Step, Progress, Result, Tick, Ticks>;

void Apply(PortRows& rows, const Call& call) {
    if (const auto* step = std::get_if<Step>(&call)) {
        rows.SetStep(kPort, step->nStep, step->bShowProgress, step->nTotal);
    } else if (const auto* progress = std::get_if<Progress>(&call)) {
        rows.SetProgress(kPort, progress->nDone);
    } else if (const auto* result = std::get_if<Result>(&call)) {
        rows.SetResult(kPort, result->bSuccess, nullptr, result->message);
    } else if (std::holds_alternative<Tick>(call)) {
        rows.OnTimer();
    } else {
        for (int i = 0; i < std::get<Ticks>(call).count; ++i) {
            rows.OnTimer();
        }
    }
}

struct RowCase {
    const char* name;
    std::vector<Call> calls;
    int nState;
    const char* status;
    const char* progress;
    const char* time;
    bool barVisible = false;
};

// What the Status, Progress and Time(s) cells show after a terminal's calls.
const RowCase kRowCases[] = {
    {"new row", {}, 0, "", "", ""},
    {"terminal arrives", {Step{1}}, 1, "Connecting", "In progress", "0"},
    {"transfer step shows the bar", {Step{1}, Step{2, 1, 1000}, Progress{400}}, 2, "Downloading main app",
     "In progress", "0", true},
    {"time runs during transfer", {Step{1}, Step{2, 1, 100}, Ticks{3}}, 2, "Downloading main app", "In progress", "3",
     true},
    {"step without bar", {Step{1}, Step{6}}, 6, "Downloading file", "In progress", "0"},
    {"passed", {Step{1}, Step{2, 1, 100}, Tick{}, Result{1, "PASS"}}, 8, "Finish", "Passed", "1s"},
    {"failed with message", {Step{1}, Step{2, 1, 100}, Result{0, "Time out"}}, 8, "Finish", "Failed:Time out", "0s"},
    {"failed without message", {Step{1}, Result{0, ""}}, 8, "Finish", "Failed:", "0s"},
    {"waiting after passed", {Step{1}, Result{1, ""}, Step{0}}, 0, "Waiting", "Passed", "0s"},
    {"waiting after failed", {Step{1}, Result{0, "remote: busy"}, Step{0}}, 0, "Waiting", "Failed:remote: busy", "0s"},
    {"waiting while in progress", {Step{1}, Step{0}}, 0, "Waiting", "Waiting...", "0"},
    {"unplugged after a result", {Step{1}, Tick{}, Result{1, ""}, Step{9}}, 9, "Unplugged", "Unplugged", "0s"},
    {"unplugged mid-transfer", {Step{1}, Step{2, 1, 100}, Ticks{2}, Step{9}}, 9, "Unplugged", "In progress", "2"},
    {"result after unplug", {Step{1}, Step{2, 1, 100}, Ticks{2}, Step{9}, Result{0, "x"}}, 9, "Unplugged",
     "Unplugged", "2s"},
    {"replug keeps an unfinished time", {Step{1}, Step{5, 1, 100}, Ticks{2}, Step{9}, Step{1}, Step{2, 1, 9}, Tick{}},
     2, "Downloading main app", "In progress", "3", true},
    {"replug restarts a finished time", {Step{1}, Step{2, 1, 100}, Ticks{4}, Result{1, ""}, Step{9}, Step{1}}, 1,
     "Connecting", "In progress", "0"},
    {"time stands still while connecting or finished", {Step{1}, Ticks{2}, Result{1, ""}, Ticks{2}}, 8, "Finish",
     "Passed", "0s"},
    {"paused", {Step{1}, Step{10}}, 10, "Paused", "In progress", "0"},
    // A terminal found in its application reports "Time out" before its loader takes the images.
    {"interim result does not freeze the transfer time", {Step{1}, Ticks{2}, Result{0, "Time out"}, Step{2, 1, 100},
     Ticks{3}}, 2, "Downloading main app", "Failed:Time out", "3", true},
};

class PortRowsTest : public ::testing::Test {
protected:
    PortRow Row(int nPort = kPort) const {
        const std::optional<PortRow> row = rows_.RowOf(nPort);
        if (!row) {
            ADD_FAILURE() << "no row for port " << nPort;
        }
        return row.value_or(PortRow{});
    }

    CKorvaneAppDownloadApp app_;
    PortRows rows_{app_};
};

TEST_F(PortRowsTest, CellsFollowTheTerminalsCalls) {
    for (const RowCase& c : kRowCases) {
        SCOPED_TRACE(c.name);
        rows_.RemoveAll();
        ASSERT_EQ(rows_.AddRow(kPort), 1);
        for (const Call& call : c.calls) {
            Apply(rows_, call);
        }
        const PortRow row = Row();
        EXPECT_EQ(row.nState, c.nState);
        EXPECT_EQ(row.cells[kColPort], "7");
        EXPECT_EQ(row.cells[kColStatus], c.status);
        EXPECT_EQ(row.cells[kColProgress], c.progress);
        EXPECT_EQ(row.cells[kColTime], c.time);
        EXPECT_EQ(row.barVisible, c.barVisible);
    }
}

TEST_F(PortRowsTest, TheTimerAdvancesOnlyDownloadingAndErasingRows) {
    for (int nStep = 0; nStep <= kStepPaused; ++nStep) {
        SCOPED_TRACE(StepName(nStep));
        rows_.RemoveAll();
        rows_.AddRow(kPort);
        rows_.SetStep(kPort, kStepConnecting, 0, 0);
        rows_.SetStep(kPort, nStep, 0, 0);
        rows_.OnTimer();
        const bool runs = nStep >= kStepMainApp && nStep <= kStepAmr;
        EXPECT_EQ(Row().cells[kColTime], runs ? "1" : "0");
        EXPECT_EQ(Row().nElapsed, runs ? 1 : 0);
    }
}

TEST_F(PortRowsTest, TwelveBecomesThirteenButTwelveSecondsStays) {
    rows_.AddRow(kPort);
    rows_.SetStep(kPort, kStepConnecting, 0, 0);
    rows_.SetStep(kPort, kStepErase, 1, 100);
    for (int i = 0; i < 12; ++i) {
        rows_.OnTimer();
    }
    EXPECT_EQ(Row().cells[kColTime], "12");
    rows_.OnTimer();
    EXPECT_EQ(Row().cells[kColTime], "13");

    rows_.SetResult(kPort, 1, nullptr, "");
    rows_.OnTimer();
    EXPECT_EQ(Row().cells[kColTime], "13s");
    rows_.SetStep(kPort, kStepConnecting, 0, 0);
    EXPECT_EQ(Row().cells[kColTime], "0");
}

TEST_F(PortRowsTest, ANewBarStartsAtZeroWithItsOwnTotal) {
    rows_.AddRow(kPort);
    rows_.SetStep(kPort, kStepMainApp, 1, 5000);
    rows_.SetProgress(kPort, 5000);
    rows_.SetStep(kPort, kStepSecondApp, 1, 200);
    EXPECT_EQ(Row().barDone, 0U);
    EXPECT_EQ(Row().barTotal, 200U);
    rows_.SetProgress(kPort, 150);
    EXPECT_EQ(Row().barDone, 150U);
    rows_.SetResult(kPort, 1, nullptr, "");
    EXPECT_FALSE(Row().barVisible);
    EXPECT_EQ(Row().barDone, 0U);
}

TEST_F(PortRowsTest, ResultSetsTheRowsSuccessFlag) {
    rows_.AddRow(kPort);
    EXPECT_EQ(Row().bSuccess, 1);
    rows_.SetResult(kPort, 0, nullptr, "Open uart failed");
    EXPECT_EQ(Row().bSuccess, 0);
    EXPECT_EQ(Row().cells[kColProgress], "Failed:Open uart failed");
    rows_.SetResult(kPort, 1, nullptr, "ignored");
    EXPECT_EQ(Row().bSuccess, 1);
    EXPECT_EQ(Row().cells[kColProgress], "Passed");
}

TEST_F(PortRowsTest, BindingPositionComesFromTheBindingTable) {
    const struct {
        int count;
        std::vector<std::string> entries;
        int nPort;
        const char* position;
    } cases[] = {
        {0, {}, 9, "1"},
        {-3, {"COM9"}, 9, "1"},
        {2, {"COM7", "COM9"}, 9, "2"},
        {2, {"COM7", "COM9"}, 7, "1"},
        {2, {"COM7", "COM9"}, 5, "3"},
        {2, {"com9", "COM19"}, 9, "3"},      // whole, case-sensitive names
        {1, {"COM7", "COM9"}, 9, "2"},       // only the first AT entries count
        {12, {"COM1"}, 4, "13"},             // a count beyond the ten slots reads no further
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nPort);
        app_.bindingCount = c.count;
        app_.bindingPorts = {};
        for (size_t i = 0; i < c.entries.size(); ++i) {
            app_.bindingPorts[i] = c.entries[i];
        }
        rows_.RemoveAll();
        rows_.AddRow(c.nPort);
        EXPECT_EQ(Row(c.nPort).cells[kColBindingPort], "");  // written by SetStep only
        rows_.SetStep(c.nPort, kStepConnecting, 0, 0);
        EXPECT_EQ(Row(c.nPort).cells[kColBindingPort], c.position);
    }
}

TEST_F(PortRowsTest, RowsAreAppendedAndOnlyRemovedAllAtOnce) {
    rows_.AddRow(3);
    rows_.AddRow(8);
    rows_.SetStep(3, kStepMainApp, 1, 10);
    rows_.AddRow(3);  // existing row: only its Port cell is written again
    EXPECT_EQ(Row(3).nItem, 0);
    EXPECT_EQ(Row(8).nItem, 1);
    EXPECT_EQ(Row(3).cells[kColStatus], "Downloading main app");
    EXPECT_TRUE(Row(3).barVisible);
    ASSERT_TRUE(rows_.RowAt(1).has_value());
    EXPECT_EQ(rows_.RowAt(1)->nPort, 8);
    EXPECT_FALSE(rows_.RowAt(2).has_value());
    EXPECT_FALSE(rows_.RowAt(-1).has_value());

    EXPECT_EQ(rows_.RemoveAll(), 1);
    EXPECT_TRUE(rows_.Snapshot().empty());
    rows_.AddRow(8);
    EXPECT_EQ(Row(8).nItem, 0);
    EXPECT_EQ(Row(8).cells[kColStatus], "");
}

TEST_F(PortRowsTest, CallsForAPortWithoutARowChangeNothing) {
    rows_.AddRow(kPort);
    const auto before = rows_.Version();
    EXPECT_EQ(rows_.SetStep(4, kStepConnecting, 0, 0), 0);
    EXPECT_EQ(rows_.SetStepText(4, "Connecting..."), 0);
    EXPECT_EQ(rows_.SetProgress(4, 10), 0);
    EXPECT_EQ(rows_.SetResult(4, 1, nullptr, ""), 0);
    EXPECT_EQ(rows_.SetStep(kPort, 11, 0, 0), 0);
    EXPECT_EQ(rows_.SetStep(kPort, -1, 0, 0), 0);
    EXPECT_EQ(rows_.Version(), before);
    EXPECT_EQ(rows_.Snapshot().size(), 1U);
    EXPECT_EQ(Row().cells[kColStatus], "");
}

TEST_F(PortRowsTest, StepTextIsWrittenOnlyWhenItChanges) {
    rows_.AddRow(kPort);
    EXPECT_EQ(rows_.SetStepText(kPort, "Connecting..."), 1);
    const auto written = rows_.Version();
    EXPECT_EQ(rows_.SetStepText(kPort, "Connecting..."), 1);
    EXPECT_EQ(rows_.Version(), written);
    EXPECT_EQ(rows_.SetStepText(kPort, "connecting..."), 1);
    EXPECT_GT(rows_.Version(), written);
    EXPECT_EQ(Row().cells[kColStep], "connecting...");
}

TEST_F(PortRowsTest, ListenersHearTheRowAndMayReadTheRows) {
    std::vector<int> heard;
    size_t rowsSeen = 0;
    rows_.SetListener([&](int nItem) {
        heard.push_back(nItem);
        rowsSeen = rows_.Snapshot().size();  // would deadlock if called under the lock
    });
    rows_.AddRow(3);
    rows_.AddRow(kPort);
    rows_.SetProgress(kPort, 1);
    rows_.RemoveAll();
    EXPECT_EQ(heard, (std::vector<int>{0, 1, 1, -1}));
    EXPECT_EQ(rowsSeen, 0U);
}

TEST(PortRowsTrace, SetResultWritesItsTraceLineEvenWithoutARow) {
    testing::TempDir dir;
    const std::string file = dir.File("trace.txt");
    ::setenv("KORVANE_TRACE_FILE", file.c_str(), 1);
    TraceReconfigure();
    CKorvaneAppDownloadApp app;
    PortRows rows(app);
    rows.AddRow(3);
    const int code = 6000;
    rows.SetResult(3, 0, &code, "remote: APP is Running");
    rows.SetResult(12, 1, nullptr, "PASS");
    ::unsetenv("KORVANE_TRACE_FILE");
    TraceReconfigure();

    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              "SetResult, nPort = 3, bSuccess = 0, nFlag = 1, szErrorMsg = remote: APP is Running, CMD = 6000\n"
              "SetResult, nPort = 12, bSuccess = 1, nFlag = 1, szErrorMsg = PASS, CMD = -1\n");
}

}  // namespace
}  // namespace korvane
