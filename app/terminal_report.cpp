#include "app/terminal_report.h"

#include <cstdio>
#include <fstream>

#include "app/config_values.h"
#include "platform/text.h"

namespace korvane {

namespace {

// Terminal messages may carry any bytes; reports hold valid UTF-8 only.
std::string ValidUtf8(const std::string& text) { return Utf16ToUtf8(Utf8ToUtf16(text)); }

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

ReportingPortView::ReportingPortView(IPortView& inner, Clock& clock) : inner_(inner), clock_(clock) {}

int ReportingPortView::AddRow(int nPort) { return inner_.AddRow(nPort); }

int ReportingPortView::SetStep(int nPort, int nStep, int bShowProgress, uint32_t nTotal) {
    {
        std::lock_guard lock(mutex_);
        if (nStep == kStepConnecting) {
            Session fresh;
            fresh.startMs = clock_.Now();
            sessions_[nPort] = std::move(fresh);
        } else if (auto it = sessions_.find(nPort); it != sessions_.end()) {
            Session& session = it->second;
            session.committedBytes += session.stepBytes;
            session.stepBytes = 0;
            // The erase step's bar counts percent, not bytes.
            session.countingBytes = bShowProgress != 0 && nStep != kStepErase;
        }
    }
    return inner_.SetStep(nPort, nStep, bShowProgress, nTotal);
}

int ReportingPortView::SetStepText(int nPort, const std::string& text) { return inner_.SetStepText(nPort, text); }

int ReportingPortView::SetProgress(int nPort, uint32_t nDone) {
    {
        std::lock_guard lock(mutex_);
        if (auto it = sessions_.find(nPort); it != sessions_.end() && it->second.countingBytes) {
            it->second.stepBytes = nDone;
        }
    }
    return inner_.SetProgress(nPort, nDone);
}

int ReportingPortView::SetResult(int nPort, int bSuccess, const int* pCmd, const std::string& szErrorMsg) {
    {
        std::lock_guard lock(mutex_);
        Session& session = sessions_[nPort];
        session.lastResultMs = clock_.Now();
        session.hasResult = true;
        session.passed = bSuccess != 0;
        session.message = szErrorMsg;
        session.command = pCmd != nullptr ? std::optional<int>(*pCmd) : std::nullopt;
    }
    return inner_.SetResult(nPort, bSuccess, pCmd, szErrorMsg);
}

int ReportingPortView::RemoveAll() {
    {
        std::lock_guard lock(mutex_);
        sessions_.clear();
    }
    return inner_.RemoveAll();
}

TerminalOutcome ReportingPortView::Outcome(int nPort) const {
    TerminalOutcome outcome;
    outcome.nPort = nPort;
    std::lock_guard lock(mutex_);
    const auto it = sessions_.find(nPort);
    if (it == sessions_.end() || !it->second.hasResult) {
        outcome.message = "no result";
        return outcome;
    }
    const Session& session = it->second;
    outcome.passed = session.passed;
    outcome.message = session.message;
    outcome.command = session.command;
    outcome.bytes = session.committedBytes + session.stepBytes;
    outcome.seconds = (session.lastResultMs - session.startMs) / 1000.0;
    return outcome;
}

std::string ReportCsvHeader() { return "port,binding_position,result,message,command,bytes,seconds"; }

std::string ReportCsvLine(const TerminalOutcome& o) {
    return std::to_string(o.nPort) + "," + CsvField(o.bindingPosition) + "," + (o.passed ? "Passed" : "Failed") + "," +
           CsvField(ValidUtf8(o.message)) + "," + (o.command ? std::to_string(*o.command) : "") + "," +
           std::to_string(o.bytes) + "," + Seconds(o.seconds);
}

std::string ReportJsonLine(const TerminalOutcome& o) {
    const std::string binding =
        o.bindingPosition.empty() ? "null" : std::to_string(ParseIniInteger(o.bindingPosition));
    return "{\"port\":" + std::to_string(o.nPort) + ",\"binding_position\":" + binding + ",\"result\":\"" +
           (o.passed ? "Passed" : "Failed") + "\",\"message\":" + JsonString(ValidUtf8(o.message)) +
           ",\"command\":" + (o.command ? std::to_string(*o.command) : "null") +
           ",\"bytes\":" + std::to_string(o.bytes) + ",\"seconds\":" + Seconds(o.seconds) + "}";
}

bool WriteReport(const std::string& file, const std::vector<TerminalOutcome>& outcomes, std::string& error) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = "cannot write the report " + file;
        return false;
    }
    const bool jsonLines = EndsWith(file, ".jsonl");
    if (!jsonLines) {
        out << ReportCsvHeader() << "\n";
    }
    for (const TerminalOutcome& outcome : outcomes) {
        out << (jsonLines ? ReportJsonLine(outcome) : ReportCsvLine(outcome)) << "\n";
    }
    out.close();
    if (!out) {
        error = "cannot write the report " + file;
        return false;
    }
    return true;
}

}  // namespace korvane
