// The console's pieces: its command-line counts, the port lines, the live and plain
// pictures, what it keeps of each terminal and the report it writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/console_options.h"
#include "app/console_view.h"
#include "app/terminal_report.h"
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

    const std::vector<std::vector<std::string>> refused = {
        {"--count"}, {"--count", "0"}, {"--count", "-2"}, {"--count", "4x"}, {"--count", ""},
        {"--timeout", "1.5"}, {"--timeout", "99999999999"}, {"--report"}, {"--report", ""},
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

TEST_F(ConsoleViewTest, PlainLinesForEveryChangeAndFewProgressLines) {
    ConsoleView view(file_, false, 200, clock_);
    view.Observe(MakeRow(4, "", ""));  // just added: no step to tell yet
    PortRow row = MakeRow(4, "Connecting", "In progress");
    view.Observe(row);
    view.Observe(row);  // nothing changed
    EXPECT_EQ(Written(), "");  // kept until the front end writes
    view.Show({});
    EXPECT_EQ(Lines(Written()), 1U);

    // A step that lasts less than one turn of the loop still gets its line.
    row.cells[kColStatus] = "Downloading Logo";
    row.barVisible = true;
    row.barTotal = 100;
    view.Observe(row);
    row.cells[kColStatus] = "Downloading main app";
    view.Observe(row);
    for (uint32_t done = 1; done <= 40; ++done) {  // 40 chunks within 400 ms
        row.barDone = done;
        clock_.Advance(10);
        view.Observe(row);
    }
    view.Show({});
    EXPECT_EQ(Lines(Written()), 3U);
    clock_.Advance(200);
    view.Observe(row);
    view.Show({});
    EXPECT_EQ(Lines(Written()), 4U);
    EXPECT_NE(Written().find("Downloading Logo"), std::string::npos);
    EXPECT_NE(Written().find("40%"), std::string::npos);

    row.cells[kColStatus] = "Finish";
    row.cells[kColProgress] = "Passed";
    row.barVisible = false;
    view.Observe(row);
    view.Observe(MakeRow(5, "Connecting", "In progress"));  // another port has its own lines
    view.Flush({});
    const std::vector<std::string> lines = [&] {
        std::vector<std::string> all;
        std::istringstream in(Written());
        for (std::string line; std::getline(in, line);) {
            all.push_back(line);
        }
        return all;
    }();
    ASSERT_EQ(lines.size(), 6U);
    EXPECT_NE(lines[4].find("Passed"), std::string::npos);
    EXPECT_NE(lines[5].find("COM5"), std::string::npos);
    EXPECT_EQ(lines[5].find("\x1b["), std::string::npos);
}

TEST_F(ConsoleViewTest, LiveLinesAreRedrawnInPlaceAFewTimesASecond) {
    ConsoleView view(file_, true, 100, clock_);
    const std::vector<PortRow> two = {MakeRow(1, "Connecting", "In progress"), MakeRow(2, "Connecting", "In progress")};
    view.Show(two);
    const std::string first = Written();
    EXPECT_EQ(first.rfind("\x1b[J", 0), 0U);
    EXPECT_EQ(Lines(first), 2U);

    clock_.Advance(50);
    view.Show(two);  // too soon: not drawn again
    EXPECT_EQ(Written(), first);

    clock_.Advance(200);
    view.Show({two[0]});
    const std::string second = Written().substr(first.size());
    // Up over the two lines drawn, clear them, draw the one row left.
    EXPECT_EQ(second.rfind("\x1b[2A\r\x1b[J", 0), 0U) << second;
    EXPECT_EQ(Lines(second), 1U);

    view.Flush({});
    EXPECT_EQ(Written().substr(first.size() + second.size()), "\x1b[1A\r\x1b[J");
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

TEST(TerminalReport, LinesAreValidCsvAndJson) {
    TerminalOutcome passed{3, "1", true, "PASS", std::nullopt, 1048576, 12.25};
    EXPECT_EQ(ReportCsvLine(passed), "3,1,Passed,PASS,,1048576,12.2");
    EXPECT_EQ(ReportJsonLine(passed),
              R"({"port":3,"binding_position":1,"result":"Passed","message":"PASS","command":null,"bytes":1048576,"seconds":12.2})");

    TerminalOutcome failed{12, "", false, "remote: \"bad\", again\n\xFF", 6000, 0, 0.5};
    EXPECT_EQ(ReportCsvLine(failed), "12,,Failed,\"remote: \"\"bad\"\", again\n\xEF\xBF\xBD\",6000,0,0.5");
    EXPECT_EQ(ReportJsonLine(failed),
              "{\"port\":12,\"binding_position\":null,\"result\":\"Failed\",\"message\":"
              "\"remote: \\\"bad\\\", again\\u000a\xEF\xBF\xBD\",\"command\":6000,\"bytes\":0,\"seconds\":0.5}");
}

std::string ReadAll(const std::string& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(TerminalReport, CsvHasAHeaderAndJsonLinesHaveNone) {
    testing::TempDir dir;
    const std::vector<TerminalOutcome> outcomes = {{3, "1", true, "PASS", std::nullopt, 10, 1.0},
                                                   {4, "2", false, "Time out", 5, 0, 5.0}};
    std::string error;
    ASSERT_TRUE(WriteReport(dir.File("r.csv"), outcomes, error)) << error;
    EXPECT_EQ(ReadAll(dir.File("r.csv")),
              ReportCsvHeader() + "\n" + ReportCsvLine(outcomes[0]) + "\n" + ReportCsvLine(outcomes[1]) + "\n");
    ASSERT_TRUE(WriteReport(dir.File("r.jsonl"), outcomes, error)) << error;
    EXPECT_EQ(ReadAll(dir.File("r.jsonl")), ReportJsonLine(outcomes[0]) + "\n" + ReportJsonLine(outcomes[1]) + "\n");

    EXPECT_FALSE(WriteReport(dir.File("missing/r.csv"), outcomes, error));
    EXPECT_NE(error.find("missing/r.csv"), std::string::npos);
}

}  // namespace
}  // namespace korvane
