// The window's run driver over a fake frame and a fake clock: --autostart and a refused
// Start, --timeout with and without --count, the report written at the end, a start-up
// that ends, and the exit statuses they give.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "app/port_rows.h"
#include "app/run_control.h"
#include "discovery/dev_hound.h"
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

// A window's run as the toolkit drives it, with everything but the frame real.
struct Window {
    explicit Window(WindowOptions options)
        : rows(app),
          run(app, rows, options, [](const std::string&) {}, clock),
          control(app, rows, sink, [](uint32_t, int) { return true; }, Parts()),
          logic(app, control, sink, frame) {
        run.Attach(logic, control, sink);
    }

    RunControlParts Parts() {
        RunControlParts parts;
        parts.watcher = std::make_unique<CDevHound>(std::make_unique<NoPorts>());
        parts.tableFile = dir.File("ComPorts.ini");
        return run.Parts(std::move(parts));
    }

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
    EXPECT_EQ(window.app.portView, nullptr);
}

TEST(WindowRun, WithoutAutostartNoRunBegins) {
    Window window(Options({}));
    ASSERT_TRUE(window.run.BeginRun());
    EXPECT_FALSE(window.control.Running());
    EXPECT_EQ(window.run.Finish(), 0);
}

TEST(WindowRun, ARefusedAutostartClosesTheWindowWithThree) {
    Window window(Options({"--autostart", "--count", "2"}));
    window.app.b_downloadAMR = 1;  // and no audio file loaded
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

TEST(WindowRun, AStartUpThatEndsGivesTwo) {
    TempDir empty;
    Window window(Options({"--autostart", "--config-dir", empty.File("missing")}));
    EXPECT_FALSE(window.run.StartUp(empty.Path()));
    EXPECT_EQ(window.sink.messages.size(), 1u);
    EXPECT_EQ(window.run.Finish(), 2);
}

}  // namespace
}  // namespace korvane
