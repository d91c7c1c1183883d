#include "records/row_codec.h"

#include <charconv>
#include <cstdio>
#include <map>
#include <system_error>

namespace korvane {

namespace {

constexpr std::string_view kFirstLine = "korvane-station-row 1";
// The last line: a file without it was cut short.
constexpr std::string_view kEndLine = "end";

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

std::optional<std::string> Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out.push_back(text[i]);
            continue;
        }
        if (++i == text.size()) {
            return std::nullopt;
        }
        switch (text[i]) {
        case '\\': out.push_back('\\'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        default: return std::nullopt;
        }
    }
    return out;
}

template <typename Number>
bool ParseNumber(const std::string& text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

void Field(std::string& out, std::string_view key, std::string_view value) {
    out.append(key).append("=").append(Escape(value)).append("\n");
}

}  // namespace

std::string EncodeRow(const StationRow& row) {
    std::string out(kFirstLine);
    out += "\n";
    Field(out, "station", row.station);
    Field(out, "session_id", row.sessionId);
    Field(out, "port", std::to_string(row.port));
    Field(out, "binding_position", row.bindingPosition);
    Field(out, "result", ResultText(row.passed));
    Field(out, "message", row.message);
    if (row.command) {
        Field(out, "command", std::to_string(*row.command));
    }
    Field(out, "bytes", std::to_string(row.bytes));
    // Shortest text that reads back as the same double.
    char seconds[32];
    const auto written = std::to_chars(seconds, seconds + sizeof seconds, row.seconds);
    Field(out, "seconds", std::string_view(seconds, static_cast<size_t>(written.ptr - seconds)));
    Field(out, "started_at", row.startedAt);
    Field(out, "finished_at", row.finishedAt);
    Field(out, "tusn", row.tusn);
    Field(out, "loader_version", row.loaderVersion);
    Field(out, "image_md5", row.imageMd5);
    Field(out, "log_file", row.logFile);
    if (row.logText) {
        Field(out, "log_text", *row.logText);
    }
    out.append(kEndLine).append("\n");
    return out;
}

std::optional<StationRow> DecodeRow(std::string_view bytes) {
    std::map<std::string, std::string, std::less<>> fields;
    bool first = true;
    bool ended = false;
    while (!bytes.empty()) {
        const size_t newline = bytes.find('\n');
        if (newline == std::string_view::npos || ended) {
            return std::nullopt;  // a line without its end, or anything after the end line
        }
        const std::string_view line = bytes.substr(0, newline);
        bytes.remove_prefix(newline + 1);
        if (first) {
            if (line != kFirstLine) {
                return std::nullopt;
            }
            first = false;
            continue;
        }
        if (line == kEndLine) {
            ended = true;
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            return std::nullopt;
        }
        std::optional<std::string> value = Unescape(line.substr(equals + 1));
        if (!value || !fields.emplace(std::string(line.substr(0, equals)), std::move(*value)).second) {
            return std::nullopt;  // a bad escape, or a key given twice
        }
    }
    if (!ended) {
        return std::nullopt;
    }
    const auto take = [&fields](std::string_view key) -> std::optional<std::string> {
        const auto found = fields.find(key);
        return found == fields.end() ? std::nullopt : std::optional<std::string>(found->second);
    };
    StationRow row;
    const std::optional<std::string> station = take("station"), sessionId = take("session_id"), port = take("port"),
                                     result = take("result");
    if (!station || !sessionId || !port || !result || station->empty() || sessionId->empty() ||
        !ParseNumber(*port, row.port) || (*result != "Passed" && *result != "Failed")) {
        return std::nullopt;
    }
    row.station = *station;
    row.sessionId = *sessionId;
    row.passed = *result == "Passed";
    if (const auto command = take("command")) {
        int value = 0;
        if (!ParseNumber(*command, value)) {
            return std::nullopt;
        }
        row.command = value;
    }
    if (const auto count = take("bytes"); count && !ParseNumber(*count, row.bytes)) {
        return std::nullopt;
    }
    if (const auto seconds = take("seconds"); seconds && !ParseNumber(*seconds, row.seconds)) {
        return std::nullopt;
    }
    row.bindingPosition = take("binding_position").value_or("");
    row.message = take("message").value_or("");
    row.startedAt = take("started_at").value_or("");
    row.finishedAt = take("finished_at").value_or("");
    row.tusn = take("tusn").value_or("");
    row.loaderVersion = take("loader_version").value_or("");
    row.imageMd5 = take("image_md5").value_or("");
    row.logFile = take("log_file").value_or("");
    row.logText = take("log_text");
    return row;
}

}  // namespace korvane
