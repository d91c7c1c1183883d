#include "app/run_records.h"

#include <optional>
#include <utility>

#include "app/run_control.h"

namespace korvane {

RunRecords::RunRecords(PortRows& rows, const std::string& logDir, Warn warn) : rows_(rows), reporting_(rows) {
    events_.Add(reporting_);
    if (!logDir.empty()) {
        logs_ = std::make_unique<SessionLogWriter>(logDir, std::move(warn));
        events_.Add(*logs_);
    }
}

size_t RunRecords::Collect(RunControl& run) {
    const std::vector<uint32_t> ended = run.TakeEndedSessions();
    for (const uint32_t nPort : ended) {
        TerminalOutcome outcome = reporting_.Outcome(static_cast<int>(nPort));
        if (const std::optional<PortRow> row = rows_.RowOf(outcome.nPort)) {
            outcome.bindingPosition = row->cells[kColBindingPort];
        }
        if (logs_) {
            outcome.logFile = logs_->PathOf(outcome.nPort);
        }
        for (const auto& listener : finishedListeners_) {
            listener(outcome);
        }
        finished_.push_back(std::move(outcome));
    }
    return ended.size();
}

}  // namespace korvane
