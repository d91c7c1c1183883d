// The report of a run, kept whole on disk: rewritten after each finished terminal, so a
// crash, a power cut or a full disk keeps the rows of every terminal finished before it.
// A report that cannot be written is told once through `warn`, and again only after a
// later write had succeeded.
// Thread safety: the front end's thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/terminal_outcome.h"

namespace korvane {

class ReportFile {
public:
    using Warn = std::function<void(const std::string& message)>;
    // file empty: no report; nothing is written.
    ReportFile(std::string file, Warn warn);

    // Adds a finished terminal's row and writes the report.
    void Add(const TerminalOutcome& outcome);
    // Writes the report as it stands; true when it is on disk (or no report is kept).
    bool Write();

private:
    const std::string file_;
    const Warn warn_;
    std::vector<TerminalOutcome> outcomes_;
    bool told_ = false;
};

}  // namespace korvane
