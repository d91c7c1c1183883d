// Run control: Start and Stop, the port-change handling and the per-port sessions.
// Front-end neutral: the window and the console drive it from their own thread.
// Thread safety: every call on the front end's thread; session threads only report to
// the port view. The watcher's notifications arrive through the front end's queue.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "discovery/dev_hound.h"
#include "discovery/port_match.h"

namespace korvane {

class CKorvaneAppDownloadApp;
class IMessageSink;
class IPortView;
class PortRows;
struct _THREAD_PARA_T;

// The body of a session thread; MainProcess in the program.
using SessionEntry = int (*)(_THREAD_PARA_T*);

// What tests put in place of the system's parts.
struct RunControlParts {
    std::unique_ptr<CDevHound> watcher;  // null: the system's ports, made at the first Start
    SessionEntry sessionEntry = nullptr;  // null: MainProcess
    IPortView* view = nullptr;            // null: the rows themselves (a front end may wrap them)
    std::string tableFile;                // empty: ComPorts.ini of the configuration folder
};

class RunControl {
public:
    // Points the application's port view at `parts.view` (or the rows).
    RunControl(CKorvaneAppDownloadApp& app, PortRows& rows, IMessageSink& sink, PortChangePoster poster,
               RunControlParts parts = {});
    // Stops a run still in progress, so no session thread outlives its records.
    ~RunControl();
    RunControl(const RunControl&) = delete;
    RunControl& operator=(const RunControl&) = delete;

    // The Start checks in order; false (message shown, nothing changed) when one fails.
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
    // be made. In the order they were noticed.
    std::vector<uint32_t> TakeEndedSessions();

    CDevHound* Watcher() { return watcher_.get(); }

private:
    // Reads which ports are terminals; tells the operator about entries that mean nothing.
    void LoadMatch();
    // Tells the operator, once, that new ports are numbered for this run only.
    void TellUnsavedNumber(const PortInterface& port);
    void ConnectPort(uint32_t nPort);
    void DisconnectPort(uint32_t nPort);
    // Asks a session thread to leave and waits for it.
    void EndThread(_THREAD_PARA_T& session);
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
};

}  // namespace korvane
