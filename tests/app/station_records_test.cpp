// A finished terminal as a row of the shared records: every report value carried over and
// made storable, the settings from options before variables, and session ids that never
// repeat.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/station_records.h"

namespace korvane {
namespace {

TEST(StationRecords, ARowCarriesTheReportsValues) {
    TerminalOutcome outcome;
    outcome.nPort = 12;
    outcome.bindingPosition = "3";
    outcome.passed = false;
    outcome.message = "remote: bad \xFF";
    outcome.command = 35;
    outcome.bytes = 4124;
    outcome.seconds = 1.25;
    outcome.startedAt = "2026-12-10T16:52:34+01:00";
    outcome.finishedAt = "2026-12-10T16:52:46+01:00";
    outcome.tusn = "0000500141K010000012";
    outcome.loaderVersion = "QV41C LOADER";
    outcome.imageMd5 = "00ff";
    outcome.logFile = "/logs/COM12.log";
    const StationRow row = RowOfOutcome(outcome, "line-2", "id-1", std::string("log\0text", 8));
    EXPECT_EQ(row.station, "line-2");
    EXPECT_EQ(row.sessionId, "id-1");
    EXPECT_EQ(row.port, 12);
    EXPECT_EQ(row.bindingPosition, "3");
    EXPECT_FALSE(row.passed);
    EXPECT_EQ(row.message, "remote: bad \xEF\xBF\xBD");  // a terminal's stray byte stays storable
    EXPECT_EQ(row.command, 35);
    EXPECT_EQ(row.bytes, 4124u);
    EXPECT_EQ(row.seconds, 1.25);
    EXPECT_EQ(row.startedAt, outcome.startedAt);
    EXPECT_EQ(row.finishedAt, outcome.finishedAt);
    EXPECT_EQ(row.tusn, outcome.tusn);
    EXPECT_EQ(row.loaderVersion, outcome.loaderVersion);
    EXPECT_EQ(row.imageMd5, outcome.imageMd5);
    EXPECT_EQ(row.logFile, outcome.logFile);
    EXPECT_EQ(row.logText, "logtext");

    // A session that ended before any step still has a finishing time, which the table needs.
    TerminalOutcome bare;
    bare.nPort = 3;
    EXPECT_FALSE(RowOfOutcome(bare, "s", "id-2", std::nullopt).finishedAt.empty());
}

TEST(StationRecords, OptionsComeBeforeVariables) {
    const struct {
        RecordsSettings options;
        const char* url;
        const char* station;
        RecordsSettings expected;
    } cases[] = {
        {{"host=a", "one"}, "host=b", "two", {"host=a", "one"}},
        {{"", ""}, "host=b", "two", {"host=b", "two"}},
        {{"", "one"}, "host=b", nullptr, {"host=b", "one"}},
        {{"", ""}, nullptr, nullptr, {"", ""}},
    };
    for (const auto& c : cases) {
        const RecordsSettings settings = ResolveRecordsSettings(c.options, c.url, c.station);
        EXPECT_EQ(settings.connection, c.expected.connection);
        EXPECT_EQ(settings.station, c.expected.station);
    }
    EXPECT_EQ(StationRecords::Open({}, "/nonexistent", nullptr), nullptr);
}

TEST(StationRecords, SessionIdsNeverRepeat) {
    TerminalOutcome outcome;
    outcome.nPort = 7;
    std::set<std::string> ids;
    for (int i = 0; i < 10000; ++i) {
        const std::string id = NewSessionId(outcome);
        EXPECT_NE(id.find("-COM7-"), std::string::npos) << id;
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 10000u);
}

}  // namespace
}  // namespace korvane
