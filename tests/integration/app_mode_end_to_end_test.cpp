// Whole sessions against simulated terminals that still run their application: the
// version request times out after 5000 ms, the TUSN is checked when asked, and the
// terminal is sent into its loader. The cases run at once, one terminal each, so the
// binary takes about as long as its slowest case.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/faults.h"
#include "tests/integration/sim_session.h"

namespace korvane::testing {
namespace {

using namespace std::chrono_literals;
using Sequence = std::vector<std::string>;

constexpr auto kSessionLimit = 30s;

struct AppModeCase {
    const char* name;
    bool check_tusn;
    std::string tusn;
    std::string fault;  // one fault rule, or none
    Sequence sequence;  // texts and packets the terminal received, runs folded
    Sequence outcomes;  // the row's results without "SetResult <port> "
    sim::TerminalMode final_mode;
};

Sequence Outcomes(const SimSession& session) {
    Sequence outcomes;
    const std::string prefix = "SetResult " + std::to_string(session.port) + " ";
    for (const std::string& line : session.Results()) {
        outcomes.push_back(line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : line);
    }
    return outcomes;
}

TEST(AppModeEndToEnd, TerminalsRunningTheirApplicationAreIdentifiedAndSentIntoTheLoader) {
    using sim::TerminalMode;
    const AppModeCase cases[] = {
        {"no TUSN check", false, "00005012QVABC0000001", "", {"GOTO FASTBOOT", "48"}, {"0 - Time out", "1 - PASS"},
         TerminalMode::kLoader},
        {"20-character TUSN matching", true, "00005012QVABC0000001", "", {"READ TUSN", "GOTO FASTBOOT", "48"},
         {"0 - Time out", "1 - PASS"}, TerminalMode::kLoader},
        {"26-character TUSN matching", true, "00005012345678QVABC0000001", "",
         {"READ TUSN", "GOTO FASTBOOT", "48"}, {"0 - Time out", "1 - PASS"}, TerminalMode::kLoader},
        {"device type differs", true, "00005012XXABC0000001", "", {"READ TUSN"},
         {"0 - Time out", "0 600 20 COMPARE DEVICETYPE ERROR"}, TerminalMode::kApplication},
        {"customer id differs", true, "00005012345678QVABD0000001", "", {"READ TUSN"},
         {"0 - Time out", "0 600 26 COMPARE CUSTOMERID ERROR:ABD"}, TerminalMode::kApplication},
        {"21-character TUSN", true, "00005012QVABC00000001", "", {"READ TUSN"},
         {"0 - Time out", "0 600 DEVICE TUSN LENGTH ERROR:"}, TerminalMode::kApplication},
        {"TUSN never answered", true, "00005012QVABC0000001", "silent:text=READ", {"READ TUSN"},
         {"0 - Time out", "0 600 READ TUSN ERROR"}, TerminalMode::kApplication},
        {"loader entry never confirmed", false, "00005012QVABC0000001", "silent:text=GOTO", {"GOTO FASTBOOT"},
         {"0 - Time out", "0 600 Time out"}, TerminalMode::kApplication},
    };

    SimBench bench;
    ASSERT_TRUE(bench.Ok()) << bench.error;
    // When the first terminal changed into its loader: before its "OKAY" left.
    std::atomic<int64_t> loader_entered_ns{0};
    const auto note_loader_entry = [&](int, const sim::TerminalEvent& event) {
        if (event.kind == "mode" && loader_entered_ns.load() == 0) {
            loader_entered_ns = std::chrono::steady_clock::now().time_since_epoch().count();
        }
    };
    std::vector<std::unique_ptr<SimSession>> sessions;
    int port = 1;
    for (const AppModeCase& c : cases) {
        sim::TerminalSettings settings;
        settings.start_mode = sim::TerminalMode::kApplication;
        settings.tusn = c.tusn;
        if (!c.fault.empty()) {
            sim::FaultRule rule;
            std::string error;
            ASSERT_TRUE(sim::ParseFaultRule(c.fault, rule, error)) << error;
            settings.faults.push_back(rule);
        }
        auto session = std::make_unique<SimSession>(
            bench, port, settings, 0, port == 1 ? note_loader_entry : std::function<void(int, const sim::TerminalEvent&)>());
        ++port;
        session->app.identity.b_checkTUSN = c.check_tusn ? 1 : 0;
        std::copy_n("QV", 2, session->app.identity.deviceType.begin());
        std::copy_n("ABC", 3, session->app.identity.customerId.begin());
        ASSERT_TRUE(session->Start()) << c.name << ": " << session->error;
        sessions.push_back(std::move(session));
    }

    // The first terminal: command 48 follows the loader's "OKAY" after the 100 ms pause.
    SimSession& first = *sessions[0];
    ASSERT_TRUE(
        first.terminal->WaitUntil([](const sim::TerminalRecord& r) { return r.download_opened > 0; }, kSessionLimit));
    const auto opened = std::chrono::steady_clock::now();
    ASSERT_NE(loader_entered_ns.load(), 0);
    const auto gap = opened - std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(loader_entered_ns));
    EXPECT_GE(gap, 100ms);
    EXPECT_LT(gap, 600ms) << "one 100 ms pause, not more";

    for (size_t i = 0; i < sessions.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        SimSession& session = *sessions[i];
        ASSERT_TRUE(session.WaitFinished(kSessionLimit));
        const sim::TerminalRecord record = session.Record();
        EXPECT_EQ(FoldedSequence(record), cases[i].sequence);
        EXPECT_EQ(Outcomes(session), cases[i].outcomes);
        EXPECT_EQ(session.terminal->Mode(), cases[i].final_mode);
    }
}

}  // namespace
}  // namespace korvane::testing
