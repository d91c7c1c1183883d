// The console front end as the operator runs it: the program itself, started with a
// configuration folder, downloading into simulated terminals published as virtual ports;
// its exit status, its lines, its report, and Ctrl-C.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
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
        ASSERT_TRUE(bench_.ok()) << bench_.error;
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

    // Plugs a terminal in once the program's watcher is running: a terminal that was there
    // before the watcher's first pass is not an arrival, so it is plugged again until the
    // program talks to it.
    void PlugUntilHeard(sim::SimTerminal& terminal) {
        std::string error;
        for (int attempt = 0; attempt < 10; ++attempt) {
            ASSERT_TRUE(terminal.Plug(error)) << error;
            // A session waits a second before it speaks.
            const auto deadline = std::chrono::steady_clock::now() + 4s;
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
        std::vector<std::string> args = {"--headless", "--config-dir", config_.path()};
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
    EXPECT_EQ(rows[0], "port,binding_position,result,message,command,bytes,seconds");
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
    Program program(Args({"--count", "1", "--timeout", "60", "--report", report}), output_);
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
    EXPECT_NE(program.Out().find("COM23 #1 Failed:remote: flash busy (command 4)"), std::string::npos)
        << program.Out();
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

TEST_F(ConsoleEndToEnd, CtrlCStopsTheRunAtOnce) {
    Program program(Args({"--report", output_.File("report.csv")}), output_);
    ASSERT_TRUE(program.Started());
    sim::SimTerminal& terminal = Terminal(24, {"delay=20000:cmd=11"});
    PlugUntilHeard(terminal);
    ASSERT_TRUE(terminal.WaitUntil([](const sim::TerminalRecord& r) { return !r.PacketsOf(11).empty(); }, 30s));

    const auto stopped = std::chrono::steady_clock::now();
    program.Signal(SIGINT);
    EXPECT_EQ(program.Wait(10s), 0) << program.Out() << program.Err();
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 3s);
    EXPECT_NE(program.Out().find("0 terminals finished"), std::string::npos) << program.Out();
    EXPECT_EQ(ReadText(output_.File("report.csv")), "port,binding_position,result,message,command,bytes,seconds\n");
}

}  // namespace
}  // namespace korvane::testing
