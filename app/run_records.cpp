#include "app/run_records.h"

#include <utility>

#include "app/run_control.h"
#include "app/station_records.h"

namespace korvane {

RunRecords::RunRecords(PortRows& rows, const std::string& logDir, Warn warn) : reporting_(rows), closer_(*this) {
    events_.Add(reporting_);
    if (!logDir.empty()) {
        logs_ = std::make_unique<SessionLogWriter>(logDir, std::move(warn));
        events_.Add(*logs_);
    }
    // Last of the record keepers: the outcome and the log are complete when it closes them.
    events_.Add(closer_);
}

size_t RunRecords::Collect(RunControl& run) {
    // Joins the sessions that returned by themselves; their endings reach the closer.
    run.TakeEndedSessions();
    std::vector<TerminalOutcome> closed = closer_.Take();
    for (TerminalOutcome& outcome : closed) {
        finished_.push_back(std::move(outcome));
        for (const auto& listener : finishedListeners_) {
            listener(finished_.back());
        }
    }
    return closed.size();
}

RunRecords::Closer::Closer(RunRecords& records) : records_(records) {}

void RunRecords::Closer::SessionBegan(int nPort, const std::string& bindingPosition) {
    std::lock_guard lock(mutex_);
    open_[nPort] = bindingPosition;
}

void RunRecords::Closer::SessionEnded(int nPort) {
    TerminalOutcome outcome = records_.reporting_.Outcome(nPort);
    if (records_.logs_) {
        outcome.logFile = records_.logs_->PathOf(nPort);
    }
    std::lock_guard lock(mutex_);
    const auto it = open_.find(nPort);
    if (it == open_.end()) {
        return;
    }
    outcome.sessionId = NewSessionId(outcome);
    outcome.bindingPosition = it->second;
    open_.erase(it);
    closed_.push_back(std::move(outcome));
}

std::vector<TerminalOutcome> RunRecords::Closer::Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(closed_, {});
}

}  // namespace korvane
