// Run control: Start and Stop, the port-change handling and the per-port sessions.
// Front-end neutral: the window and the console drive it from their own thread.
// Thread safety: every call on the front end's thread; session threads only report to
// the port view. The watcher's notifications arrive through the front end's queue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "discovery/dev_hound.h"
#include "engine/download_plan.h"
#include "engine/thread_para.h"
#include "discovery/port_match.h"

namespace korvane {

class CKorvaneAppDownloadApp;
class IMessageSink;
class IPortView;
class ISessionEvents;
class PortRows;
class SignAhead;

// The per-port session records, by port number; run control alone starts and joins their threads.
using SessionMap = std::map<uint32_t, std::unique_ptr<_THREAD_PARA_T>>;

// The body of a session thread; MainProcess in the program.
using SessionEntry = int (*)(_THREAD_PARA_T*);

// What tests put in place of the system's parts.
struct RunControlParts {
    std::unique_ptr<CDevHound> watcher;  // null: the system's ports, made at the first Start
    SessionEntry sessionEntry = nullptr;  // null: MainProcess
    IPortView* view = nullptr;            // null: the rows themselves (a front end may wrap them)
    ISessionEvents* events = nullptr;     // null: no one keeps a record of the sessions
    std::string tableFile;                // empty: ComPorts.ini of the configuration folder
};

// A session's or the watcher's thread could not be started.
inline constexpr char kThreadFailedMessage[] = "CreateThread failed";

class RunControl {
public:
    // Sessions report to `parts.view` (or the rows) and to `parts.events`.
    RunControl(CKorvaneAppDownloadApp& app, PortRows& rows, IMessageSink& sink, PortChangePoster poster,
               RunControlParts parts = {});
    // Stops a run still in progress, so no session thread outlives its records.
    ~RunControl();
    RunControl(const RunControl&) = delete;
    RunControl& operator=(const RunControl&) = delete;

    // The Start checks in order; false (message shown, nothing changed) when one fails or
    // the watcher's thread cannot start (kThreadFailedMessage, the run left stopped).
    // Then the run's download plan is made from the application's data.
    bool OnStart();
    void OnStop();
    void OnPortChange(uint32_t wParam, intptr_t lParam);
    bool Running() const;

    // The one-second tick is armed between Start and Stop; the front end drives it and
    // calls OnTimer each second while armed.
    bool TimerArmed() const { return timerArmed_; }
    void OnTimer();

    void UpdatePortSession(uint32_t nPort, int flag);
    void StopAllSessions();

    // Ports whose session ended since the last call: the session thread returned (it is
    // joined here; the channel stays open until the port goes) or the connection could not
    // be made, or the terminal was unplugged while its session ran. In the order they
    // were noticed; the latest kEndedSessionsKept only.
    static constexpr size_t kEndedSessionsKept = 1024;
    std::vector<uint32_t> TakeEndedSessions();

    CDevHound* Watcher() { return watcher_.get(); }
    const SessionMap& Sessions() const { return sessionMap_; }
    // What the sessions of the current (or last) run share.
    const RunContext& Context() const { return run_; }

private:
    // Reads which ports are terminals; tells the operator about entries that mean nothing.
    void LoadMatch();
    // Tells the operator, once, that new ports are numbered for this run only.
    void TellUnsavedNumber(const PortInterface& port);
    void ConnectPort(uint32_t nPort);
    void DisconnectPort(uint32_t nPort);
    // Asks a session thread to leave and waits for it. The session is listed as ended when
    // it had returned by itself, or always with listAlways.
    void EndThread(_THREAD_PARA_T& session, bool listAlways = false);
    // A session's record begins and ends (once) with its events.
    void BeginEvents(uint32_t nPort);
    // A session that could not start: its result, and it has ended.
    void ReportStartFailure(uint32_t nPort, const char* message);
    void EndEvents(uint32_t nPort);
    void NoteEnded(uint32_t nPort);
    // Closes (when opened) and releases the session's channel.
    void ReleaseChannel(_THREAD_PARA_T& session, bool opened = true);

    CKorvaneAppDownloadApp& app_;
    PortRows& rows_;
    IPortView& view_;
    IMessageSink& sink_;
    PortChangePoster poster_;
    std::unique_ptr<CDevHound> watcher_;
    SessionEntry sessionEntry_;
    std::string tableFile_;
    PortMatch match_;
    bool toldUnsaved_ = false;
    bool timerArmed_ = false;
    std::vector<uint32_t> ended_;  // ended sessions not yet taken
    ISessionEvents& events_;
    std::set<uint32_t> openEvents_;  // ports whose session record has begun and not ended
    std::unique_ptr<SignAhead> signAhead_;  // signs the loaded data while a run goes on
    DownloadPlan plan_;                     // made at Start, read-only until Stop
    RunContext run_;
    SessionMap sessionMap_;
};

}  // namespace korvane
