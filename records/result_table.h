// A table of the records tool's answers, written as aligned text, CSV or JSON.
// Thread safety: pure functions.
#pragma once

#include <string>
#include <vector>

namespace korvane {

struct ResultTable {
    std::vector<std::string> columns;
    std::vector<bool> numeric;  // per column: right-aligned in text, a bare number in JSON
    std::vector<std::vector<std::string>> rows;
};

enum class TableFormat { kText, kCsv, kJson };

// "text", "csv" or "json"; false for anything else.
bool ParseTableFormat(const std::string& text, TableFormat& format);

// Text: columns padded to their widest cell (counted in characters), a line per row.
// CSV: a header line, fields quoted where needed; a cell that a spreadsheet would take for a
// formula (starting with = + - @, tab or carriage return) gets a leading apostrophe.
// JSON: an array of objects keyed by the column names; empty numeric cells are null.
std::string FormatTable(const ResultTable& table, TableFormat format);

}  // namespace korvane
