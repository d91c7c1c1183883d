// The report's two forms from one table of columns: what each cell holds, text from a
// terminal made safe for a spreadsheet, numbers under any locale, and a file that stays
// whole when a rewrite fails.
#include "app/report_format.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/console_view.h"
#include "app/report_file.h"
#include "tests/fixtures/temp_dir.h"

namespace korvane {
namespace {

std::string ReadAll(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The cells of one CSV line, quotes undone.
std::vector<std::string> CsvCells(const std::string& line) {
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            cells.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            cells.emplace_back();
        } else {
            cells.back() += c;
        }
    }
    return cells;
}

TEST(TerminalReport, LinesAreValidCsvAndJsonWithTheOldColumnsFirst) {
    TerminalOutcome passed{3, "1", true, "PASS", std::nullopt, 1048576, 12.25};
    passed.startedAt = "2026-12-10T16:52:34+01:00";
    passed.finishedAt = "2026-12-10T16:52:46+01:00";
    passed.tusn = "000050QV41C0001";
    passed.loaderVersion = "QV41C | LOADER | V1.0.0";
    passed.imageMd5 = "0123456789abcdef0123456789abcdef fedcba9876543210fedcba9876543210";
    passed.logFile = "/var/log/korvane/COM3_20261210-165234-000_pos1.log";
    EXPECT_EQ(ReportCsvLine(passed),
              "3,1,Passed,PASS,,1048576,12.2,2026-12-10T16:52:34+01:00,2026-12-10T16:52:46+01:00,000050QV41C0001,"
              "QV41C | LOADER | V1.0.0,0123456789abcdef0123456789abcdef fedcba9876543210fedcba9876543210,"
              "/var/log/korvane/COM3_20261210-165234-000_pos1.log");
    EXPECT_EQ(ReportJsonLine(passed),
              R"({"port":3,"binding_position":1,"result":"Passed","message":"PASS","command":null,"bytes":1048576,)"
              R"("seconds":12.2,"started_at":"2026-12-10T16:52:34+01:00","finished_at":"2026-12-10T16:52:46+01:00",)"
              R"("tusn":"000050QV41C0001","loader_version":"QV41C | LOADER | V1.0.0",)"
              R"("image_md5":"0123456789abcdef0123456789abcdef fedcba9876543210fedcba9876543210",)"
              R"("log_file":"/var/log/korvane/COM3_20261210-165234-000_pos1.log"})");

    // What a terminal sends may hold anything: quotes, separators, control bytes, bad UTF-8.
    TerminalOutcome failed{12, "", false, "remote: \"bad\", again\n\xFF", 6000, 0, 0.5};
    failed.tusn = "a,\"b\"";
    failed.loaderVersion = "v\x01\xFE";
    EXPECT_EQ(ReportCsvLine(failed), "12,,Failed,\"remote: \"\"bad\"\", again\n\xEF\xBF\xBD\",6000,0,0.5,,,"
                                     "\"a,\"\"b\"\"\",v\x01\xEF\xBF\xBD,,");
    EXPECT_EQ(ReportJsonLine(failed),
              "{\"port\":12,\"binding_position\":null,\"result\":\"Failed\",\"message\":"
              "\"remote: \\\"bad\\\", again\\u000a\xEF\xBF\xBD\",\"command\":6000,\"bytes\":0,\"seconds\":0.5,"
              "\"started_at\":\"\",\"finished_at\":\"\",\"tusn\":\"a,\\\"b\\\"\",\"loader_version\":\"v\\u0001\xEF\xBF\xBD\","
              "\"image_md5\":\"\",\"log_file\":\"\"}");
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


TEST(TerminalReport, TextThatASpreadsheetWouldRunGetsAQuoteInTheCsvOnly) {
    struct Case {
        std::string version;
        std::string csvCell;
    };
    const Case cases[] = {
        {"=HYPERLINK(\"http://x\",\"v1\")", "'=HYPERLINK(\"http://x\",\"v1\")"},
        {"+1+2", "'+1+2"},
        {"-2+3", "'-2+3"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tV1.0", "'\tV1.0"},
        {"\rV1.0", "'\rV1.0"},
        {"V1.0 = new", "V1.0 = new"},  // only the first character counts
        {"'quoted", "'quoted"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        TerminalOutcome outcome{5, "2", true, "PASS"};
        outcome.loaderVersion = c.version;
        outcome.tusn = c.version;
        const std::vector<std::string> cells = CsvCells(ReportCsvLine(outcome));
        ASSERT_EQ(cells.size(), 13U);
        EXPECT_EQ(cells[9], c.csvCell);   // tusn
        EXPECT_EQ(cells[10], c.csvCell);  // loader_version
        // The JSON line keeps the text exactly (escaped, not changed).
        const std::string json = ReportJsonLine(outcome);
        std::string escaped;
        for (const char ch : c.version) {
            escaped += ch == '"' ? std::string("\\\"") : ch == '\t' ? "\\u0009" : ch == '\r' ? "\\u000d" : std::string(1, ch);
        }
        EXPECT_NE(json.find("\"loader_version\":\"" + escaped + "\""), std::string::npos) << json;
    }
}

// Runs with the C library's locale set to one with a decimal comma, as a window does when
// the operator's environment asks for it.
class DecimalCommaLocale : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
            GTEST_SKIP() << "the de_DE.UTF-8 locale is not generated (scripts/install-deps makes it)";
        }
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", 12.5);
        ASSERT_STREQ(text, "12,5") << "the locale must have a decimal comma for this test to mean anything";
    }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(DecimalCommaLocale, NumbersKeepTheirPointInTheReportAndTheConsole) {
    TerminalOutcome outcome{3, "1", false, "Time out", 48, 2048, 12.5};
    const std::vector<std::string> cells = CsvCells(ReportCsvLine(outcome));
    ASSERT_EQ(cells.size(), 13U);
    EXPECT_EQ(cells[6], "12.5");
    const std::string json = ReportJsonLine(outcome);
    EXPECT_NE(json.find(",\"seconds\":12.5,"), std::string::npos) << json;
    EXPECT_TRUE(std::regex_match(json, std::regex(R"(\{("[a-z_0-9]+":(-?[0-9]+(\.[0-9]+)?|null|"[^"]*"),?)+\})")))
        << json;
    EXPECT_EQ(SummaryOfRows({}, {}, 1536.0), "passed 0, failed 0, in progress 0, 1.5 KiB/s");
}

TEST(TerminalReport, ARewriteThatFailsKeepsTheReportBeforeIt) {
    struct Case {
        const char* name;
        std::function<void(const std::string& folder)> breakIt;
        std::function<void(const std::string& folder)> mend;
    };
    rlimit oldLimit{};
    getrlimit(RLIMIT_FSIZE, &oldLimit);
    const Case cases[] = {
        // A full device: no file may grow past a few bytes, so the write fails half-way.
        {"full device",
         [&](const std::string&) {
             signal(SIGXFSZ, SIG_IGN);
             rlimit small = oldLimit;
             small.rlim_cur = 64;
             setrlimit(RLIMIT_FSIZE, &small);
         },
         [&](const std::string&) { setrlimit(RLIMIT_FSIZE, &oldLimit); }},
        // A folder that takes no new file (the replacement is made beside the report).
        {"unwritable folder",
         [](const std::string& folder) {
             std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
         },
         [](const std::string& folder) { std::filesystem::permissions(folder, std::filesystem::perms::owner_all); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.name) == "unwritable folder" && geteuid() == 0) {
            continue;  // the superuser writes into any folder
        }
        testing::TempDir dir;
        const std::string file = dir.File("report.csv");
        std::vector<std::string> warnings;
        ReportFile report(file, [&](const std::string& w) { warnings.push_back(w); });
        report.Add(TerminalOutcome{1, "1", true, "PASS", std::nullopt, 10, 1.0});
        const std::string before = ReadAll(file);
        ASSERT_NE(before.find("\n1,1,Passed,PASS"), std::string::npos) << before;

        c.breakIt(dir.Path());
        report.Add(TerminalOutcome{2, "2", false, "Time out", 48, 4096, 30.0});
        report.Add(TerminalOutcome{3, "3", true, "PASS"});
        const bool written = report.Write();
        c.mend(dir.Path());
        EXPECT_FALSE(written);
        EXPECT_EQ(ReadAll(file), before);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "no temporary left";
        ASSERT_EQ(warnings.size(), 1U) << "told once, not at every finished terminal";
        EXPECT_NE(warnings[0].find(file), std::string::npos);
        // Once the disk takes it again, the next write has every row.
        ASSERT_TRUE(report.Write());
        EXPECT_NE(ReadAll(file).find("\n3,3,Passed"), std::string::npos);
    }
}

}  // namespace
}  // namespace korvane
