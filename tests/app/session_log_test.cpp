// The session logs: what a session's events become in its file, when and where the file
// is written, names that are never reused, and what happens when the folder cannot be
// written.
#include "app/session_log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/port_view.h"
#include "tests/fixtures/temp_dir.h"

namespace korvane {
namespace {

std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A line without its time stamp ("16:52:34.123 +0.004s ").
std::string Body(const std::string& line) {
    static const std::regex stamp(R"(^\d\d:\d\d:\d\d\.\d{3} \+\d+\.\d{3}s )");
    std::smatch match;
    return std::regex_search(line, match, stamp) ? match.suffix().str() : "<no time stamp> " + line;
}

// The file's lines once they hold `count` lines; what it holds after a few seconds otherwise.
std::vector<std::string> AwaitLines(const std::string& path, size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::vector<std::string> lines = FileLines(path);
    while (lines.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        lines = FileLines(path);
    }
    return lines;
}

TEST(SessionLog, EverySessionEventIsALineOnDiskWhileTheSessionRuns) {
    testing::TempDir dir;
    std::vector<std::string> warnings;
    SessionLogWriter logs(dir.File("logs"), [&](const std::string& w) { warnings.push_back(w); });
    const int code = 36;
    logs.SessionBegan(7, "3");
    const std::string path = logs.PathOf(7);
    EXPECT_EQ(std::filesystem::path(path).parent_path(), std::filesystem::path(dir.File("logs")));
    EXPECT_TRUE(std::regex_match(std::filesystem::path(path).filename().string(),
                                 std::regex(R"(COM7_\d{8}-\d{6}-\d{3}_pos3\.log)")))
        << path;
    logs.Result(7, false, nullptr, "Time out", true);
    logs.PlainText(7, "GOTO FASTBOOT", "OKAY");
    logs.Tusn(7, "000050QV41C\r\n");
    logs.LoaderVersion(7, "QV41C | V1.0");
    logs.Step(7, kStepMainApp, 65536);
    // A step reaches the file at once, with everything before it; the session goes on.
    EXPECT_EQ(AwaitLines(path, 6).size(), 6U);
    logs.Packet(7, PacketEvent{0, 1544, 12, "OK", 31});
    logs.ImageDelivered(7, std::vector<uint8_t>(384));
    // Lines without a step follow within the writer's period.
    EXPECT_EQ(AwaitLines(path, 8).size(), 8U);
    logs.Step(7, kStepErase, 100);
    logs.Packet(7, PacketEvent{36, 528, 0, "remote: flash busy", 30002});
    logs.Result(7, false, &code, "remote: flash busy", false);
    logs.Packet(8, PacketEvent{5, 0, 0, "OK", 1});  // a port without a session: nothing kept
    logs.SessionEnded(7);

    std::vector<std::string> bodies;
    for (const std::string& line : AwaitLines(path, 12)) {
        bodies.push_back(Body(line));
    }
    ASSERT_EQ(bodies.size(), 12U);
    EXPECT_TRUE(std::regex_match(bodies[0], std::regex(R"(session began on COM7, binding position 3, )"
                                                       R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
        << bodies[0];
    const std::vector<std::string> expected = {
        "in its application (Time out), sending it to its loader",
        "text \"GOTO FASTBOOT\" answered \"OKAY\"",
        "TUSN \"000050QV41C\\x0d\\x0a\"",
        "loader version \"QV41C | V1.0\"",
        "step Downloading main app (65536 bytes)",
        "packet command 0 length 1544 index 12: OK in 31 ms",
        "application image received whole, 384 bytes",
        "step Erase flash",
        "packet command 36 length 528 index 0: remote: flash busy in 30002 ms",
        "result Failed: remote: flash busy (command 36)",
        "session ended",
    };
    EXPECT_EQ(std::vector<std::string>(bodies.begin() + 1, bodies.end()), expected);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("logs")), {}), 1);
}

TEST(SessionLog, SessionsNamedAlikeKeepALogEach) {
    // Fixed clocks give every session the same name: two sessions of a port in one
    // millisecond, two programs sharing the folder, or a clock set back to a time used.
    const WallTime fixed = std::chrono::system_clock::now();
    testing::TempDir dir;
    const auto clock = [fixed] { return fixed; };
    SessionLogWriter first(dir.Path(), nullptr, clock);
    SessionLogWriter second(dir.Path(), nullptr, clock);  // another program
    struct Session {
        SessionLogWriter& writer;
        const char* text;
    };
    const Session sessions[] = {{first, "one"}, {first, "two"}, {second, "three"}};
    std::vector<std::string> paths;
    for (const Session& s : sessions) {
        s.writer.SessionBegan(4, "2");
        s.writer.PlainText(4, s.text, "OKAY");
        s.writer.SessionEnded(4);
        paths.push_back(s.writer.PathOf(4));
    }
    EXPECT_EQ(std::filesystem::path(paths[0]).filename(), SessionLogName(4, fixed, "2"));
    for (size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths[i]);
        const std::vector<std::string> lines = AwaitLines(paths[i], 3);
        ASSERT_EQ(lines.size(), 3U);
        EXPECT_EQ(Body(lines[1]), std::string("text \"") + sessions[i].text + "\" answered \"OKAY\"");
    }
    EXPECT_EQ(std::set<std::string>(paths.begin(), paths.end()).size(), 3U);
}

TEST(SessionLog, AFolderThatCannotBeWrittenWarnsOnceAndKeepsNoPath) {
    testing::TempDir dir;
    std::ofstream(dir.File("file")) << "x";
    std::vector<std::string> warnings;
    SessionLogWriter logs(dir.File("file/logs"), [&](const std::string& w) { warnings.push_back(w); });
    for (int port : {1, 2, 1}) {
        logs.SessionBegan(port, "");
        logs.Result(port, true, nullptr, "PASS", false);
        logs.SessionEnded(port);
        EXPECT_EQ(logs.PathOf(port), "");
    }
    ASSERT_EQ(warnings.size(), 1U);
    EXPECT_NE(warnings[0].find("session logs cannot be written to " + dir.File("file/logs")), std::string::npos)
        << warnings[0];
}

TEST(SessionLog, FileNamesAndTexts) {
    const auto when = std::chrono::system_clock::now();
    const struct {
        int port;
        std::string binding;
        std::string tail;
    } names[] = {
        {3, "2", "_pos2.log"},
        {12, "", ".log"},
        {4, "../x", ".log"},  // only a plain number goes into a name
    };
    for (const auto& n : names) {
        const std::string name = SessionLogName(n.port, when, n.binding);
        EXPECT_TRUE(name.starts_with("COM" + std::to_string(n.port) + "_")) << name;
        EXPECT_TRUE(name.ends_with(n.tail)) << name;
        EXPECT_EQ(name.find('/'), std::string::npos);
    }
    EXPECT_EQ(PrintableText("ok \x1b[2J\\ \xFF"), "ok \\x1b[2J\\x5c \xEF\xBF\xBD");
}

}  // namespace
}  // namespace korvane
