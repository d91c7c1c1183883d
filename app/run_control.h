// Run control: Start and Stop, the port-change handling and the per-port sessions.
// Front-end neutral: the window and the console drive it from their own thread.
// Thread safety: every call on the front end's thread; session threads only report to
// the port view. The watcher's notifications arrive through the front end's queue.
#pragma once

#include <cstdint>
#include <functional>

namespace korvane {

class CKorvaneAppDownloadApp;
class IMessageSink;
class PortRows;
class CDevHound;

// Posts a port change (port number, 1 arrived / 0 removed) into the front end's loop;
// false when it could not be queued.
using PortChangePoster = std::function<bool(uint32_t nPort, int lParam)>;

class RunControl {
public:
    RunControl(CKorvaneAppDownloadApp& app, PortRows& rows, IMessageSink& sink, PortChangePoster poster);
    ~RunControl();

    // The Start checks in order; false (message shown) when one fails.
    bool OnStart();
    void OnStop();
    void OnPortChange(uint32_t wParam, intptr_t lParam);
    bool Running() const;

    void UpdatePortSession(uint32_t nPort, int flag);
    void StopAllSessions();
};

}  // namespace korvane
