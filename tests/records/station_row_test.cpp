// What the database takes: text without NULs and with well-formed UTF-8, whatever bytes a
// terminal sent, and a failed terminal's log bounded to its end.
#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"
#include "records/station_row.h"

namespace korvane {
namespace {

TEST(StorableText, MendsWhatTheServerWouldRefuse) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"plain", "plain"},
        {"", ""},
        {"caf\xC3\xA9 \xE4\xB8\xAD", "caf\xC3\xA9 \xE4\xB8\xAD"},
        {std::string("a\0b", 3), "ab"},
        {"bad \xFF byte", "bad \xEF\xBF\xBD byte"},
        {"cut \xE4\xB8", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StorableText(c.in), c.out);
    }
}

TEST(BoundLogText, KeepsTheEndOfALongLogFromALineStart) {
    std::string log;
    for (int i = 0; log.size() < 3 * kLogTextLimit; ++i) {
        log += "line " + std::to_string(i) + " of the session\n";
    }
    log += "Failed: remote error\n";
    const std::string kept = BoundLogText(log);
    const size_t firstBreak = kept.find('\n');
    ASSERT_NE(firstBreak, std::string::npos);
    EXPECT_EQ(kept.substr(0, 1), "[");
    EXPECT_NE(kept.find("bytes before this left out]"), std::string::npos);
    const std::string body = kept.substr(firstBreak + 1);
    EXPECT_LE(body.size(), kLogTextLimit);
    EXPECT_GT(body.size(), kLogTextLimit - 1024);
    EXPECT_EQ(body.substr(0, 5), "line ");  // a whole line
    EXPECT_EQ(log.substr(log.size() - body.size()), body);
    EXPECT_EQ(body.substr(body.size() - 21), "Failed: remote error\n");
}

TEST(BoundLogText, ShortLogsStayWholeAndTheCutNeverSplitsACharacter) {
    EXPECT_EQ(BoundLogText("short\nlog\n"), "short\nlog\n");
    // One long line of three-byte characters: no line start near the cut.
    std::string wide;
    while (wide.size() < 2 * kLogTextLimit + 1) {
        wide += "\xE4\xB8\xAD";
    }
    wide += "x";
    const std::string kept = BoundLogText(wide);
    EXPECT_TRUE(IsValidUtf8(kept));
    const std::string body = kept.substr(kept.find('\n') + 1);
    EXPECT_LE(body.size(), kLogTextLimit);
    EXPECT_EQ(body.back(), 'x');
}

TEST(StorableRow, CleansEveryTextField) {
    StationRow row;
    row.station = "st\xFF";
    row.message = std::string("m\0", 2);
    row.tusn = "t\xC3";
    row.logText = std::string(2 * kLogTextLimit, 'a');
    const StationRow clean = StorableRow(row);
    EXPECT_EQ(clean.station, "st\xEF\xBF\xBD");
    EXPECT_EQ(clean.message, "m");
    EXPECT_TRUE(IsValidUtf8(clean.tusn));
    ASSERT_TRUE(clean.logText.has_value());
    EXPECT_LT(clean.logText->size(), kLogTextLimit + 64);
}

}  // namespace
}  // namespace korvane
