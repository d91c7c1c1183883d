// What the records tool writes: the answer tables in text, CSV and JSON, the window's span,
// and the shift page, which must stay one self-contained file whatever the rows hold.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "records/result_table.h"
#include "records/shift_page.h"
#include "records/shift_queries.h"
#include "records/since.h"

namespace korvane {
namespace {

ResultTable Sample() {
    ResultTable table;
    table.columns = {"station", "units", "message"};
    table.numeric = {false, true, false};
    table.rows = {{"line-1", "12", "=HYPERLINK(\"x\")"}, {"中文站", "", "a,b\nc"}, {"l3", "7", "-plain"}};
    return table;
}

TEST(ResultTable, CsvQuotesAndDisarmsFormulas) {
    EXPECT_EQ(FormatTable(Sample(), TableFormat::kCsv),
              "station,units,message\n"
              "line-1,12,\"'=HYPERLINK(\"\"x\"\")\"\n"
              "中文站,,\"a,b\nc\"\n"
              "l3,7,'-plain\n");
}

TEST(ResultTable, JsonEscapesTextAndGivesNullForAMissingNumber) {
    EXPECT_EQ(FormatTable(Sample(), TableFormat::kJson),
              "[\n"
              "  {\"station\": \"line-1\", \"units\": 12, \"message\": \"=HYPERLINK(\\\"x\\\")\"},\n"
              "  {\"station\": \"中文站\", \"units\": null, \"message\": \"a,b\\u000ac\"},\n"
              "  {\"station\": \"l3\", \"units\": 7, \"message\": \"-plain\"}\n"
              "]\n");
    EXPECT_EQ(FormatTable(ResultTable{{"a"}, {false}, {}}, TableFormat::kJson), "[]\n");
}

TEST(ResultTable, TextAlignsColumnsByCharactersAndKeepsEachRowOnOneLine) {
    EXPECT_EQ(FormatTable(Sample(), TableFormat::kText),
              "station  units  message\n"
              "line-1      12  =HYPERLINK(\"x\")\n"
              "中文站             a,b c\n"
              "l3           7  -plain\n");
}

TEST(ParseSince, TakesSpansAndRefusesTheRest) {
    const struct {
        const char* text;
        bool ok;
        double seconds;
    } cases[] = {
        {"12h", true, 43200}, {"90m", true, 5400},  {"2d", true, 172800}, {"30s", true, 30},
        {"1.5h", true, 5400}, {"8", true, 28800},   {"", false, 0},       {"h", false, 0},
        {"0h", false, 0},     {"-1h", false, 0},    {"12x", false, 0},    {"12 h", false, 0},
        {"400d", false, 0},   {"nanh", false, 0},
    };
    for (const auto& c : cases) {
        double seconds = 0;
        EXPECT_EQ(ParseSince(c.text, seconds), c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(seconds, c.seconds) << c.text;
        }
    }
}

ShiftReport HostileReport() {
    ShiftReport report;
    StationSummary s;
    s.station = "<b>line-1</b>";
    s.passed = 3;
    s.failed = 1;
    s.units = 4;
    s.medianSeconds = 12.5;
    s.topFailures = {{"<script>alert(1)</script>", 1}};
    report.stations = {s};
    report.hours = {{"<b>line-1</b>", "2026-12-10 08:00", 3, 4}};
    report.pareto = {{"<img src=http://x/a.png>", 5}, {"timeout \"cmd\" & more", 2}};
    report.failed = {{"<b>line-1</b>", "2026-12-10T08:10:00+01", "T'1", "<img src=http://x/a.png>", "35",
                      "log </pre><script src=\"https://cdn.example/x.js\"></script>"}};
    return report;
}

TEST(ShiftPage, IsSelfContainedWhateverTheRowsHold) {
    const std::string page = ShiftPage(HostileReport(), "last 12h", "2026-12-10T09:00:00+01:00");
    // Nothing runs and nothing is fetched: no script element, no element that loads a
    // resource, and a content policy that forbids both anyway.
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_FALSE(std::regex_search(page, std::regex("<(img|link|iframe|object|embed)\\b")));
    EXPECT_FALSE(std::regex_search(page, std::regex("<[a-z]+[^>]*\\s(src|href)=")));
    EXPECT_NE(page.find("default-src 'none'"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(page.find("T&#39;1"), std::string::npos);
    EXPECT_NE(page.find("timeout &quot;cmd&quot; &amp; more"), std::string::npos);
}

TEST(ShiftPage, DrawsBothChartsAndTheFailedUnitsWithTheirLogs) {
    const std::string page = ShiftPage(HostileReport(), "last 12h", "now");
    EXPECT_NE(page.find("aria-label=\"Yield per station per hour\""), std::string::npos);
    EXPECT_NE(page.find("75.0% of 4"), std::string::npos);  // 3 of 4 passed in that hour
    // Pareto: the bigger bar first, and the running share ends at the top of the plot.
    EXPECT_LT(page.find("a.png&gt;: 5"), page.find("more: 2"));
    EXPECT_NE(page.find("class=\"cumulative\""), std::string::npos);
    EXPECT_NE(page.find("<details><summary>log</summary><pre>log &lt;/pre&gt;"), std::string::npos);
    EXPECT_NE(page.find("75.0%</td>"), std::string::npos);  // the station's yield
}

TEST(ShiftPage, AnEmptyWindowSaysSo) {
    const std::string page = ShiftPage(ShiftReport{}, "last 1h", "now");
    EXPECT_NE(page.find("No terminals finished in this window."), std::string::npos);
    EXPECT_NE(page.find("No failures in this window."), std::string::npos);
    EXPECT_NE(page.find("No failed units."), std::string::npos);
}

}  // namespace
}  // namespace korvane
