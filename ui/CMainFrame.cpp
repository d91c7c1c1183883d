#include "ui/CMainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMetaObject>
#include <QStatusBar>
#include <utility>

#include "app/KorvaneAppDownloadApp.h"
#include "app/port_rows.h"
#include "images/server_images.h"
#include "ui/CCoolToolBar.h"
#include "ui/CKorvaneAppDownloadView.h"
#include "ui/KorvaneAppDownloadSet.h"
#include "ui/file_chooser.h"
#include "ui/resources.h"
#include "ui/session_priority.h"

namespace korvane {

namespace {
// The slot after the buttons that carries the text panel.
constexpr int kPanelWidth = 1200;
}  // namespace

CMainFrame::CMainFrame(CKorvaneAppDownloadApp& app, PortRows& rows, IMessageSink* sink, IFileChooser* chooser,
                       RunControlParts parts, QWidget* parent)
    : QMainWindow(parent),
      app_(app),
      boxes_(this),
      sink_(sink != nullptr ? sink : &boxes_),
      ownChooser_(chooser != nullptr ? nullptr : std::make_unique<QtFileChooser>()),
      chooser_(chooser != nullptr ? chooser : ownChooser_.get()),
      toolBar_(new CCoolToolBar(this)),
      view_(new CKorvaneAppDownloadView(rows, this)) {
    EnsureUiResources();
    setWindowTitle(Title());

    toolBar_->setObjectName(QStringLiteral("128"));
    toolBar_->CreateButtons(kPanelWidth);
    toolBar_->LoadImageLists();
    addToolBar(Qt::TopToolBarArea, toolBar_);
    connect(toolBar_->Command(kCmdSettings), &QAction::triggered, this, &CMainFrame::OnSettings);
    connect(toolBar_->Command(kCmdStart), &QAction::triggered, this, &CMainFrame::OnStart);
    connect(toolBar_->Command(kCmdStop), &QAction::triggered, this, &CMainFrame::OnStop);

    CreateStatusBar();
    KeepDocumentShortcuts();
    setCentralWidget(view_);

    if (parts.sessionEntry == nullptr) {
        parts.sessionEntry = &WindowSessionEntry;
    }
    run_ = std::make_unique<RunControl>(
        app_, rows, *sink_, [this](uint32_t nPort, int lParam) { return PostPortChange(nPort, lParam); },
        std::move(parts));
    view_->SetTickHandler([this] { run_->OnTimer(); });
    UpdateCommands();
}

CMainFrame::~CMainFrame() {
    if (run_ && run_->Running()) {
        OnStop();
    }
}

QString CMainFrame::Title() {
    return QStringLiteral("KorvaneAppDownload_FOR_QV41C_V1.0_" __DATE__ " " __TIME__);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->showMessage(QStringLiteral("就绪"));
    // Lock-key indicators; the platform does not report lock states, so they stay grey.
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        auto* pane = new QLabel(QString::fromLatin1(indicator), bar);
        pane->setObjectName(QString::fromLatin1(indicator));
        pane->setEnabled(false);
        bar->addPermanentWidget(pane);
    }
}

void CMainFrame::KeepDocumentShortcuts() {
    // New and Open act on the document, which holds nothing: the keys stay bound and
    // change nothing.
    for (const QKeySequence& keys : {QKeySequence(QKeySequence::New), QKeySequence(QKeySequence::Open)}) {
        auto* action = new QAction(this);
        action->setShortcut(keys);
        addAction(action);
    }
}

void CMainFrame::UpdateCommands() {
    const bool running = run_->Running();
    toolBar_->Command(kCmdSettings)->setEnabled(false);
    toolBar_->Command(kCmdStart)->setEnabled(!running);
    toolBar_->Command(kCmdStop)->setEnabled(running);
}

void CMainFrame::OnStart() {
    if (run_->Running()) {
        return;
    }
    run_->OnStart();
    FollowRunTimer();
    UpdateCommands();
}

void CMainFrame::OnStop() {
    if (!run_->Running()) {
        return;
    }
    if (beforeStop_) {
        beforeStop_();
    }
    run_->OnStop();
    FollowRunTimer();
    UpdateCommands();
}

void CMainFrame::FollowRunTimer() {
    if (run_->TimerArmed()) {
        view_->StartRunTimer();
    } else {
        view_->StopRunTimer();
    }
}

void CMainFrame::OnSettings() {
    MessageBoxSink dialogBoxes;
    KorvaneAppDownloadSet dialog(app_, sink_ == &boxes_ ? dialogBoxes : *sink_, *chooser_, this);
    dialogBoxes.SetOwner(&dialog);
    if (dialog.exec() != QDialog::Accepted || app_.b_downloadApp == 0) {
        return;
    }
    ServerImageBuffers buffers;
    if (LoadServerImages(app_, buffers) == 1) {
        app_.b_appLoaded = 1;
    } else {
        sink_->ShowMessage("读取App失败，请确认！");
        app_.b_appLoaded = 0;
    }
}

void CMainFrame::OnPortChange(uint32_t nPort, intptr_t lParam) {
    run_->OnPortChange(nPort, lParam);
}

bool CMainFrame::PostPortChange(uint32_t nPort, int lParam) {
    return QMetaObject::invokeMethod(
        this, [this, nPort, lParam] { OnPortChange(nPort, lParam); }, Qt::QueuedConnection);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    OnStop();
    event->accept();
}

}  // namespace korvane
