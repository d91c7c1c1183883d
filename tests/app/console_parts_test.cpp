// The console's pieces: its command-line counts, the port lines, the live and plain
// pictures, what it keeps of each terminal and the report it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/console_options.h"
#include "app/console_view.h"
#include "app/terminal_report.h"
#include "crypto/digest.h"
#include "tests/fixtures/fake_clock.h"
#include "tests/fixtures/recording_port_view.h"
#include "tests/fixtures/temp_dir.h"

namespace korvane {
namespace {

using testing::FakeClock;

bool Parse(std::vector<std::string> args, ConsoleOptions& options, std::string& error) {
    std::string program = "KorvaneAppDownload";
    std::vector<char*> argv{program.data()};
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    return ParseConsoleOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(ConsoleOptions, CountTimeoutAndReport) {
    ConsoleOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--headless", "--count", "4", "--timeout", "90", "--report", "out.jsonl"}, options, error))
        << error;
    EXPECT_EQ(options.count, 4);
    EXPECT_EQ(options.timeoutSeconds, 90);
    EXPECT_EQ(options.reportFile, "out.jsonl");

    ConsoleOptions logged;
    ASSERT_TRUE(Parse({"--log-dir", "/tmp/logs", "--quiet", "--records", "host=db dbname=r", "--station", "line-3"},
                      logged, error))
        << error;
    EXPECT_EQ(logged.records, "host=db dbname=r");
    EXPECT_EQ(logged.station, "line-3");
    EXPECT_EQ(logged.logDir, "/tmp/logs");
    EXPECT_TRUE(logged.quiet);
    EXPECT_FALSE(options.quiet);
    EXPECT_EQ(options.logDir, "");

    const std::vector<std::vector<std::string>> refused = {
        {"--count"}, {"--count", "0"}, {"--count", "-2"}, {"--count", "4x"}, {"--count", ""},
        {"--timeout", "1.5"}, {"--timeout", "99999999999"}, {"--report"}, {"--report", ""},
        {"--log-dir"}, {"--log-dir", ""}, {"--records"}, {"--records", ""}, {"--station"}, {"--station", ""},
    };
    for (const auto& args : refused) {
        ConsoleOptions refusedOptions;
        error.clear();
        EXPECT_FALSE(Parse(args, refusedOptions, error)) << args[0];
        EXPECT_FALSE(error.empty());
    }
}

PortRow MakeRow(int nPort, const std::string& status, const std::string& progress) {
    PortRow row;
    row.nPort = nPort;
    row.cells[kColPort] = std::to_string(nPort);
    row.cells[kColStatus] = status;
    row.cells[kColProgress] = progress;
    row.cells[kColBindingPort] = "2";
    row.cells[kColTime] = "12";
    row.cells[kColStep] = "QV41C_LD_V1.0.0";
    return row;
}

TEST(ConsoleLines, PortLineShowsTheBarOrTheProgressText) {
    PortRow downloading = MakeRow(3, "Downloading main app", "In progress");
    downloading.barVisible = true;
    downloading.barTotal = 1000;
    downloading.barDone = 500;
    const std::string line = FormatPortLine(downloading, 200);
    EXPECT_EQ(line.rfind("COM3   #2  Downloading main app", 0), 0U) << line;
    EXPECT_NE(line.find("[##########----------] 50%"), std::string::npos) << line;
    EXPECT_EQ(line.find("In progress"), std::string::npos);
    EXPECT_NE(line.find("12 "), std::string::npos);
    EXPECT_TRUE(line.ends_with("QV41C_LD_V1.0.0"));

    const std::string failed = FormatPortLine(MakeRow(12, "Finish", "Failed:remote: busy"), 200);
    EXPECT_NE(failed.find("Failed:remote: busy"), std::string::npos) << failed;
}

TEST(ConsoleLines, BarsAndPercentStayInRange) {
    EXPECT_EQ(ProgressBar(0, 0, 4), "[----]");
    EXPECT_EQ(ProgressBar(5, 10, 4), "[##--]");
    EXPECT_EQ(ProgressBar(50, 10, 4), "[####]");  // more done than the total
    EXPECT_EQ(ProgressPercent(0xFFFFFFFFu, 0xFFFFFFFFu), 100);
    EXPECT_EQ(ProgressPercent(1, 3), 33);
}

TEST(ConsoleLines, LongLinesAreCutOnACharacterBoundary) {
    PortRow row = MakeRow(3, "Finish", "Passed");
    row.cells[kColStep] = "\xE4\xB8\xAD\xE6\x96\x87";  // two 3-byte characters
    const std::string full = FormatPortLine(row, 500);
    const std::string cut = FormatPortLine(row, full.size() - 1);
    EXPECT_EQ(cut, full.substr(0, full.size() - 3));
}

// Lines the view writes into a temporary file.
class ConsoleViewTest : public ::testing::Test {
protected:
    ConsoleViewTest() : file_(std::tmpfile()) {}
    ~ConsoleViewTest() override { std::fclose(file_); }

    std::string Written() {
        std::fflush(file_);
        std::rewind(file_);
        std::string text;
        char buffer[4096];
        for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file_)) > 0;) {
            text.append(buffer, got);
        }
        std::fseek(file_, 0, SEEK_END);
        return text;
    }

    static size_t Lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

    std::FILE* file_;
    FakeClock clock_;
};

TEST_F(ConsoleViewTest, PlainLinesForEveryChangeInTheWindowsColumnOrder) {
    ConsoleView view(file_, false, 200, clock_);
    view.SessionBegan(4, "2");
    view.Observe(MakeRow(4, "", ""));  // just added: no step to tell yet
    PortRow row = MakeRow(4, "Connecting", "In progress");
    clock_.Advance(1500);
    view.Observe(row);
    view.Observe(row);  // nothing changed
    EXPECT_EQ(Written(), "");  // kept until the front end writes
    view.Show({});
    const std::string first = Written();
    EXPECT_EQ(Lines(first), 1U);
    // Port, step text, status, progress, elapsed seconds of the session, binding position.
    EXPECT_NE(first.find("COM4   QV41C_LD_V1.0.0         Connecting             In progress   1.5s    #2"),
              std::string::npos)
        << first;

    // A step that lasts less than one turn of the loop still gets its line.
    row.cells[kColStatus] = "Downloading Logo";
    view.Observe(row);
    row.cells[kColStatus] = "Finish";
    row.cells[kColProgress] = "Passed";
    view.Observe(row);
    view.Observe(MakeRow(5, "Connecting", "In progress"));  // another port has its own lines
    view.Flush({});
    const std::string all = Written();
    EXPECT_EQ(Lines(all), 4U);
    EXPECT_NE(all.find("Downloading Logo"), std::string::npos);
    EXPECT_NE(all.find("Finish                 Passed"), std::string::npos) << all;
    EXPECT_NE(all.find("COM5"), std::string::npos);
    EXPECT_EQ(all.find("\x1b["), std::string::npos);
}

TEST_F(ConsoleViewTest, ProgressLinesAtEachTenthOrEveryTwoSeconds) {
    struct Case {
        const char* name;
        uint32_t total;
        uint32_t chunk;
        int chunks;
        uint32_t msPerChunk;
        std::vector<int> percents;  // of the progress lines after the step's own line (0%)
    };
    const Case cases[] = {
        {"fast: one line per tenth", 1000, 25, 40, 10, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}},
        {"big chunks: each new tenth once", 100, 35, 3, 10, {35, 70, 100}},
        {"slow: every 2 s within a tenth", 1000, 5, 20, 500, {2, 4, 6, 8, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::FILE* file = std::tmpfile();
        testing::FakeClock clock;
        ConsoleView view(file, false, 200, clock);
        PortRow row = MakeRow(6, "Downloading main app", "In progress");
        row.barVisible = true;
        row.barTotal = c.total;
        view.Observe(row);
        for (int k = 1; k <= c.chunks; ++k) {
            row.barDone = std::min(c.total, c.chunk * static_cast<uint32_t>(k));
            clock.Advance(c.msPerChunk);
            view.Observe(row);
        }
        view.Flush({});
        std::fflush(file);
        std::rewind(file);
        std::vector<int> percents;
        char line[512];
        while (std::fgets(line, sizeof line, file) != nullptr) {
            const std::string text(line);
            const size_t at = text.find('%');
            ASSERT_NE(at, std::string::npos) << text;
            percents.push_back(std::stoi(text.substr(text.rfind(' ', at) + 1)));
        }
        std::fclose(file);
        ASSERT_FALSE(percents.empty());
        EXPECT_EQ(percents.front(), 0);
        EXPECT_EQ(std::vector<int>(percents.begin() + 1, percents.end()), c.percents);
    }
}

TEST_F(ConsoleViewTest, AnInterimResultIsNotAFailure) {
    ConsoleView view(file_, false, 200, clock_);
    view.SessionBegan(7, "1");
    const int code = 5;
    view.Result(7, false, nullptr, "Time out", true);
    view.Observe(MakeRow(7, "Finish", "Failed:Time out"));
    view.Step(7, kStepMainApp, 1000);  // the session goes on in the loader
    view.Observe(MakeRow(7, "Downloading main app", "In progress"));
    view.Result(7, false, &code, "Time out", false);
    view.Observe(MakeRow(7, "Finish", "Failed:Time out "));
    view.Flush({});
    std::istringstream in(Written());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 3U);
    EXPECT_NE(lines[0].find("In application         sent to loader (Time out)"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].find("Failed"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].find("Finish"), std::string::npos) << lines[0];
    EXPECT_NE(lines[2].find("Finish                 Failed:Time out"), std::string::npos) << lines[2];
}

TEST_F(ConsoleViewTest, LiveLinesAreRedrawnInPlaceAFewTimesASecond) {
    ConsoleView view(file_, true, 100, clock_);
    const std::vector<PortRow> two = {MakeRow(1, "Connecting", "In progress"), MakeRow(2, "Connecting", "In progress")};
    view.Show(two);
    const std::string first = Written();
    EXPECT_EQ(first.rfind("\x1b[J", 0), 0U);
    EXPECT_EQ(Lines(first), 3U);  // the rows and the summary

    clock_.Advance(50);
    view.Show(two);  // too soon: not drawn again
    EXPECT_EQ(Written(), first);

    clock_.Advance(200);
    view.Show({two[0]});
    const std::string second = Written().substr(first.size());
    // Up over the three lines drawn, clear them, draw the one row left and the summary.
    EXPECT_EQ(second.rfind("\x1b[3A\r\x1b[J", 0), 0U) << second;
    EXPECT_EQ(Lines(second), 2U);

    view.Flush({});
    EXPECT_EQ(Written().substr(first.size() + second.size()).rfind("\x1b[2A\r\x1b[Jpassed 0", 0), 0U);
}

TEST_F(ConsoleViewTest, TheLiveSummaryCountsResultsAndTheByteRate) {
    ConsoleView view(file_, true, 100, clock_);
    uint64_t bytes = 0;
    view.SetByteCounter([&bytes] { return bytes; });
    view.Show({});
    clock_.Advance(2000);
    bytes = 4096 * 2;
    view.Result(4, false, nullptr, "Time out", true);  // in its application: still in progress
    view.Flush({MakeRow(1, "Finish", "Passed"), MakeRow(2, "Finish", "Failed:remote: busy"),
                MakeRow(3, "Downloading Logo", "In progress"), MakeRow(4, "Finish", "Failed:Time out"),
                MakeRow(5, "Unplugged", "Unplugged")});
    const std::string text = Written();
    EXPECT_NE(text.find("passed 1, failed 1, in progress 2, 4.0 KiB/s\n"), std::string::npos) << text;
}

TEST(TerminalReport, KeepsTheFinalResultTheBytesAndTheTime) {
    FakeClock clock(1000);
    testing::RecordingPortView rows;
    ReportingPortView view(rows, clock);
    view.AddRow(3);
    view.SetStep(3, kStepConnecting, 0, 0);
    view.SetResult(3, 0, nullptr, "Time out");  // the application-mode report; the session goes on
    view.SetStep(3, kStepMainApp, 1, 1000);
    view.SetProgress(3, 600);
    view.SetProgress(3, 1000);
    view.SetStep(3, kStepErase, 1, 100);
    view.SetProgress(3, 100);  // percent, not bytes
    view.SetStep(3, kStepFile, 1, 50);
    view.SetProgress(3, 50);
    clock.Advance(12500);
    const int code = 40;
    view.SetResult(3, 0, &code, "remote: no space");

    TerminalOutcome outcome = view.Outcome(3);
    EXPECT_FALSE(outcome.passed);
    EXPECT_EQ(outcome.message, "remote: no space");
    EXPECT_EQ(outcome.command, 40);
    EXPECT_EQ(outcome.bytes, 1050U);
    EXPECT_DOUBLE_EQ(outcome.seconds, 12.5);
    EXPECT_EQ(rows.Log().size(), 11U);  // every call reached the rows

    // The next session on the port starts afresh.
    view.SetStep(3, kStepConnecting, 0, 0);
    view.SetStep(3, kStepLogo, 1, 64);
    view.SetProgress(3, 64);
    clock.Advance(2000);
    view.SetResult(3, 1, nullptr, "PASS");
    outcome = view.Outcome(3);
    EXPECT_TRUE(outcome.passed);
    EXPECT_EQ(outcome.command, std::nullopt);
    EXPECT_EQ(outcome.bytes, 64U);
    EXPECT_DOUBLE_EQ(outcome.seconds, 2.0);

    const TerminalOutcome none = view.Outcome(9);
    EXPECT_FALSE(none.passed);
    EXPECT_EQ(none.message, "no result");
}

TEST(TerminalReport, SessionEventsGiveTimesIdentityImagesAndUnpluggedTerminals) {
    FakeClock clock(1000);
    testing::RecordingPortView rows;
    ReportingPortView view(rows, clock);
    const std::vector<uint8_t> main(1000, 0x5A);
    const std::vector<uint8_t> second = {'a', 'b', 'c'};
    const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)");

    // In its application first (interim), then loaded with two images, then pulled out:
    // the pass stands.
    view.SetStep(3, kStepConnecting, 0, 0);
    view.SessionBegan(3, "1");
    view.Result(3, false, nullptr, "Time out", true);
    view.SetResult(3, 0, nullptr, "Time out");
    view.Tusn(3, "000050QV41C0001");
    view.LoaderVersion(3, "QV41C | V1");
    view.ImageDelivered(3, main);
    view.ImageDelivered(3, second);
    view.Result(3, true, nullptr, "PASS", false);
    view.SetResult(3, 1, nullptr, "PASS");
    view.SetStep(3, kStepUnplugged, 0, 0);
    TerminalOutcome outcome = view.Outcome(3);
    EXPECT_TRUE(outcome.passed);
    EXPECT_TRUE(std::regex_match(outcome.startedAt, iso)) << outcome.startedAt;
    EXPECT_TRUE(std::regex_match(outcome.finishedAt, iso)) << outcome.finishedAt;
    EXPECT_EQ(outcome.tusn, "000050QV41C0001");
    EXPECT_EQ(outcome.loaderVersion, "QV41C | V1");
    EXPECT_EQ(outcome.imageMd5, Md5Hex(main.data(), main.size()) + " 900150983cd24fb0d6963f7d28e17f72");

    // Pulled out in the middle, after only an interim result: failed as Unplugged.
    view.SetStep(4, kStepConnecting, 0, 0);
    view.SessionBegan(4, "2");
    view.Result(4, false, nullptr, "Time out", true);
    view.SetResult(4, 0, nullptr, "Time out");
    view.SetStep(4, kStepLogo, 1, 100);
    view.SetProgress(4, 40);
    clock.Advance(3000);
    view.SetStep(4, kStepUnplugged, 0, 0);
    outcome = view.Outcome(4);
    EXPECT_FALSE(outcome.passed);
    EXPECT_EQ(outcome.message, "Unplugged");
    EXPECT_EQ(outcome.command, std::nullopt);
    EXPECT_EQ(outcome.bytes, 40U);
    EXPECT_DOUBLE_EQ(outcome.seconds, 3.0);
    EXPECT_TRUE(std::regex_match(outcome.finishedAt, iso));
    EXPECT_EQ(outcome.imageMd5, "");

    // A failure of its own before the unplugging stays what it was.
    view.SetStep(5, kStepConnecting, 0, 0);
    const int code = 4;
    view.Result(5, false, &code, "Port lost", false);
    view.SetResult(5, 0, &code, "Port lost");
    view.SetStep(5, kStepUnplugged, 0, 0);
    EXPECT_EQ(view.Outcome(5).message, "Port lost");
    EXPECT_EQ(view.Outcome(5).command, 4);

    // Bytes of the whole run, a replaced session on a port included.
    view.SetStep(4, kStepConnecting, 0, 0);
    view.SetStep(4, kStepLogo, 1, 100);
    view.SetProgress(4, 100);
    EXPECT_EQ(view.TotalBytes(), 140U);
}

}  // namespace
}  // namespace korvane
