// What a front end keeps of a run for the operator: the outcome of every finished terminal
// (through a reporting port view around the rows) and, when a log folder is given, one log
// file per terminal session. Both hear the sessions' events; a front end may add its own
// listeners (the console's picture) and finished-terminal listeners (the report, the
// station's records) before the run starts.
// Each session's outcome, with its log's path and a session id, is closed when its session
// ends, so a port that is plugged again before the front end collects keeps both endings.
// Thread safety: the view and the events are called as IPortView and ISessionEvents say;
// AddListener and AddFinishedListener before the run, Collect and Finished on the front end's thread.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/port_rows.h"
#include "app/session_log.h"
#include "app/terminal_outcome.h"
#include "app/terminal_report.h"
#include "engine/session_events.h"

namespace korvane {

class RunControl;

class RunRecords {
public:
    using Warn = SessionLogWriter::Warn;
    // logDir empty: no session logs. warn: told once when logs cannot be written.
    RunRecords(PortRows& rows, const std::string& logDir, Warn warn);

    void AddListener(ISessionEvents& listener) { events_.Add(listener); }
    // Called by Collect with each finished terminal's outcome, once it is complete, in the
    // order of Finished().
    void AddFinishedListener(std::function<void(const TerminalOutcome&)> listener) {
        finishedListeners_.push_back(std::move(listener));
    }
    // What run control is given: the view for its rows and the events for its sessions.
    IPortView& View() { return reporting_; }
    ISessionEvents& Events() { return events_; }
    uint64_t TotalBytes() const { return reporting_.TotalBytes(); }

    // Takes the sessions that ended since the last call (run control's Stop ends every
    // session still running, as "Stopped"), keeps their outcomes and hands each to the
    // finished-terminal listeners; returns how many were added.
    size_t Collect(RunControl& run);
    const std::vector<TerminalOutcome>& Finished() const { return finished_; }

private:
    // Closes a session's outcome when its session ends, before the port can begin another.
    class Closer final : public ISessionEvents {
    public:
        explicit Closer(RunRecords& records);
        void SessionBegan(int nPort, const std::string& bindingPosition) override;
        void SessionEnded(int nPort) override;
        std::vector<TerminalOutcome> Take();

    private:
        RunRecords& records_;
        std::mutex mutex_;  // guards the members below
        std::map<int, std::string> open_;  // port: binding position of its session
        std::vector<TerminalOutcome> closed_;
    };

    ReportingPortView reporting_;
    SessionEventsFan events_;
    std::unique_ptr<SessionLogWriter> logs_;
    Closer closer_;
    std::vector<TerminalOutcome> finished_;
    std::vector<std::function<void(const TerminalOutcome&)>> finishedListeners_;
};

}  // namespace korvane
