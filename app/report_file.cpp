#include "app/report_file.h"

#include <utility>

#include "app/report_format.h"

namespace korvane {

ReportFile::ReportFile(std::string file, Warn warn) : file_(std::move(file)), warn_(std::move(warn)) {}

void ReportFile::Add(const TerminalOutcome& outcome) {
    if (file_.empty()) {
        return;
    }
    outcomes_.push_back(outcome);
    Write();
}

bool ReportFile::Write() {
    if (file_.empty()) {
        return true;
    }
    std::string error;
    if (WriteReport(file_, outcomes_, error)) {
        told_ = false;
        return true;
    }
    if (!std::exchange(told_, true) && warn_) {
        warn_(error);
    }
    return false;
}

}  // namespace korvane
