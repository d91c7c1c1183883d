// The window's command line: every option, its refusals, and the report, log folder and
// shared records from the environment.
#include <gtest/gtest.h>

#include <map>

#include "ui/window_options.h"

namespace korvane {
namespace {

using Env = std::map<std::string, std::string>;

WindowOptions Parse(const std::vector<std::string>& arguments, const Env& environment = {}) {
    return ParseWindowOptions(arguments, [&](const char* name) {
        const auto it = environment.find(name);
        return it == environment.end() ? std::string() : it->second;
    });
}

std::string Joined(const std::vector<std::string>& arguments) {
    std::string text;
    for (const std::string& argument : arguments) {
        text += argument + " ";
    }
    return text;
}

TEST(WindowOptions, CommandLine) {
    const struct {
        std::vector<std::string> arguments;
        std::string configDir;
        bool autostart;
        std::string screenshot;
        int after;
        int count;
        int timeout;
        bool refused;
    } cases[] = {
        {{"prog"}, "", false, "", 3000, 0, 0, false},
        {{"prog", "--config-dir", "/etc/k"}, "/etc/k", false, "", 3000, 0, 0, false},
        {{"prog", "--autostart", "--screenshot", "a.png", "--after", "500"}, "", true, "a.png", 500, 0, 0, false},
        {{"prog", "--after", "0"}, "", false, "", 0, 0, 0, false},
        {{"prog", "--autostart", "--count", "8", "--timeout", "120"}, "", true, "", 3000, 8, 120, false},
        {{"prog", "--config-dir"}, "", false, "", 3000, 0, 0, true},
        {{"prog", "--after", "soon"}, "", false, "", 3000, 0, 0, true},
        {{"prog", "--after", "-1"}, "", false, "", 3000, 0, 0, true},
        {{"prog", "--count"}, "", false, "", 3000, 0, 0, true},
        {{"prog", "--count", "0"}, "", false, "", 3000, 0, 0, true},
        {{"prog", "--count", "3x"}, "", false, "", 3000, 0, 0, true},
        {{"prog", "--timeout", "-5"}, "", false, "", 3000, 0, 0, true},
        {{"prog", "--timeout", "99999999999"}, "", false, "", 3000, 0, 0, true},
        {{"prog", "--headless-ish"}, "", false, "", 3000, 0, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Joined(c.arguments));
        const WindowOptions options = Parse(c.arguments);
        EXPECT_EQ(!options.error.empty(), c.refused) << options.error;
        if (!c.refused) {
            EXPECT_EQ(options.configDir, c.configDir);
            EXPECT_EQ(options.autostart, c.autostart);
            EXPECT_EQ(options.screenshotFile, c.screenshot);
            EXPECT_EQ(options.screenshotAfterMs, c.after);
            EXPECT_EQ(options.count, c.count);
            EXPECT_EQ(options.timeoutSeconds, c.timeout);
        }
    }
}

TEST(WindowOptions, RecordsFromTheCommandLineOrTheEnvironment) {
    const Env environment{{"KORVANE_REPORT", "/var/r.csv"},
                          {"KORVANE_LOG_DIR", "/var/logs"},
                          {"KORVANE_RECORDS", "postgresql:///line"},
                          {"KORVANE_STATION", "bench-3"}};
    const struct {
        std::vector<std::string> arguments;
        Env environment;
        std::string report;
        std::string logDir;
        std::string records;
        std::string station;
        bool refused;
    } cases[] = {
        {{"prog"}, {}, "", "", "", "", false},
        {{"prog"}, environment, "/var/r.csv", "/var/logs", "postgresql:///line", "bench-3", false},
        {{"prog", "--report", "a.jsonl", "--log-dir", "logs", "--records", "host=db", "--station", "s1"},
         environment,
         "a.jsonl",
         "logs",
         "host=db",
         "s1",
         false},
        {{"prog", "--report"}, environment, "", "", "", "", true},
        {{"prog", "--log-dir", ""}, environment, "", "", "", "", true},
        {{"prog", "--records", ""}, environment, "", "", "", "", true},
        {{"prog", "--station"}, environment, "", "", "", "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Joined(c.arguments));
        const WindowOptions options = Parse(c.arguments, c.environment);
        EXPECT_EQ(!options.error.empty(), c.refused);
        if (!c.refused) {
            EXPECT_EQ(options.reportFile, c.report);
            EXPECT_EQ(options.logDir, c.logDir);
            EXPECT_EQ(options.records, c.records);
            EXPECT_EQ(options.station, c.station);
        }
    }
}

}  // namespace
}  // namespace korvane
