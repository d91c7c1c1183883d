// What a front end keeps of a run for the operator: the report's outcome per finished
// terminal (through a reporting port view around the rows) and, when a log folder is
// given, one log file per terminal session. Both hear the sessions' events; a front end
// may add its own listeners (the console's picture) before the run starts.
// Thread safety: the view and the events are called as IPortView and ISessionEvents say;
// AddListener before the run, Collect and Finished on the front end's thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/port_rows.h"
#include "app/session_log.h"
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
    // Called by Collect with each finished terminal's outcome, once it is complete.
    void AddFinishedListener(std::function<void(const TerminalOutcome&)> listener) {
        finishedListeners_.push_back(std::move(listener));
    }
    // What run control is given: the view for its rows and the events for its sessions.
    IPortView& View() { return reporting_; }
    ISessionEvents& Events() { return events_; }
    uint64_t TotalBytes() const { return reporting_.TotalBytes(); }

    // Takes the sessions that ended since the last call and keeps their outcomes; returns
    // how many were added.
    size_t Collect(RunControl& run);
    const std::vector<TerminalOutcome>& Finished() const { return finished_; }

private:
    PortRows& rows_;
    ReportingPortView reporting_;
    SessionEventsFan events_;
    std::unique_ptr<SessionLogWriter> logs_;
    std::vector<TerminalOutcome> finished_;
    std::vector<std::function<void(const TerminalOutcome&)>> finishedListeners_;
};

}  // namespace korvane
