#include "records/station_row.h"

#include "platform/text.h"

namespace korvane {

namespace {

// How far back from the cut a line start is looked for, so the kept text starts whole.
constexpr size_t kLineSearch = 1024;

}  // namespace

std::string StorableText(std::string_view text) {
    std::string clean;
    clean.reserve(text.size());
    for (const char c : text) {
        if (c != '\0') {
            clean.push_back(c);
        }
    }
    return IsValidUtf8(clean) ? clean : Utf16ToUtf8(Utf8ToUtf16(clean));
}

std::string BoundLogText(std::string_view log) {
    std::string text = StorableText(log);
    if (text.size() <= kLogTextLimit) {
        return text;
    }
    size_t start = text.size() - kLogTextLimit;
    if (const size_t newline = text.find('\n', start); newline != std::string::npos && newline - start < kLineSearch) {
        start = newline + 1;
    }
    // Never start inside a character: skip its continuation bytes.
    while (start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
        ++start;
    }
    return "[" + std::to_string(start) + " bytes before this left out]\n" + text.substr(start);
}

StationRow StorableRow(StationRow row) {
    for (std::string* text : {&row.station, &row.sessionId, &row.bindingPosition, &row.message, &row.startedAt,
                              &row.finishedAt, &row.tusn, &row.loaderVersion, &row.imageMd5, &row.logFile}) {
        *text = StorableText(*text);
    }
    if (row.logText) {
        row.logText = BoundLogText(*row.logText);
    }
    return row;
}

const char* ResultText(bool passed) {
    return passed ? "Passed" : "Failed";
}

}  // namespace korvane
