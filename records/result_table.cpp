#include "records/result_table.h"

#include <algorithm>

#include "platform/text.h"

namespace korvane {

namespace {

size_t Characters(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// One line of a cell for the text table: line breaks and tabs would break the columns.
std::string OneLine(const std::string& text) {
    std::string out = text;
    std::replace_if(out.begin(), out.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    return out;
}

std::string CsvCell(const std::string& text, bool numeric) {
    return numeric ? CsvQuoted(text) : CsvTextCell(text);
}

std::string Text(const ResultTable& table) {
    std::vector<size_t> widths;
    for (const std::string& column : table.columns) {
        widths.push_back(Characters(column));
    }
    for (const auto& row : table.rows) {
        for (size_t c = 0; c < row.size() && c < widths.size(); ++c) {
            widths[c] = std::max(widths[c], Characters(OneLine(row[c])));
        }
    }
    const auto line = [&](const std::vector<std::string>& cells, bool header) {
        std::string out;
        for (size_t c = 0; c < cells.size() && c < widths.size(); ++c) {
            const std::string cell = OneLine(cells[c]);
            const std::string pad(widths[c] - Characters(cell), ' ');
            const bool right = !header && c < table.numeric.size() && table.numeric[c];
            out += (c == 0 ? "" : "  ") + (right ? pad + cell : cell + (c + 1 == cells.size() ? "" : pad));
        }
        return out + "\n";
    };
    std::string out = line(table.columns, true);
    for (const auto& row : table.rows) {
        out += line(row, false);
    }
    return out;
}

}  // namespace

bool ParseTableFormat(const std::string& text, TableFormat& format) {
    if (text == "text") {
        format = TableFormat::kText;
    } else if (text == "csv") {
        format = TableFormat::kCsv;
    } else if (text == "json") {
        format = TableFormat::kJson;
    } else {
        return false;
    }
    return true;
}

std::string FormatTable(const ResultTable& table, TableFormat format) {
    const auto isNumeric = [&table](size_t c) { return c < table.numeric.size() && table.numeric[c]; };
    if (format == TableFormat::kText) {
        return Text(table);
    }
    std::string out;
    if (format == TableFormat::kCsv) {
        for (size_t c = 0; c < table.columns.size(); ++c) {
            out += (c == 0 ? "" : ",") + CsvCell(table.columns[c], false);
        }
        out += "\n";
        for (const auto& row : table.rows) {
            for (size_t c = 0; c < row.size(); ++c) {
                out += (c == 0 ? "" : ",") + CsvCell(row[c], isNumeric(c));
            }
            out += "\n";
        }
        return out;
    }
    out = "[";
    for (size_t r = 0; r < table.rows.size(); ++r) {
        out += r == 0 ? "\n  {" : ",\n  {";
        const auto& row = table.rows[r];
        for (size_t c = 0; c < row.size() && c < table.columns.size(); ++c) {
            const std::string value = !isNumeric(c) ? JsonQuoted(row[c]) : row[c].empty() ? "null" : row[c];
            out += (c == 0 ? "" : ", ") + JsonQuoted(table.columns[c]) + ": " + value;
        }
        out += "}";
    }
    return out + (table.rows.empty() ? "]\n" : "\n]\n");
}

}  // namespace korvane
