// The console front end as the operator runs it: the program itself, started with a
// configuration folder, downloading into simulated terminals published as virtual ports;
// its exit status, its lines, its report, and Ctrl-C. The window takes the same run
// options and ends with the same statuses.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/fixtures/bitmap16.h"
#include "tests/fixtures/config_dir.h"
#include "tests/integration/sim_session.h"
#include "tests/integration/terminal_rig.h"

extern char** environ;

namespace korvane::testing {
namespace {

using namespace std::chrono_literals;

const std::string kProgram = KORVANE_PROGRAM;

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The program running in the background, its output in files; killed if still running at
// the end of the test.
class Program {
public:
    Program(const std::vector<std::string>& args, const TempDir& dir) : out_(dir.File("out")), err_(dir.File("err")) {
        std::vector<std::string> all = {kProgram};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, kProgram.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }

    ~Program() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    bool Started() const { return pid_ > 0; }
    void Signal(int signal) const { kill(pid_, signal); }

    // The exit status, or -1 when the program did not end within the limit (or by a signal).
    int Wait(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

    std::string Out() const { return ReadText(out_); }
    std::string Err() const { return ReadText(err_); }

private:
    std::string out_;
    std::string err_;
    pid_t pid_ = -1;
};

class ConsoleEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bench_.Ok()) << bench_.error;
        const KeyPairBlock& keyPair = ProcessKeyPair();
        config_.WriteBytes("keyPair.bin", std::vector<uint8_t>(keyPair.begin(), keyPair.end()));
        config_.WriteBytes("logo.bmp", MakeBitmap16({.width = 20, .height = 10}));
        config_.SetAppLoad("DownloadLogo", "1");
        config_.SetAppLoad("LogoPath", config_.File("logo.bmp"));
    }

    sim::SimTerminal& Terminal(int port, const std::vector<std::string>& faultTexts = {}) {
        terminals_[port] = MakeTerminal(bench_, port, LoaderTerminal(faultTexts));
        return *terminals_[port];
    }

    sim::SimTerminal& AppTerminal(int port) {
        sim::TerminalSettings settings = LoaderTerminal();
        settings.start_mode = sim::TerminalMode::kApplication;
        terminals_[port] = MakeTerminal(bench_, port, std::move(settings));
        return *terminals_[port];
    }

    // Plugs a terminal in once the program's watcher is running: a terminal that was there
    // before the watcher's first pass is not an arrival, so it is plugged again until the
    // program talks to it.
    // heardWithin: how soon a session speaks to it in a way it hears.
    void PlugUntilHeard(sim::SimTerminal& terminal, std::chrono::seconds heardWithin = 4s) {
        std::string error;
        for (int attempt = 0; attempt < 10; ++attempt) {
            ASSERT_TRUE(terminal.Plug(error)) << error;
            // A session waits a second before it speaks.
            const auto deadline = std::chrono::steady_clock::now() + heardWithin;
            while (std::chrono::steady_clock::now() < deadline) {
                if (terminal.Status().received_any) {
                    return;
                }
                std::this_thread::sleep_for(10ms);
            }
            terminal.Unplug();
            std::this_thread::sleep_for(50ms);
        }
        FAIL() << "the program never talked to COM" << terminal.Port();
    }

    std::vector<std::string> Args(std::vector<std::string> more) const {
        std::vector<std::string> args = {"--headless", "--config-dir", config_.Path()};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    SimBench bench_;
    ConfigDir config_;
    TempDir output_;
    std::map<int, std::unique_ptr<sim::SimTerminal>> terminals_;
};

constexpr uint64_t kLogoBlockBytes = 28 + 20 * 10 * 2;

TEST_F(ConsoleEndToEnd, TerminalsThatAllPassExitZeroWithACsvReport) {
    const std::string report = output_.File("report.csv");
    Program program(Args({"--count", "2", "--timeout", "60", "--report", report}), output_);
    ASSERT_TRUE(program.Started());
    PlugUntilHeard(Terminal(21));
    PlugUntilHeard(Terminal(22));
    ASSERT_EQ(program.Wait(60s), 0) << program.Out() << program.Err();

    const std::vector<std::string> rows = Lines(ReadText(report));
    ASSERT_EQ(rows.size(), 3U) << ReadText(report);
    EXPECT_EQ(rows[0],
              "port,binding_position,result,message,command,bytes,seconds,started_at,finished_at,tusn,loader_version,"
              "image_md5,log_file");
    std::map<std::string, std::string> byPort;
    for (size_t i = 1; i < rows.size(); ++i) {
        byPort[rows[i].substr(0, rows[i].find(','))] = rows[i];
    }
    for (const char* port : {"21", "22"}) {
        const std::string prefix = std::string(port) + ",1,Passed,PASS,," + std::to_string(kLogoBlockBytes) + ",";
        EXPECT_EQ(byPort[port].rfind(prefix, 0), 0U) << byPort[port];
    }
    const std::string out = program.Out();
    EXPECT_NE(out.find("2 terminals finished: 2 passed, 0 failed"), std::string::npos) << out;
    EXPECT_NE(out.find("Downloading Logo"), std::string::npos) << out;
    EXPECT_EQ(out.find("\x1b["), std::string::npos);  // plain lines when stdout is a file
    EXPECT_EQ(program.Err(), "");
}

TEST_F(ConsoleEndToEnd, AFailedTerminalExitsOneAndIsReportedWithItsCommand) {
    const std::string report = output_.File("report.jsonl");
    Program program(Args({"--count", "1", "--timeout", "60", "--report", report, "--quiet"}), output_);
    ASSERT_TRUE(program.Started());
    PlugUntilHeard(Terminal(23, {"remote-error=flash busy:cmd=11"}));
    ASSERT_EQ(program.Wait(60s), 1) << program.Out() << program.Err();
    const std::vector<std::string> rows = Lines(ReadText(report));
    ASSERT_EQ(rows.size(), 1U) << ReadText(report);
    EXPECT_EQ(rows[0].rfind("{\"port\":23,\"binding_position\":1,\"result\":\"Failed\",\"message\":"
                            "\"remote: flash busy\",\"command\":4,\"bytes\":",
                            0),
              0U)
        << rows[0];
    // Quiet: the final row and the count, no row lines.
    const std::vector<std::string> out = Lines(program.Out());
    ASSERT_EQ(out.size(), 2U) << program.Out();
    EXPECT_EQ(out[0].rfind("COM23 #1 Failed:remote: flash busy (command 4), ", 0), 0U) << out[0];
    EXPECT_EQ(out[1], "1 terminals finished: 0 passed, 1 failed");
}

TEST_F(ConsoleEndToEnd, ARefusedStartExitsThreeWithItsMessage) {
    config_.SetAppLoad("LogoPath", config_.File("missing.bmp"));
    Program program(Args({"--timeout", "30"}), output_);
    ASSERT_TRUE(program.Started());
    EXPECT_EQ(program.Wait(30s), 3);
    EXPECT_EQ(program.Err(), "Please re-select the logo file!\nLogo文件 未加载，请确认！\n");
}

TEST_F(ConsoleEndToEnd, CountNotReachedInTimeIsNoSuccess) {
    Program program(Args({"--count", "1", "--timeout", "1"}), output_);
    ASSERT_TRUE(program.Started());
    EXPECT_EQ(program.Wait(30s), 1);
    EXPECT_NE(program.Out().find("timed out after 1 s with 0 of 1 terminals finished"), std::string::npos)
        << program.Out();
}

// The JSON lines report by port, each row as its text.
std::map<int, std::string> RowsByPort(const std::string& report) {
    std::map<int, std::string> rows;
    for (const std::string& line : Lines(ReadText(report))) {
        const size_t at = line.find("\"port\":");
        if (at != std::string::npos) {
            rows[std::stoi(line.substr(at + 7))] = line;
        }
    }
    return rows;
}

// The value of a string field of a JSON line, as written (escapes kept).
std::string Field(const std::string& row, const std::string& name) {
    const std::string key = "\"" + name + "\":\"";
    const size_t at = row.find(key);
    if (at == std::string::npos) {
        return "<none>";
    }
    const size_t from = at + key.size();
    return row.substr(from, row.find('"', from) - from);
}

// However the run ends while a terminal is in the middle of its logo, that terminal is a
// failed one: a final row, the count, a report row, its log and exit status 1. Ctrl-C
// stops the run at once.
TEST_F(ConsoleEndToEnd, ATerminalMidTransferWhenTheRunEndsIsReportedStopped) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int stuckPort;
        int passingPort;  // 0: none
        bool ctrlC;
    };
    const Case cases[] = {
        {"Ctrl-C", {}, 41, 0, true},
        {"--timeout", {"--timeout", "12"}, 42, 0, false},
        {"--count reached while another runs", {"--count", "1", "--timeout", "60"}, 43, 44, false},
    };
    // A logo of many packets, each answered late but within the session's wait: the stuck
    // terminal stays in the middle of its logo for a minute.
    config_.WriteBytes("logo.bmp", MakeBitmap16({.width = 160, .height = 100}));
    const std::vector<std::string> slowLogo = {"delay=3000:cmd=11"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir output;
        const std::string report = output.File("report.jsonl");
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--report", report, "--log-dir", output.File("logs")});
        Program program(Args(args), output);
        ASSERT_TRUE(program.Started());
        sim::SimTerminal& stuck = Terminal(c.stuckPort, slowLogo);
        PlugUntilHeard(stuck);
        ASSERT_TRUE(stuck.WaitUntil([](const sim::TerminalRecord& r) { return !r.PacketsOf(11).empty(); }, 30s));
        if (c.passingPort != 0) {
            PlugUntilHeard(Terminal(c.passingPort));
        }
        const auto signalled = std::chrono::steady_clock::now();
        if (c.ctrlC) {
            program.Signal(SIGINT);
        }
        ASSERT_EQ(program.Wait(60s), 1) << program.Out() << program.Err();
        if (c.ctrlC) {
            EXPECT_LT(std::chrono::steady_clock::now() - signalled, 3s) << "Ctrl-C stops the run at once";
        }

        const std::string out = program.Out();
        const size_t finished = c.passingPort != 0 ? 2 : 1;
        EXPECT_NE(out.find(std::to_string(finished) + " terminals finished: " + std::to_string(finished - 1) +
                           " passed, 1 failed"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find("COM" + std::to_string(c.stuckPort) + " #1 Failed:Stopped (command 4)"), std::string::npos)
            << out;
        const std::map<int, std::string> rows = RowsByPort(report);
        ASSERT_EQ(rows.size(), finished) << ReadText(report);
        const std::string& row = rows.at(c.stuckPort);
        EXPECT_NE(row.find("\"result\":\"Failed\",\"message\":\"Stopped\""), std::string::npos) << row;
        EXPECT_NE(ReadText(Field(row, "log_file")).find("result Failed: Stopped"), std::string::npos) << row;
        if (c.passingPort != 0) {
            EXPECT_NE(rows.at(c.passingPort).find("\"result\":\"Passed\""), std::string::npos);
        }
    }
}

// A program killed in the middle of a run (a crash, a power cut of the process) leaves the
// report rows of the terminals finished before it, and every session's log up to its last step.
TEST_F(ConsoleEndToEnd, AKilledProgramKeepsTheReportRowsAndLogsOfWhatWentBefore) {
    const std::string report = output_.File("report.csv");
    const std::string logDir = output_.File("logs");
    Program program(Args({"--report", report, "--log-dir", logDir}), output_);
    ASSERT_TRUE(program.Started());
    config_.WriteBytes("logo.bmp", MakeBitmap16({.width = 160, .height = 100}));
    PlugUntilHeard(Terminal(45));
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (Lines(ReadText(report)).size() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(50ms);
    }
    sim::SimTerminal& stuck = Terminal(46, {"delay=3000:cmd=11"});
    PlugUntilHeard(stuck);
    ASSERT_TRUE(stuck.WaitUntil([](const sim::TerminalRecord& r) { return !r.PacketsOf(11).empty(); }, 30s));
    std::this_thread::sleep_for(200ms);  // the writer's turn after the step
    program.Signal(SIGKILL);
    EXPECT_EQ(program.Wait(10s), -1);

    const std::vector<std::string> rows = Lines(ReadText(report));
    ASSERT_EQ(rows.size(), 2U) << ReadText(report);
    EXPECT_EQ(rows[1].rfind("45,1,Passed,PASS,", 0), 0U) << rows[1];
    std::map<int, std::string> logs;
    for (const auto& entry : std::filesystem::directory_iterator(logDir)) {
        const std::string name = entry.path().filename().string();
        logs[std::stoi(name.substr(3))] = ReadText(entry.path().string());
    }
    ASSERT_EQ(logs.size(), 2U);
    EXPECT_NE(logs[45].find("session ended"), std::string::npos) << logs[45];
    EXPECT_NE(logs[46].find("step Downloading Logo"), std::string::npos) << logs[46];
}

TEST_F(ConsoleEndToEnd, EachTerminalHasItsLogAndATraceableReportRow) {
    const std::string report = output_.File("report.jsonl");
    const std::string logDir = output_.File("logs");
    Program program(Args({"--count", "3", "--timeout", "90", "--report", report, "--log-dir", logDir}), output_);
    ASSERT_TRUE(program.Started());

    struct Case {
        int port;
        std::vector<std::string> faults;
        std::vector<std::string> results;  // the row's result and message, one of these
        std::vector<std::string> logLines;  // each found in the port's log, in this order
    };
    const Case cases[] = {
        {31, {}, {"\"result\":\"Passed\",\"message\":\"PASS\""},
         {"session began on COM31, binding position 1", "packet command 5 length 0 index 0: OK",
          "loader version \"", "step Downloading Logo (428 bytes)", "packet command 11 length", "index 2: OK",
          "result Passed", "session ended"}},
        {32, {"remote-error=flash busy:cmd=11:nth=2"},
         {"\"result\":\"Failed\",\"message\":\"remote: flash busy\",\"command\":4"},
         {"step Downloading Logo", "packet command 11 length ", "index 0: OK", "index 1: remote: flash busy in",
          "result Failed: remote: flash busy (command 4)", "session ended"}},
        {33, {"unplug-at:cmd=11:nth=2"},
         {"\"result\":\"Failed\",\"message\":\"Unplugged\"", "\"result\":\"Failed\",\"message\":\"Port lost\""},
         {"step Downloading Logo", "packet command 11 length ", "index 0: OK", "session ended"}},
    };
    for (const Case& c : cases) {
        PlugUntilHeard(Terminal(c.port, c.faults));
    }
    ASSERT_EQ(program.Wait(90s), 1) << program.Out() << program.Err();
    EXPECT_EQ(program.Err(), "");

    const std::map<int, std::string> rows = RowsByPort(report);
    const std::regex iso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        ASSERT_EQ(rows.count(c.port), 1U) << ReadText(report);
        const std::string& row = rows.at(c.port);
        EXPECT_TRUE(std::any_of(c.results.begin(), c.results.end(),
                                [&](const std::string& result) { return row.find(result) != std::string::npos; }))
            << row;
        EXPECT_TRUE(std::regex_match(Field(row, "started_at"), iso)) << row;
        EXPECT_TRUE(std::regex_match(Field(row, "finished_at"), iso)) << row;
        EXPECT_LE(Field(row, "started_at"), Field(row, "finished_at"));
        EXPECT_EQ(Field(row, "tusn"), "");            // a loader terminal is not asked for it
        EXPECT_EQ(Field(row, "image_md5"), "");       // no application images configured
        EXPECT_NE(Field(row, "loader_version"), "");  // every terminal answered the version query

        const std::string log = Field(row, "log_file");
        EXPECT_EQ(std::filesystem::path(log).parent_path(), std::filesystem::path(logDir)) << row;
        EXPECT_TRUE(std::filesystem::path(log).filename().string().starts_with("COM" + std::to_string(c.port) + "_"));
        EXPECT_TRUE(log.ends_with("_pos1.log")) << log;
        const std::string text = ReadText(log);
        size_t from = 0;
        for (const std::string& expected : c.logLines) {
            const size_t at = text.find(expected, from);
            ASSERT_NE(at, std::string::npos) << "missing after offset " << from << ": " << expected << "\n" << text;
            from = at + expected.size();
        }
        for (const std::string& line : Lines(text)) {
            EXPECT_TRUE(std::regex_search(line, std::regex(R"(^\d\d:\d\d:\d\d\.\d{3} \+\d+\.\d{3}s )"))) << line;
        }
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(logDir), std::filesystem::directory_iterator()), 3);
}

TEST_F(ConsoleEndToEnd, PlainLinesOfATerminalInItsApplicationShowProgressAndNoFalseFailure) {
    // A logo large enough for several progress lines.
    config_.WriteBytes("logo.bmp", MakeBitmap16({.width = 160, .height = 100}));
    Program program(Args({"--count", "1", "--timeout", "60"}), output_);
    ASSERT_TRUE(program.Started());
    // In its application the terminal hears nothing before "GOTO FASTBOOT", which follows
    // the version request's 5 s time-out.
    PlugUntilHeard(AppTerminal(34), 9s);
    ASSERT_EQ(program.Wait(60s), 0) << program.Out() << program.Err();

    const std::vector<std::string> lines = Lines(program.Out());
    const auto having = [&](const std::string& text) {
        std::vector<std::string> found;
        std::copy_if(lines.begin(), lines.end(), std::back_inserter(found),
                     [&](const std::string& line) { return line.find(text) != std::string::npos; });
        return found;
    };
    const std::vector<std::string> interim = having("In application");
    ASSERT_EQ(interim.size(), 1U) << program.Out();
    EXPECT_NE(interim[0].find("sent to loader (Time out)"), std::string::npos) << interim[0];
    EXPECT_EQ(interim[0].find("Failed"), std::string::npos) << interim[0];
    EXPECT_TRUE(having("Failed:").empty()) << program.Out();

    // Progress of the logo: rising percentages, at most one line per tenth, ending at 100%.
    std::vector<int> percents;
    const std::regex percent(R"(Downloading Logo\s+(\d+)%\s+(\d+\.\d)s)");
    for (const std::string& line : having("Downloading Logo")) {
        std::smatch match;
        ASSERT_TRUE(std::regex_search(line, match, percent)) << line;
        percents.push_back(std::stoi(match[1]));
        EXPECT_GT(std::stod(match[2]), 0.9) << line;  // the session waited a second before it spoke
    }
    ASSERT_GE(percents.size(), 3U) << program.Out();
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100);
    EXPECT_LE(percents.size(), 12U);
    const std::vector<std::string> passed = having("Passed");
    ASSERT_FALSE(passed.empty());
    EXPECT_NE(passed.front().find("Finish"), std::string::npos) << passed.front();
}

TEST_F(ConsoleEndToEnd, AnUnwritableLogFolderWarnsOnceAndTheTerminalsStillPass) {
    const std::string notAFolder = output_.File("plain-file");
    std::ofstream(notAFolder) << "x";
    const std::string report = output_.File("report.jsonl");
    Program program(
        Args({"--count", "2", "--timeout", "60", "--report", report, "--log-dir", notAFolder + "/logs"}), output_);
    ASSERT_TRUE(program.Started());
    PlugUntilHeard(Terminal(35));
    PlugUntilHeard(Terminal(36));
    ASSERT_EQ(program.Wait(60s), 0) << program.Out() << program.Err();

    const std::vector<std::string> warnings = Lines(program.Err());
    ASSERT_EQ(warnings.size(), 1U) << program.Err();
    EXPECT_NE(warnings[0].find("session logs cannot be written to " + notAFolder + "/logs"), std::string::npos)
        << warnings[0];
    for (const auto& [port, row] : RowsByPort(report)) {
        EXPECT_NE(row.find("\"result\":\"Passed\""), std::string::npos) << row;
        EXPECT_EQ(Field(row, "log_file"), "") << row;
    }
}

// The window with the console's run options, on Qt's offscreen platform unless a display
// is given. Only runs that need no operator: a message box would wait for its OK.
class WindowEndToEnd : public ConsoleEndToEnd {
protected:
    void SetUp() override {
        if (!KORVANE_HAS_WINDOW) {
            GTEST_SKIP() << "this build has no window";
        }
        if (std::getenv("DISPLAY") == nullptr) {
            setenv("QT_QPA_PLATFORM", "offscreen", 0);
        }
        ConsoleEndToEnd::SetUp();
    }

    std::vector<std::string> WindowArgs(std::vector<std::string> more) const {
        std::vector<std::string> args = {"--autostart", "--config-dir", config_.Path()};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
};

TEST_F(WindowEndToEnd, CountClosesTheWindowWithZeroWhenAllPassed) {
    const std::string report = output_.File("report.csv");
    Program program(WindowArgs({"--count", "2", "--timeout", "60", "--report", report}), output_);
    ASSERT_TRUE(program.Started());
    PlugUntilHeard(Terminal(41));
    PlugUntilHeard(Terminal(42));
    ASSERT_EQ(program.Wait(60s), 0) << program.Out() << program.Err();
    const std::vector<std::string> rows = Lines(ReadText(report));
    ASSERT_EQ(rows.size(), 3U) << ReadText(report);
    for (size_t i = 1; i < rows.size(); ++i) {
        EXPECT_NE(rows[i].find(",1,Passed,PASS,," + std::to_string(kLogoBlockBytes) + ","), std::string::npos)
            << rows[i];
    }
    // Both hold the same whole logo block.
    const sim::TerminalRecord first = terminals_[41]->Snapshot();
    ASSERT_TRUE(first.logo.has_value());
    EXPECT_EQ(first.logo->size(), kLogoBlockBytes);
    EXPECT_EQ(terminals_[42]->Snapshot().logo, first.logo);
}

TEST_F(WindowEndToEnd, AFailedTerminalGivesOne) {
    const std::string report = output_.File("report.jsonl");
    Program program(WindowArgs({"--count", "1", "--timeout", "60", "--report", report}), output_);
    ASSERT_TRUE(program.Started());
    PlugUntilHeard(Terminal(43, {"remote-error=flash busy:cmd=11"}));
    ASSERT_EQ(program.Wait(60s), 1) << program.Out() << program.Err();
    const std::vector<std::string> rows = Lines(ReadText(report));
    ASSERT_EQ(rows.size(), 1U) << ReadText(report);
    EXPECT_NE(rows[0].find("\"result\":\"Failed\",\"message\":\"remote: flash busy\""), std::string::npos) << rows[0];
}

TEST_F(WindowEndToEnd, TimeoutBeforeTheCountIsNoSuccess) {
    Program program(WindowArgs({"--count", "1", "--timeout", "1"}), output_);
    ASSERT_TRUE(program.Started());
    EXPECT_EQ(program.Wait(30s), 1) << program.Out() << program.Err();
}

}  // namespace
}  // namespace korvane::testing
