// The spool's row format: every row reads back as written, and bytes that are not a whole
// row (a file cut short, edited or of another format) are refused, never half-read.
#include <gtest/gtest.h>

#include <string>

#include "records/row_codec.h"
#include "records/station_row.h"

namespace korvane {
namespace {

StationRow FullRow() {
    StationRow row;
    row.station = "line-3";
    row.sessionId = "20261210-165234-123-COM3-00ff";
    row.port = 3;
    row.bindingPosition = "2";
    row.passed = false;
    row.message = "remote: \"bad\"\\ again\r\nsecond line";
    row.command = 35;
    row.bytes = 1048576;
    row.seconds = 12.345678901234;
    row.startedAt = "2026-12-10T16:52:34+01:00";
    row.finishedAt = "2026-12-10T16:52:46+01:00";
    row.tusn = "0000500141K010000003";
    row.loaderVersion = "QV41C LOADER QV41C_LD_V1.0.0";
    row.imageMd5 = "0123456789abcdef0123456789abcdef fedcba9876543210fedcba9876543210";
    row.logFile = "/var/log/k/COM3_1.log";
    row.logText = "line one\nline=two\\n\n";
    return row;
}

void ExpectSame(const StationRow& a, const StationRow& b) {
    EXPECT_EQ(a.station, b.station);
    EXPECT_EQ(a.sessionId, b.sessionId);
    EXPECT_EQ(a.port, b.port);
    EXPECT_EQ(a.bindingPosition, b.bindingPosition);
    EXPECT_EQ(a.passed, b.passed);
    EXPECT_EQ(a.message, b.message);
    EXPECT_EQ(a.command, b.command);
    EXPECT_EQ(a.bytes, b.bytes);
    EXPECT_EQ(a.seconds, b.seconds);
    EXPECT_EQ(a.startedAt, b.startedAt);
    EXPECT_EQ(a.finishedAt, b.finishedAt);
    EXPECT_EQ(a.tusn, b.tusn);
    EXPECT_EQ(a.loaderVersion, b.loaderVersion);
    EXPECT_EQ(a.imageMd5, b.imageMd5);
    EXPECT_EQ(a.logFile, b.logFile);
    EXPECT_EQ(a.logText, b.logText);
}

TEST(RowCodec, RowsReadBackAsWritten) {
    StationRow passed = FullRow();
    passed.passed = true;
    passed.message = "PASS";
    passed.command.reset();
    passed.logText.reset();
    StationRow bare;
    bare.station = "s";
    bare.sessionId = "id";
    StationRow emptyLog = FullRow();
    emptyLog.logText = "";
    for (const StationRow& row : {FullRow(), passed, bare, emptyLog}) {
        const std::optional<StationRow> back = DecodeRow(EncodeRow(row));
        ASSERT_TRUE(back.has_value()) << EncodeRow(row);
        ExpectSame(row, *back);
    }
}

TEST(RowCodec, EveryLineOfAFieldStaysOnItsLine) {
    const std::string encoded = EncodeRow(FullRow());
    // The message's line break is escaped: it is one line of the file.
    EXPECT_NE(encoded.find("message=remote: \"bad\"\\\\ again\\r\\nsecond line\n"), std::string::npos);
}

TEST(RowCodec, MalformedBytesAreRefused) {
    const std::string good = EncodeRow(FullRow());
    const auto replaced = [&good](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"another format", replaced("korvane-station-row 1", "korvane-station-row 2")},
        {"cut before the end line", good.substr(0, good.size() - 4)},
        {"cut inside a line", good.substr(0, good.size() / 2)},
        {"bytes after the end line", good + "tusn=x\n"},
        {"a bad escape", replaced("message=remote", "message=\\tremote")},
        {"a backslash at a line's end", replaced("tusn=0000500141K010000003", "tusn=x\\")},
        {"a key twice", replaced("tusn=", "message=x\ntusn=")},
        {"a line without =", replaced("tusn=", "tusn\ntusn=")},
        {"no station", replaced("station=line-3", "station=")},
        {"no session id", replaced("session_id=20261210-165234-123-COM3-00ff\n", "")},
        {"a port that is no number", replaced("port=3", "port=3a")},
        {"an unknown result", replaced("result=Failed", "result=failed")},
        {"a command that is no number", replaced("command=35", "command=")},
        {"bytes below zero", replaced("bytes=1048576", "bytes=-1")},
        {"seconds that are no number", replaced("seconds=12.345678901234", "seconds=12,3")},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(DecodeRow(c.bytes).has_value()) << c.what;
    }
}

}  // namespace
}  // namespace korvane
