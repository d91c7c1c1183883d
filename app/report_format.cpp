#include "app/report_format.h"

#include <optional>
#include <string_view>

#include "app/config_values.h"
#include "platform/file_replace.h"
#include "platform/text.h"

namespace korvane {

namespace {

// Terminal messages may carry any bytes; reports hold valid UTF-8 only.
std::string ValidUtf8(const std::string& text) { return Utf16ToUtf8(Utf8ToUtf16(text)); }

// One column: its name, whether its value is a number (bare in JSON) or a text (quoted),
// and its value; none is an empty CSV cell and a JSON null.
struct ReportColumn {
    const char* name;
    bool number;
    std::optional<std::string> (*value)(const TerminalOutcome& o);
};

std::optional<std::string> Text(const std::string& text) { return ValidUtf8(text); }

// The report's columns in their order; the first ones are those of the first reports.
constexpr ReportColumn kColumns[] = {
    {"port", true, [](const TerminalOutcome& o) -> std::optional<std::string> { return std::to_string(o.nPort); }},
    {"binding_position", true,
     [](const TerminalOutcome& o) -> std::optional<std::string> {
         if (o.bindingPosition.empty()) {
             return std::nullopt;
         }
         return std::to_string(ParseIniInteger(o.bindingPosition));
     }},
    {"result", false,
     [](const TerminalOutcome& o) -> std::optional<std::string> { return o.passed ? "Passed" : "Failed"; }},
    {"message", false, [](const TerminalOutcome& o) { return Text(o.message); }},
    {"command", true,
     [](const TerminalOutcome& o) -> std::optional<std::string> {
         if (!o.command) {
             return std::nullopt;
         }
         return std::to_string(*o.command);
     }},
    {"bytes", true, [](const TerminalOutcome& o) -> std::optional<std::string> { return std::to_string(o.bytes); }},
    {"seconds", true,
     [](const TerminalOutcome& o) -> std::optional<std::string> { return DecimalText(o.seconds, 1); }},
    {"started_at", false, [](const TerminalOutcome& o) { return Text(o.startedAt); }},
    {"finished_at", false, [](const TerminalOutcome& o) { return Text(o.finishedAt); }},
    {"tusn", false, [](const TerminalOutcome& o) { return Text(o.tusn); }},
    {"loader_version", false, [](const TerminalOutcome& o) { return Text(o.loaderVersion); }},
    {"image_md5", false, [](const TerminalOutcome& o) { return Text(o.imageMd5); }},
    {"log_file", false, [](const TerminalOutcome& o) { return Text(o.logFile); }},
};

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string ReportText(const std::vector<TerminalOutcome>& outcomes, bool jsonLines) {
    std::string text = jsonLines ? std::string() : ReportCsvHeader() + "\n";
    for (const TerminalOutcome& outcome : outcomes) {
        text += (jsonLines ? ReportJsonLine(outcome) : ReportCsvLine(outcome)) + "\n";
    }
    return text;
}

}  // namespace

std::string ReportCsvHeader() {
    std::string line;
    for (const ReportColumn& column : kColumns) {
        line += (line.empty() ? "" : ",") + std::string(column.name);
    }
    return line;
}

std::string ReportCsvLine(const TerminalOutcome& outcome) {
    std::string line;
    bool first = true;
    for (const ReportColumn& column : kColumns) {
        const std::optional<std::string> value = column.value(outcome);
        line += first ? "" : ",";
        first = false;
        if (value) {
            line += column.number ? *value : CsvTextCell(*value);
        }
    }
    return line;
}

std::string ReportJsonLine(const TerminalOutcome& outcome) {
    std::string line = "{";
    for (const ReportColumn& column : kColumns) {
        const std::optional<std::string> value = column.value(outcome);
        line += (line.size() > 1 ? ",\"" : "\"") + std::string(column.name) + "\":";
        line += !value ? "null" : column.number ? *value : JsonQuoted(*value);
    }
    return line + "}";
}

bool WriteReport(const std::string& file, const std::vector<TerminalOutcome>& outcomes, std::string& error) {
    // A rewrite that fails half-way (a full disk, a crash) leaves the previous report whole.
    if (!ReplaceFileAtomically(file, ReportText(outcomes, EndsWith(file, ".jsonl")))) {
        error = "cannot write the report " + file;
        return false;
    }
    return true;
}

}  // namespace korvane
