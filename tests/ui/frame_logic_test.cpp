// The frame's logic behind a fake window: title, the toolbar's rules, Start and Stop with
// the commands and the run's timer following the run state, the before-stop hook, the
// Settings reload and the timer's ticks.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "app/port_rows.h"
#include "app/run_control.h"
#include "discovery/dev_hound.h"
#include "tests/fixtures/recording_message_sink.h"
#include "tests/fixtures/temp_dir.h"
#include "ui/frame_logic.h"
#include "ui/toolbar_rules.h"

namespace korvane {
namespace {

using korvane::testing::RecordingMessageSink;

// No port is ever present.
class NoPorts final : public IPortEnumerator {
public:
    bool List(std::vector<PortInterface>& ports) override {
        ports.clear();
        return true;
    }
};

// What a toolkit's frame would show: the commands' states, the timer and the dialog.
class FakeFrameWindow final : public IFrameWindow {
public:
    void SetRunTimer(bool armed) override {
        timerArmed = armed;
        ++timerCalls;
    }
    void EnableCommand(int command, bool enabled) override { enabled_[command] = enabled; }
    bool RunSettingsDialog() override {
        ++dialogs;
        return dialogOk;
    }
    // Settings, Start, Stop as shown.
    std::vector<bool> Commands() const {
        return {enabled_.at(kCmdSettings), enabled_.at(kCmdStart), enabled_.at(kCmdStop)};
    }

    bool timerArmed = false;
    int timerCalls = 0;
    bool dialogOk = false;
    int dialogs = 0;

private:
    std::map<int, bool> enabled_;
};

class FrameLogicTest : public ::testing::Test {
protected:
    FrameLogicTest() : rows(app), run(app, rows, sink, [](uint32_t, int) { return true; }, Parts()),
                       logic(app, run, sink, window) {
        logic.UpdateCommands();
    }

    RunControlParts Parts() {
        RunControlParts parts;
        parts.watcher = std::make_unique<CDevHound>(std::make_unique<NoPorts>());
        parts.tableFile = dir.File("ComPorts.ini");
        return parts;
    }

    korvane::testing::TempDir dir;
    CKorvaneAppDownloadApp app;
    PortRows rows;
    RecordingMessageSink sink;
    RunControl run;
    FakeFrameWindow window;
    FrameLogic logic;
};

const std::vector<bool> kIdle{false, true, false};
const std::vector<bool> kRunning{false, false, true};

TEST(ToolbarRules, ButtonsAndEnabling) {
    const struct {
        int command;
        const char* caption;
        int image;
        bool idle;
        bool running;
    } cases[] = {
        {kCmdSettings, "设置", 0, false, false},
        {kCmdStart, "开始", 1, true, false},
        {kCmdStop, "停止", 2, false, true},
    };
    ASSERT_EQ(kToolbarButtons.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.command);
        EXPECT_EQ(kToolbarButtons[i].command, c.command);
        EXPECT_STREQ(kToolbarButtons[i].caption, c.caption);
        EXPECT_EQ(kToolbarButtons[i].image, c.image);
        EXPECT_EQ(FindToolbarButton(c.command), &kToolbarButtons[i]);
        EXPECT_EQ(CommandEnabled(c.command, false), c.idle);
        EXPECT_EQ(CommandEnabled(c.command, true), c.running);
    }
    EXPECT_EQ(FindToolbarButton(kCmdPanel), nullptr);
    EXPECT_TRUE(CommandEnabled(kCmdPanel, false));
    EXPECT_TRUE(CommandEnabled(kCmdPanel, true));
}

TEST(FrameTitle, CarriesTheBuildDateAndTime) {
    const std::regex form("KorvaneAppDownload_FOR_QV41C_V1\\.0_[A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}");
    EXPECT_TRUE(std::regex_match(FrameLogic::Title(), form)) << FrameLogic::Title();
}

TEST_F(FrameLogicTest, StartAndStopMoveCommandsAndTimer) {
    EXPECT_EQ(window.Commands(), kIdle);
    EXPECT_FALSE(window.timerArmed);

    logic.OnStart();
    EXPECT_TRUE(run.Running());
    EXPECT_EQ(window.Commands(), kRunning);
    EXPECT_TRUE(window.timerArmed);
    EXPECT_TRUE(sink.messages.empty());

    // A second Start while running changes nothing.
    const int timerCalls = window.timerCalls;
    logic.OnStart();
    EXPECT_EQ(window.timerCalls, timerCalls);

    rows.AddRow(4);
    logic.OnStop();
    EXPECT_FALSE(run.Running());
    EXPECT_EQ(window.Commands(), kIdle);
    EXPECT_FALSE(window.timerArmed);
    EXPECT_TRUE(rows.Snapshot().empty());
}

TEST_F(FrameLogicTest, ARefusedStartLeavesTheFrameIdle) {
    app.images.b_downloadApp = 1;  // and nothing loaded
    logic.OnStart();
    EXPECT_EQ(sink.messages, std::vector<std::string>{"App 未加载，请确认！"});
    EXPECT_FALSE(run.Running());
    EXPECT_FALSE(window.timerArmed);
    EXPECT_EQ(window.Commands(), kIdle);
}

TEST_F(FrameLogicTest, TheBeforeStopHookRunsOnlyWhileARunIsOn) {
    std::vector<bool> runningAtHook;
    logic.SetBeforeStop([&] { runningAtHook.push_back(run.Running()); });
    logic.OnStop();  // no run: nothing to stop
    EXPECT_TRUE(runningAtHook.empty());
    logic.OnStart();
    logic.OnStop();
    logic.OnStop();
    EXPECT_EQ(runningAtHook, std::vector<bool>{true});
}

TEST_F(FrameLogicTest, TicksAdvanceTheRowsOnlyDuringARun) {
    rows.AddRow(2);
    rows.SetStep(2, kStepConnecting, 0, 0);
    rows.SetStep(2, kStepErase, 1, 100);
    logic.OnTick();
    EXPECT_EQ(rows.RowOf(2)->cells[kColTime], "0");
    logic.OnStart();
    logic.OnTick();
    logic.OnTick();
    EXPECT_EQ(rows.RowOf(2)->cells[kColTime], "2");
    logic.OnStop();
}

TEST_F(FrameLogicTest, SettingsReloadTheServerImagesAfterOk) {
    const struct {
        const char* name;
        bool ok;
        int downloadApp;
        std::vector<std::string> messages;
        int appLoaded;
    } cases[] = {
        {"cancelled", false, 1, {}, 1},
        {"OK with the App download off", true, 0, {}, 1},
        // Nothing listens at the server's address: the images cannot be had again.
        {"OK, server gone", true, 1, {"读取App失败，请确认！"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sink.messages.clear();
        app.images.b_downloadApp = c.downloadApp;
        app.images.b_appLoaded = 1;
        app.imagePaths = {"/images/MainApp.img"};
        app.images.mainImageUrl = "http://127.0.0.1:1/MainApp.img";
        window.dialogOk = c.ok;
        const int dialogs = window.dialogs;
        logic.OnSettings();
        EXPECT_EQ(window.dialogs, dialogs + 1);
        EXPECT_EQ(sink.messages, c.messages);
        EXPECT_EQ(app.images.b_appLoaded, c.appLoaded);
    }
}

}  // namespace
}  // namespace korvane
