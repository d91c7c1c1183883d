#include "ui/qt/CMainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMetaObject>
#include <QStatusBar>
#include <utility>

#include "app/KorvaneAppDownloadApp.h"
#include "app/port_rows.h"
#include "ui/qt/CCoolToolBar.h"
#include "ui/qt/CKorvaneAppDownloadView.h"
#include "ui/qt/KorvaneAppDownloadSet.h"
#include "ui/qt/file_chooser.h"
#include "ui/qt/resources.h"
#include "ui/session_priority.h"

namespace korvane {

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
    logic_ = std::make_unique<FrameLogic>(app_, *run_, *sink_, static_cast<IFrameWindow&>(*this));
    view_->SetTickHandler([this] { logic_->OnTick(); });
    UpdateCommands();
}

CMainFrame::~CMainFrame() {
    if (run_ && run_->Running()) {
        OnStop();
    }
}

QString CMainFrame::Title() {
    return QString::fromStdString(FrameLogic::Title());
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

void CMainFrame::EnableCommand(int command, bool enabled) {
    if (QAction* action = toolBar_->Command(command)) {
        action->setEnabled(enabled);
    }
}

void CMainFrame::SetRunTimer(bool armed) {
    if (armed) {
        view_->StartRunTimer();
    } else {
        view_->StopRunTimer();
    }
}

void CMainFrame::OnStart() {
    logic_->OnStart();
}

void CMainFrame::OnStop() {
    logic_->OnStop();
}

void CMainFrame::OnSettings() {
    logic_->OnSettings();
}

bool CMainFrame::RunSettingsDialog() {
    MessageBoxSink dialogBoxes;
    KorvaneAppDownloadSet dialog(app_, sink_ == &boxes_ ? dialogBoxes : *sink_, *chooser_, this);
    dialogBoxes.SetOwner(&dialog);
    return dialog.exec() == QDialog::Accepted;
}

void CMainFrame::OnPortChange(uint32_t nPort, intptr_t lParam) {
    logic_->OnPortChange(nPort, lParam);
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
