#include "app/run_control.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "app/KorvaneAppDownloadApp.h"
#include "app/message_sink.h"
#include "app/port_rows.h"
#include "app/run_plan.h"
#include "engine/main_process.h"
#include "engine/sign_ahead.h"
#include "engine/session_events.h"
#include "engine/thread_para.h"
#include "platform/port_numbers.h"

namespace korvane {

namespace {

constexpr uint32_t kBaudRate = 115200;
constexpr uint32_t kPortKind = 0;

ISessionEvents& NoSessionEvents() {
    static ISessionEvents none;
    return none;
}

// Ends the I/O a running session has pending in its channel, so that waiting for the session
// thread cannot hang on a driver that keeps a read pending after its device has gone. A module
// without the entry is left to the session's stop flag and its own time-outs. The record's lock
// keeps the session from closing a lost channel in between.
void CancelSessionIo(_THREAD_PARA_T& session) {
    const std::lock_guard<std::mutex> lock(session.channelLock);
    IChannel* channel = session.pChannel;
    if (channel == nullptr || session.bFinished) {
        return;
    }
    const IChannelVtbl& table = *channel->vtbl;
    if (table.GetVersion != nullptr && table.GetVersion(channel) >= CHANNEL_VERSION_CANCEL_IO &&
        table.CancelIo != nullptr) {
        table.CancelIo(channel);
    }
}

// A Start check: the message shown when the configured item is missing.
struct StartCheck {
    bool failed;
    const char* message;
};

}  // namespace

RunControl::RunControl(CKorvaneAppDownloadApp& app, PortRows& rows, IMessageSink& sink, PortChangePoster poster,
                       RunControlParts parts)
    : app_(app),
      rows_(rows),
      view_(parts.view != nullptr ? *parts.view : rows),
      sink_(sink),
      poster_(std::move(poster)),
      watcher_(std::move(parts.watcher)),
      sessionEntry_(parts.sessionEntry != nullptr ? parts.sessionEntry : &MainProcess),
      tableFile_(std::move(parts.tableFile)),
      events_(parts.events != nullptr ? *parts.events : NoSessionEvents()),
      signAhead_(std::make_unique<SignAhead>()),
      run_{&plan_, &view_, parts.events, &app_.b_running} {
    app_.b_running = 0;
    if (watcher_) {
        watcher_->SetNotifyTarget(poster_);
    }
}

RunControl::~RunControl() {
    if (Running() || !sessionMap_.empty()) {
        OnStop();
    }
}

bool RunControl::Running() const { return app_.b_running != 0; }

bool RunControl::OnStart() {
    const auto& sets = app_.fileSystem.fileSets;
    const bool noSetLoaded =
        std::none_of(sets.begin(), sets.end(), [](const FileSet& set) { return set.b_filesLoaded != 0; });
    const StartCheck checks[] = {
        {app_.images.b_downloadApp != 0 && app_.images.b_appLoaded == 0, "App 未加载，请确认！"},
        {app_.logo.b_downloadLogo != 0 && app_.logo.b_logoLoaded == 0, "Logo文件 未加载，请确认！"},
        {app_.fileSystem.b_fileDownload != 0 && noSetLoaded,
         "文件 未加载，请确认！"},
        {app_.audio.b_downloadAMR != 0 && app_.audio.b_amrLoaded == 0, "AMR文件 未加载，请确认！"},
        {app_.audio.b_downloadAMR != 0 && app_.logo.b_downloadLogo != 0, "AMR,Logo只能选一种，请确认！"},
    };
    for (const StartCheck& check : checks) {
        if (check.failed) {
            sink_.ShowMessage(check.message);
            return false;
        }
    }
    LoadMatch();
    plan_ = MakeDownloadPlan(app_);
    timerArmed_ = true;
    app_.b_running = 1;
    if (!watcher_) {
        // Made only now: start-up has by then named the folder of the port-number table.
        watcher_ = std::make_unique<CDevHound>(MakePortEnumerator(DefaultPortSources()));
        watcher_->SetNotifyTarget(poster_);
    }
    if (!watcher_->Start()) {
        // Reported as a session whose thread could not start; the run does not begin.
        sink_.ShowMessage(kThreadFailedMessage);
        app_.b_running = 0;
        timerArmed_ = false;
        return false;
    }
    signAhead_->Start(plan_, app_.b_running);
    return true;
}

void RunControl::OnStop() {
    app_.b_running = 0;
    signAhead_->Stop();
    StopAllSessions();
    if (watcher_) {
        watcher_->Stop();
    }
    timerArmed_ = false;
}

void RunControl::OnTimer() {
    if (timerArmed_) {
        rows_.OnTimer();
    }
}

void RunControl::LoadMatch() {
    // Start-up has named the configuration folder by now; the table lies there.
    const std::string file = tableFile_.empty() ? PortNumberTable(PortTableDir()).File() : tableFile_;
    std::vector<std::string> refused;
    match_ = LoadPortMatch(file, refused);
    if (!refused.empty()) {
        std::string text = "[" + std::string(kMatchSection) + "] of " + file + " ignores:";
        for (const std::string& entry : refused) {
            text += "\n" + entry;
        }
        sink_.ShowMessage(text + "\n(DescriptionN=text, UsbIdN=vid:pid or vid:pid:interface in hexadecimal)");
    }
}

void RunControl::OnPortChange(uint32_t wParam, intptr_t lParam) {
    PortInterface port;
    if (!Running() || !watcher_ || !watcher_->GetPortDetails(wParam, port) || !IsTerminalPort(port, match_)) {
        return;
    }
    if (lParam == 1) {
        UpdatePortSession(wParam, 1);
        TellUnsavedNumber(port);
    } else if (lParam == 0) {
        UpdatePortSession(wParam, 0);
    }
}

void RunControl::TellUnsavedNumber(const PortInterface& port) {
    if (port.numberSaved || toldUnsaved_) {
        return;
    }
    toldUnsaved_ = true;
    const std::string file = tableFile_.empty() ? PortNumberTable(PortTableDir()).File() : tableFile_;
    sink_.ShowMessage(file + " cannot be written: " + port.portName +
                      " and other new ports keep their numbers for this run only.");
}

void RunControl::UpdatePortSession(uint32_t nPort, int flag) {
    if (flag != 0) {
        ConnectPort(nPort);
    } else {
        DisconnectPort(nPort);
    }
}

void RunControl::ConnectPort(uint32_t nPort) {
    std::unique_ptr<_THREAD_PARA_T> fresh;
    _THREAD_PARA_T* session = nullptr;
    if (const auto it = sessionMap_.find(nPort); it != sessionMap_.end()) {
        session = it->second.get();
        // What a session whose removal went unreported left behind: its thread (ended
        // before the row is reset, so none of its reports lands on the new attempt) and
        // its channel, which still holds the port open.
        EndThread(*session);
        EndEvents(nPort);
        ReleaseChannel(*session);
    } else {
        fresh = std::make_unique<_THREAD_PARA_T>();
        fresh->pRun = &run_;
        fresh->nPort = nPort;
        session = fresh.get();
    }
    const int port = static_cast<int>(nPort);
    view_.AddRow(port);
    view_.SetStepText(port, "Connecting...");
    view_.SetStep(port, kStepConnecting, 0, 0);
    BeginEvents(nPort);

    session->bStop = false;
    session->bFinished = false;
    session->bOpened = 1;

    if (app_.pfnCreateChannel == nullptr || app_.pfnCreateChannel(&session->pChannel, 0) == 0) {
        session->pChannel = nullptr;
        ReportStartFailure(nPort, "CreateChannel failed");
        return;
    }
    const ChannelConfig config{kPortKind, nPort, kBaudRate};
    if (session->pChannel->vtbl->Open(session->pChannel, &config) == 0) {
        // The channel never opened: it is released, not leaked with the record.
        ReleaseChannel(*session, false);
        ReportStartFailure(nPort, "Open uart failed");
        return;
    }
    try {
        session->pThread = std::thread(sessionEntry_, session);
    } catch (const std::system_error&) {
        ReleaseChannel(*session);
        ReportStartFailure(nPort, kThreadFailedMessage);
        return;
    }
    if (fresh) {
        sessionMap_.emplace(nPort, std::move(fresh));
    }
}

void RunControl::DisconnectPort(uint32_t nPort) {
    const auto it = sessionMap_.find(nPort);
    _THREAD_PARA_T* session = it != sessionMap_.end() ? it->second.get() : nullptr;
    // The session leaves before the row is marked, so none of its reports lands after. A
    // session cut short by the unplugging has ended too, as Unplugged.
    if (session != nullptr) {
        session->bOpened = 0;
        EndThread(*session, true);
    }
    const int port = static_cast<int>(nPort);
    view_.SetStep(port, kStepUnplugged, 0, 0);
    view_.SetStepText(port, "Waiting...");
    if (openEvents_.count(nPort) != 0) {
        events_.Step(port, kStepUnplugged, 0);
    }
    EndEvents(nPort);
    if (session != nullptr) {
        ReleaseChannel(*session);
    }
}

void RunControl::EndThread(_THREAD_PARA_T& session, bool listAlways) {
    if (!session.pThread.joinable()) {
        return;
    }
    // A session that had already returned ended by itself; the front end still hears of it.
    if (listAlways || session.bFinished) {
        NoteEnded(session.nPort);
    }
    session.bStop = true;
    CancelSessionIo(session);
    session.pThread.join();
}

void RunControl::ReleaseChannel(_THREAD_PARA_T& session, bool opened) {
    if (session.pChannel == nullptr) {
        return;
    }
    if (opened) {
        session.pChannel->vtbl->Close(session.pChannel);
    }
    if (app_.pfnReleaseChannel != nullptr) {
        app_.pfnReleaseChannel(session.pChannel);
    }
    session.pChannel = nullptr;
}

void RunControl::StopAllSessions() {
    // Every session is told first and then waited for, so they all wind down together.
    for (auto& [port, session] : sessionMap_) {
        session->bStop = true;
        if (session->pThread.joinable()) {
            CancelSessionIo(*session);
        }
    }
    for (auto& [port, session] : sessionMap_) {
        if (session->pThread.joinable()) {
            session->pThread.join();
        }
        ReleaseChannel(*session);
        EndEvents(port);
    }
    sessionMap_.clear();
    ended_.clear();
    view_.RemoveAll();
}

void RunControl::NoteEnded(uint32_t nPort) {
    // A front end that never takes the list (the window) must not grow it for the whole run.
    if (ended_.size() >= kEndedSessionsKept) {
        ended_.erase(ended_.begin());
    }
    ended_.push_back(nPort);
}

std::vector<uint32_t> RunControl::TakeEndedSessions() {
    for (auto& [port, session] : sessionMap_) {
        if (session->bFinished && session->pThread.joinable()) {
            session->pThread.join();
            NoteEnded(port);
            EndEvents(port);
        }
    }
    return std::exchange(ended_, {});
}

void RunControl::ReportStartFailure(uint32_t nPort, const char* message) {
    const int port = static_cast<int>(nPort);
    events_.Result(port, false, nullptr, message, false);
    view_.SetResult(port, 0, nullptr, message);
    NoteEnded(nPort);
    EndEvents(nPort);
}

void RunControl::BeginEvents(uint32_t nPort) {
    const std::optional<PortRow> row = rows_.RowOf(static_cast<int>(nPort));
    openEvents_.insert(nPort);
    events_.SessionBegan(static_cast<int>(nPort), row ? row->cells[kColBindingPort] : std::string());
}

void RunControl::EndEvents(uint32_t nPort) {
    if (openEvents_.erase(nPort) != 0) {
        events_.SessionEnded(static_cast<int>(nPort));
    }
}

}  // namespace korvane
