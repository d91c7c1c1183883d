// The report's two forms, made from one table of columns: CSV with a header line, or one
// JSON object per line when the file name ends in ".jsonl". Numbers are written the same
// way under every locale. In the CSV a text cell that a spreadsheet would take for a
// formula gets a leading '; the JSON lines keep every text as it is.
// Thread safety: plain functions of their arguments.
#pragma once

#include <string>
#include <vector>

#include "app/terminal_outcome.h"

namespace korvane {

std::string ReportCsvHeader();
std::string ReportCsvLine(const TerminalOutcome& outcome);
std::string ReportJsonLine(const TerminalOutcome& outcome);

// The whole report, in the form its file name asks for. Replaced atomically and flushed to
// disk, so the file on disk is always a whole report. False with a reason when the file
// cannot be written; the previous report is then left as it was.
bool WriteReport(const std::string& file, const std::vector<TerminalOutcome>& outcomes, std::string& error);

}  // namespace korvane
