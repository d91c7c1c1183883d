// The main frame: title, command enabling by run state, Start's refusals as messages,
// Stop, port changes queued from another thread and Settings.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <mutex>
#include <string>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "app/port_rows.h"
#include "discovery/dev_hound.h"
#include "tests/fixtures/recording_message_sink.h"
#include "tests/ui/qt/ui_fakes.h"
#include "ui/qt/CCoolToolBar.h"
#include "ui/qt/CKorvaneAppDownloadView.h"
#include "ui/qt/CMainFrame.h"
#include "ui/qt/PortListModel.h"

namespace korvane {
namespace {

using korvane::test::ScriptedChooser;
using korvane::testing::RecordingMessageSink;

// The ports a test has plugged in, as the watcher's polling passes see them.
class FakePorts final : public IPortEnumerator {
public:
    struct Shared {
        std::mutex mutex;
        std::vector<PortInterface> ports;
    };
    explicit FakePorts(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
    bool List(std::vector<PortInterface>& ports) override {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        ports = shared_->ports;
        return true;
    }

private:
    std::shared_ptr<Shared> shared_;
};

class MainFrameTest : public ::testing::Test {
protected:
    MainFrameTest()
        : ports(std::make_shared<FakePorts::Shared>()), rows(app), frame(app, rows, &sink, &chooser, Parts()) {}

    RunControlParts Parts() {
        RunControlParts parts;
        parts.watcher = std::make_unique<CDevHound>(std::make_unique<FakePorts>(ports));
        return parts;
    }

    void Plug(int nPort, const std::string& description) {
        std::lock_guard<std::mutex> lock(ports->mutex);
        ports->ports.push_back({"COM" + std::to_string(nPort), description + " (COM" + std::to_string(nPort) + ")",
                                description});
    }

    QAction* Command(int number) { return frame.ToolBar().Command(number); }
    void ExpectCommands(bool running) {
        EXPECT_FALSE(Command(kCmdSettings)->isEnabled());
        EXPECT_EQ(Command(kCmdStart)->isEnabled(), !running);
        EXPECT_EQ(Command(kCmdStop)->isEnabled(), running);
    }

    std::shared_ptr<FakePorts::Shared> ports;
    CKorvaneAppDownloadApp app;
    PortRows rows;
    RecordingMessageSink sink;
    ScriptedChooser chooser;
    CMainFrame frame;
};

TEST_F(MainFrameTest, TitleCarriesTheBuildDateAndTime) {
    const QRegularExpression form(
        QStringLiteral("^KorvaneAppDownload_FOR_QV41C_V1\\.0_[A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}$"));
    EXPECT_TRUE(form.match(CMainFrame::Title()).hasMatch()) << CMainFrame::Title().toStdString();
    EXPECT_EQ(frame.windowTitle(), CMainFrame::Title());
}

TEST_F(MainFrameTest, ToolbarStatusBarAndNoMenu) {
    EXPECT_EQ(frame.menuWidget(), nullptr);
    for (const char* pane : {"CAP", "NUM", "SCRL"}) {
        EXPECT_NE(frame.statusBar()->findChild<QLabel*>(pane), nullptr) << pane;
    }
    // New and Open keep their keys and change nothing.
    int bound = 0;
    for (QAction* action : frame.actions()) {
        if (action->shortcut() == QKeySequence::New || action->shortcut() == QKeySequence::Open) {
            ++bound;
            action->trigger();
        }
    }
    EXPECT_EQ(bound, 2);
    EXPECT_EQ(frame.windowTitle(), CMainFrame::Title());
    EXPECT_FALSE(frame.Run().Running());
}

TEST_F(MainFrameTest, CommandsFollowTheRunState) {
    ExpectCommands(false);
    EXPECT_FALSE(frame.View().RunTimerActive());

    Command(kCmdStart)->trigger();
    EXPECT_TRUE(frame.Run().Running());
    ExpectCommands(true);
    EXPECT_TRUE(frame.View().RunTimerActive());
    EXPECT_TRUE(sink.messages.empty());

    rows.AddRow(4);
    Command(kCmdStop)->trigger();
    EXPECT_FALSE(frame.Run().Running());
    ExpectCommands(false);
    EXPECT_FALSE(frame.View().RunTimerActive());
    frame.View().Model().Refresh();
    EXPECT_EQ(frame.View().model()->rowCount(), 0);
}

TEST_F(MainFrameTest, TheBeforeStopHookRunsWhileTheRunIsStillOn) {
    std::vector<bool> runningAtHook;
    frame.SetBeforeStop([&] { runningAtHook.push_back(frame.Run().Running()); });
    Command(kCmdStop)->trigger();  // no run: nothing to stop
    EXPECT_TRUE(runningAtHook.empty());
    Command(kCmdStart)->trigger();
    Command(kCmdStop)->trigger();
    frame.OnStart();
    frame.close();  // closing the window stops the run too
    EXPECT_EQ(runningAtHook, (std::vector<bool>{true, true}));
    EXPECT_FALSE(frame.Run().Running());
}

TEST_F(MainFrameTest, StartRefusalsAreMessagesAndChangeNothing) {
    struct Refusal {
        const char* name;
        std::function<void(CKorvaneAppDownloadApp&)> setUp;
        const char* message;
    };
    const Refusal cases[] = {
        {"app not loaded", [](CKorvaneAppDownloadApp& a) { a.images.b_downloadApp = 1; }, "App 未加载，请确认！"},
        {"logo not loaded", [](CKorvaneAppDownloadApp& a) { a.logo.b_downloadLogo = 1; }, "Logo文件 未加载，请确认！"},
        {"no file set loaded", [](CKorvaneAppDownloadApp& a) { a.fileSystem.b_fileDownload = 1; }, "文件 未加载，请确认！"},
        {"audio not loaded", [](CKorvaneAppDownloadApp& a) { a.audio.b_downloadAMR = 1; }, "AMR文件 未加载，请确认！"},
        {"logo and audio both",
         [](CKorvaneAppDownloadApp& a) {
             a.audio.b_downloadAMR = a.audio.b_amrLoaded = 1;
             a.logo.b_downloadLogo = a.logo.b_logoLoaded = 1;
         },
         "AMR,Logo只能选一种，请确认！"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        CKorvaneAppDownloadApp refused;
        c.setUp(refused);
        PortRows refusedRows(refused);
        RecordingMessageSink boxes;
        CMainFrame window(refused, refusedRows, &boxes, &chooser, Parts());
        window.ToolBar().Command(kCmdStart)->trigger();
        EXPECT_EQ(boxes.messages, std::vector<std::string>{c.message});
        EXPECT_FALSE(window.Run().Running());
        EXPECT_FALSE(window.View().RunTimerActive());
        EXPECT_TRUE(window.ToolBar().Command(kCmdStart)->isEnabled());
    }
}

TEST_F(MainFrameTest, PortChangesFromTheWatcherArriveOnTheWindowThread) {
    // Ports present at Start are not reported: wait until the watcher has seen this one.
    Plug(1, "Communications Port");
    frame.OnStart();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !frame.Run().Watcher()->ListedPorts().empty(); }, 5000));
    // A terminal in download mode gets a row; without a channel module it fails at once.
    Plug(6, "Unisoc Usb Serial Port 1");
    Plug(7, "Unisoc Usb Serial Port 0");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return frame.View().model()->rowCount() == 1 &&
                   frame.View().model()->index(0, kColProgress).data().toString() == "Failed:CreateChannel failed";
        },
        5000));
    EXPECT_EQ(frame.View().model()->index(0, kColPort).data().toString(), "7");
    frame.OnStop();
}

TEST_F(MainFrameTest, PostedPortChangeRunsLaterOnTheWindowThread) {
    frame.OnStart();
    std::thread watcher([&] { EXPECT_TRUE(frame.PostPortChange(3, 1)); });
    watcher.join();
    // Unknown to the watcher, so run control ignores it; what matters is that the call
    // was queued and ran without touching the rows from the other thread.
    QCoreApplication::processEvents();
    frame.View().Model().Refresh();
    EXPECT_EQ(frame.View().model()->rowCount(), 0);
    frame.OnStop();
}

// Presses a button of the settings dialog once it is shown.
void PressInDialog(const char* button) {
    QTimer::singleShot(0, [button] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QPushButton*>(button)->click();
    });
}

TEST_F(MainFrameTest, SettingsOkReloadsTheServerImages) {
    app.images.b_downloadApp = 1;
    app.images.b_appLoaded = 1;
    app.imagePaths = {"/images/MainApp.img"};
    app.images.mainImageUrl = "http://127.0.0.1:1/MainApp.img";
    PressInDialog("1");
    frame.OnSettings();
    // Nothing listens there: the images cannot be had again.
    EXPECT_EQ(sink.messages, std::vector<std::string>{"读取App失败，请确认！"});
    EXPECT_EQ(app.images.b_appLoaded, 0);
}

TEST_F(MainFrameTest, SettingsCancelOrAppOffLeavesTheImages) {
    app.images.b_downloadApp = 1;
    app.images.b_appLoaded = 1;
    app.imagePaths = {"/images/MainApp.img"};
    PressInDialog("2");
    frame.OnSettings();
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(app.images.b_appLoaded, 1);

    app.images.b_downloadApp = 0;
    PressInDialog("1");
    frame.OnSettings();
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(app.images.b_appLoaded, 1);
}

}  // namespace
}  // namespace korvane
