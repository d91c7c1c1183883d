// The main window: toolbar with Settings, Start and Stop, the port list, the status bar.
// Commands go to run control; the watcher's port changes arrive as queued calls.
// Thread safety: window thread only, except PostPortChange, which any thread may call
// while the frame exists.
#pragma once

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "app/run_control.h"
#include "ui/message_box_sink.h"

namespace korvane {

class CKorvaneAppDownloadApp;
class PortRows;
class CKorvaneAppDownloadView;
class CCoolToolBar;
class IFileChooser;

class CMainFrame : public QMainWindow {
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
    void SetBeforeStop(std::function<void()> hook) { beforeStop_ = std::move(hook); }
    void OnSettings();
    void OnPortChange(uint32_t nPort, intptr_t lParam);
    // Queues a port change into the window's loop; false when it could not be queued.
    bool PostPortChange(uint32_t nPort, int lParam);
    // Enables Start and Stop by the run state; Settings stays disabled.
    void UpdateCommands();

    IMessageSink& Sink() { return *sink_; }
    RunControl& Run() { return *run_; }
    CKorvaneAppDownloadView& View() { return *view_; }
    CCoolToolBar& ToolBar() { return *toolBar_; }

protected:
    // A run still active when the window closes is stopped first, so that no session
    // outlives the data it reads.
    void closeEvent(QCloseEvent* event) override;

private:
    // Arms or kills the view's timer as run control wants its one-second tick.
    void FollowRunTimer();
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
    std::function<void()> beforeStop_;
};

}  // namespace korvane
