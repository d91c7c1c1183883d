// The main window in Qt: toolbar with Settings, Start and Stop, the port list, the status
// bar. It paints and forwards; the shared frame logic decides (commands, timer, Settings
// reload) and run control runs. The watcher's port changes arrive as queued calls.
// Thread safety: window thread only, except PostPortChange, which any thread may call
// while the frame exists.
#pragma once

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "app/run_control.h"
#include "ui/frame_logic.h"
#include "ui/qt/message_box_sink.h"

namespace korvane {

class CKorvaneAppDownloadApp;
class PortRows;
class CKorvaneAppDownloadView;
class CCoolToolBar;
class IFileChooser;

class CMainFrame : public QMainWindow, private IFrameWindow {
    Q_OBJECT
public:
    // sink and chooser replace the message boxes and file dialogs, parts the watcher and
    // the session body of run control (tests); null or empty for the real ones.
    CMainFrame(CKorvaneAppDownloadApp& app, PortRows& rows, IMessageSink* sink = nullptr,
               IFileChooser* chooser = nullptr, RunControlParts parts = {}, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // "KorvaneAppDownload_FOR_QV41C_V1.0_" and the build's date and time.
    static QString Title();

    void OnStart();
    // Stop (the button, or the window closing); the before-stop hook runs first.
    void OnStop();
    // Called at the start of every Stop, while the sessions that ended by themselves can
    // still be taken from run control.
    void SetBeforeStop(std::function<void()> hook) { logic_->SetBeforeStop(std::move(hook)); }
    void OnSettings();
    void OnPortChange(uint32_t nPort, intptr_t lParam);
    // Queues a port change into the window's loop; false when it could not be queued.
    bool PostPortChange(uint32_t nPort, int lParam);
    // Enables the commands by the run state.
    void UpdateCommands() { logic_->UpdateCommands(); }

    IMessageSink& Sink() { return *sink_; }
    RunControl& Run() { return *run_; }
    FrameLogic& Logic() { return *logic_; }
    CKorvaneAppDownloadView& View() { return *view_; }
    CCoolToolBar& ToolBar() { return *toolBar_; }

protected:
    // A run still active when the window closes is stopped first, so that no session
    // outlives the data it reads.
    void closeEvent(QCloseEvent* event) override;

private:
    void SetRunTimer(bool armed) override;
    void EnableCommand(int command, bool enabled) override;
    bool RunSettingsDialog() override;
    void CreateStatusBar();
    void KeepDocumentShortcuts();

    CKorvaneAppDownloadApp& app_;
    MessageBoxSink boxes_;
    IMessageSink* sink_;
    std::unique_ptr<IFileChooser> ownChooser_;
    IFileChooser* chooser_;
    CCoolToolBar* toolBar_;
    CKorvaneAppDownloadView* view_;
    std::unique_ptr<RunControl> run_;
    std::unique_ptr<FrameLogic> logic_;
};

}  // namespace korvane
