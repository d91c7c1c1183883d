// The window's run driver over a fake frame and a fake clock: --autostart and a refused
// Start, --timeout with and without --count, the report written at the end and after a
// Stop with a terminal mid-transfer, a report that cannot be written, a start-up that
// ends, and the exit statuses they give.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "app/port_rows.h"
#include "app/run_control.h"
#include "discovery/dev_hound.h"
#include "engine/port_view.h"
#include "engine/thread_para.h"
#include "platform/tick.h"
#include "tests/fixtures/recording_message_sink.h"
#include "tests/fixtures/temp_dir.h"
#include "ui/frame_logic.h"
#include "ui/window_run.h"

namespace korvane {
namespace {

using korvane::testing::RecordingMessageSink;
using korvane::testing::TempDir;

class NoPorts final : public IPortEnumerator {
public:
    bool List(std::vector<PortInterface>& ports) override {
        ports.clear();
        return true;
    }
};

class QuietFrameWindow final : public IFrameWindow {
public:
    void SetRunTimer(bool) override {}
    void EnableCommand(int, bool) override {}
    bool RunSettingsDialog() override { return false; }
};

// Time moves only when the test says so; it starts near the wrap of the 32-bit ticks.
class StepClock final : public Clock {
public:
    uint32_t Now() override { return now; }
    void Pause(uint32_t ms) override { now += ms; }
    uint32_t now = 0xFFFFF000u;
};

// A channel module whose channels open and take every write.
IChannelVtbl g_channelTable = [] {
    IChannelVtbl table{};
    table.Open = [](IChannel*, const ChannelConfig*) -> int32_t { return 1; };
    table.Close = [](IChannel*) {};
    return table;
}();
IChannel g_channel{&g_channelTable};
int32_t CreateFakeChannel(IChannel** slot, uint32_t) {
    *slot = &g_channel;
    return 1;
}

// A session that is in the middle of its transfer until it is stopped, then reports as
// the engine does.
std::atomic<int> g_sessionsRunning{0};
int TransferUntilStopped(_THREAD_PARA_T* para) {
    const int port = static_cast<int>(para->nPort);
    para->pRun->view->SetStep(port, kStepLogo, 1, 1000);
    ++g_sessionsRunning;
    while (!para->bStop && *para->pRun->running != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    para->pRun->view->SetResult(port, 0, nullptr, kStoppedMessage);
    --g_sessionsRunning;
    para->bFinished = true;
    return 0;
}

// A window's run as the toolkit drives it, with everything but the frame real.
struct Window {
    explicit Window(WindowOptions options, SessionEntry sessions = nullptr)
        : rows(app),
          run(app, rows, options, [this](const std::string& warning) { warnings.push_back(warning); }, clock),
          control(app, rows, sink, [](uint32_t, int) { return true; }, Parts(sessions)),
          logic(app, control, sink, frame) {
        run.Attach(logic, control, sink);
        app.pfnCreateChannel = &CreateFakeChannel;
        app.pfnReleaseChannel = [](IChannel*) {};
    }

    RunControlParts Parts(SessionEntry sessions) {
        RunControlParts parts;
        parts.watcher = std::make_unique<CDevHound>(std::make_unique<NoPorts>());
        parts.tableFile = dir.File("ComPorts.ini");
        parts.sessionEntry = sessions;
        return run.Parts(std::move(parts));
    }

    std::vector<std::string> warnings;  // what reaches the operator from the window's loop

    TempDir dir;
    StepClock clock;
    CKorvaneAppDownloadApp app;
    PortRows rows;
    RecordingMessageSink sink;
    WindowRun run;
    RunControl control;
    QuietFrameWindow frame;
    FrameLogic logic;
};

WindowOptions Options(const std::vector<std::string>& more) {
    std::vector<std::string> arguments{"prog"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    WindowOptions options = ParseWindowOptions(arguments, [](const char*) { return std::string(); });
    EXPECT_EQ(options.error, "");
    return options;
}

TEST(WindowRun, AutostartPressesStartAndFinishStopsTheRun) {
    Window window(Options({"--autostart"}));
    ASSERT_TRUE(window.run.BeginRun());
    EXPECT_TRUE(window.control.Running());
    EXPECT_FALSE(window.run.OnCollect());
    EXPECT_EQ(window.run.Finish(), 0);
    EXPECT_FALSE(window.control.Running());
    EXPECT_EQ(window.app.b_running, 0);
}

TEST(WindowRun, WithoutAutostartNoRunBegins) {
    Window window(Options({}));
    ASSERT_TRUE(window.run.BeginRun());
    EXPECT_FALSE(window.control.Running());
    EXPECT_EQ(window.run.Finish(), 0);
}

TEST(WindowRun, ARefusedAutostartClosesTheWindowWithThree) {
    Window window(Options({"--autostart", "--count", "2"}));
    window.app.audio.b_downloadAMR = 1;  // and no audio file loaded
    EXPECT_FALSE(window.run.BeginRun());
    EXPECT_EQ(window.sink.messages, std::vector<std::string>{"AMR文件 未加载，请确认！"});
    EXPECT_EQ(window.run.Finish(), 3);
}

TEST(WindowRun, TimeoutClosesTheWindow) {
    const struct {
        std::vector<std::string> arguments;
        int status;
    } cases[] = {
        {{"--autostart", "--timeout", "5"}, 0},
        // Waiting for a terminal that never came is no success.
        {{"--autostart", "--timeout", "5", "--count", "1"}, 1},
    };
    for (const auto& c : cases) {
        Window window(Options(c.arguments));
        ASSERT_TRUE(window.run.BeginRun());
        // Across the wrap of the clock's ticks.
        window.clock.Pause(4999);
        EXPECT_FALSE(window.run.OnCollect());
        window.clock.Pause(1);
        EXPECT_TRUE(window.run.OnCollect());
        EXPECT_EQ(window.run.Finish(), c.status);
    }
}

TEST(WindowRun, TheReportIsWrittenAtTheEnd) {
    TempDir out;
    {
        Window window(Options({"--autostart", "--report", out.File("report.csv")}));
        ASSERT_TRUE(window.run.BeginRun());
        EXPECT_EQ(window.run.Finish(), 0);
    }
    // No terminal finished: the header alone.
    FILE* file = std::fopen(out.File("report.csv").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    char line[16] = {};
    EXPECT_NE(std::fgets(line, sizeof line, file), nullptr);
    std::fclose(file);
    EXPECT_EQ(std::string(line).rfind("port,", 0), 0u) << line;

    // A report that cannot be written makes the run no success.
    Window window(Options({"--autostart", "--report", out.File("no/such/folder/report.csv")}));
    ASSERT_TRUE(window.run.BeginRun());
    EXPECT_EQ(window.run.Finish(), 1);
}

TEST(WindowRun, StopWithATerminalMidTransferReportsItAsAStoppedFailure) {
    TempDir out;
    Window window(Options({"--autostart", "--report", out.File("report.csv")}), &TransferUntilStopped);
    ASSERT_TRUE(window.run.BeginRun());
    window.control.UpdatePortSession(3, 1);
    while (g_sessionsRunning == 0) {
        std::this_thread::yield();
    }
    window.logic.OnStop();  // the toolbar's Stop
    window.run.OnCollect();
    ASSERT_EQ(window.run.Finished().size(), 1u);
    EXPECT_FALSE(window.run.Finished()[0].passed);
    EXPECT_EQ(window.run.Finished()[0].message, kStoppedMessage);
    // The report has its row at once, not only when the window closes.
    FILE* file = std::fopen(out.File("report.csv").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    char line[256] = {};
    EXPECT_NE(std::fgets(line, sizeof line, file), nullptr);  // the header
    EXPECT_NE(std::fgets(line, sizeof line, file), nullptr);
    std::fclose(file);
    EXPECT_EQ(std::string(line).rfind("3,", 0), 0u) << line;
    EXPECT_NE(std::string(line).find(",Failed,Stopped,"), std::string::npos) << line;
    EXPECT_EQ(window.run.Finish(), 1);
}

TEST(WindowRun, AReportThatCannotBeWrittenIsToldInTheWindowOnce) {
    TempDir out;
    Window window(Options({"--autostart", "--report", out.File("no/such/folder/report.csv")}), &TransferUntilStopped);
    ASSERT_TRUE(window.run.BeginRun());
    for (const uint32_t port : {3u, 4u}) {
        window.control.UpdatePortSession(port, 1);
        window.control.UpdatePortSession(port, 0);  // each an unplugged terminal, finished
        window.run.OnCollect();
    }
    ASSERT_EQ(window.run.Finished().size(), 2u);
    ASSERT_EQ(window.warnings.size(), 1u);
    EXPECT_NE(window.warnings[0].find("no/such/folder/report.csv"), std::string::npos) << window.warnings[0];
    EXPECT_EQ(window.run.Finish(), 1);
}

TEST(WindowRun, AStartUpThatEndsGivesTwo) {
    TempDir empty;
    Window window(Options({"--autostart", "--config-dir", empty.File("missing")}));
    EXPECT_FALSE(window.run.StartUp(empty.Path()));
    EXPECT_EQ(window.sink.messages.size(), 1u);
    EXPECT_EQ(window.run.Finish(), 2);
}

}  // namespace
}  // namespace korvane
