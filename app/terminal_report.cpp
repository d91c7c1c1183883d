#include "app/terminal_report.h"

#include <cstdio>
#include <fstream>
#include <utility>

#include "app/config_values.h"
#include "crypto/digest.h"
#include "platform/text.h"
#include "platform/wall_clock.h"
#include "platform/file_path.h"

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
            if (const Session* old = Find(nPort)) {
                retiredBytes_ += old->committedBytes + old->stepBytes;
            }
            sessions_[nPort] = std::move(fresh);
        } else if (Session* found = Find(nPort)) {
            Session& session = *found;
            if (nStep == kStepUnplugged && !session.finalResult) {
                // Pulled out before its session had a result of its own.
                session.lastResultMs = clock_.Now();
                session.hasResult = session.finalResult = true;
                session.passed = false;
                session.message = "Unplugged";
                session.command.reset();
                session.finishedAt = IsoLocalTime(std::chrono::system_clock::now());
            }
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
        session.finalResult = !std::exchange(session.interimNext, false);
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
    outcome.startedAt = session.startedAt;
    outcome.finishedAt = session.finishedAt;
    outcome.tusn = session.tusn;
    outcome.loaderVersion = session.loaderVersion;
    outcome.imageMd5 = session.imageMd5;
    return outcome;
}

uint64_t ReportingPortView::TotalBytes() const {
    std::lock_guard lock(mutex_);
    uint64_t total = retiredBytes_;
    for (const auto& [port, session] : sessions_) {
        total += session.committedBytes + session.stepBytes;
    }
    return total;
}

ReportingPortView::Session* ReportingPortView::Find(int nPort) {
    const auto it = sessions_.find(nPort);
    return it != sessions_.end() ? &it->second : nullptr;
}

void ReportingPortView::SessionBegan(int nPort, const std::string& /*bindingPosition*/) {
    const std::string now = IsoLocalTime(std::chrono::system_clock::now());
    std::lock_guard lock(mutex_);
    sessions_[nPort].startedAt = now;
}

void ReportingPortView::LoaderVersion(int nPort, std::string_view text) {
    std::lock_guard lock(mutex_);
    if (Session* session = Find(nPort)) {
        session->loaderVersion = text;
    }
}

void ReportingPortView::Tusn(int nPort, std::string_view tusn) {
    std::lock_guard lock(mutex_);
    if (Session* session = Find(nPort)) {
        session->tusn = tusn;
    }
}

void ReportingPortView::ImageDelivered(int nPort, std::span<const uint8_t> image) {
    const std::string md5 = ImageMd5(image);
    std::lock_guard lock(mutex_);
    if (Session* session = Find(nPort)) {
        session->imageMd5 += (session->imageMd5.empty() ? "" : " ") + md5;
    }
}

void ReportingPortView::Result(int nPort, bool /*success*/, const int* /*command*/, std::string_view /*message*/,
                               bool interim) {
    const std::string now = IsoLocalTime(std::chrono::system_clock::now());
    std::lock_guard lock(mutex_);
    Session& session = sessions_[nPort];
    if (interim) {
        session.interimNext = true;
    } else {
        session.finishedAt = now;
    }
}

std::string ReportingPortView::ImageMd5(std::span<const uint8_t> image) {
    std::lock_guard lock(md5Mutex_);
    std::string& md5 = md5s_[{image.data(), image.size()}];
    if (md5.empty()) {
        md5 = Md5Hex(image.data(), image.size());
    }
    return md5;
}

std::string ReportCsvHeader() {
    return "port,binding_position,result,message,command,bytes,seconds,started_at,finished_at,tusn,loader_version,"
           "image_md5,log_file";
}

std::string ReportCsvLine(const TerminalOutcome& o) {
    return std::to_string(o.nPort) + "," + CsvField(o.bindingPosition) + "," + (o.passed ? "Passed" : "Failed") + "," +
           CsvField(ValidUtf8(o.message)) + "," + (o.command ? std::to_string(*o.command) : "") + "," +
           std::to_string(o.bytes) + "," + Seconds(o.seconds) + "," + CsvField(o.startedAt) + "," +
           CsvField(o.finishedAt) + "," + CsvField(ValidUtf8(o.tusn)) + "," + CsvField(ValidUtf8(o.loaderVersion)) +
           "," + CsvField(o.imageMd5) + "," + CsvField(ValidUtf8(o.logFile));
}

std::string ReportJsonLine(const TerminalOutcome& o) {
    const std::string binding =
        o.bindingPosition.empty() ? "null" : std::to_string(ParseIniInteger(o.bindingPosition));
    return "{\"port\":" + std::to_string(o.nPort) + ",\"binding_position\":" + binding + ",\"result\":\"" +
           (o.passed ? "Passed" : "Failed") + "\",\"message\":" + JsonString(ValidUtf8(o.message)) +
           ",\"command\":" + (o.command ? std::to_string(*o.command) : "null") +
           ",\"bytes\":" + std::to_string(o.bytes) + ",\"seconds\":" + Seconds(o.seconds) +
           ",\"started_at\":" + JsonString(o.startedAt) + ",\"finished_at\":" + JsonString(o.finishedAt) +
           ",\"tusn\":" + JsonString(ValidUtf8(o.tusn)) + ",\"loader_version\":" + JsonString(ValidUtf8(o.loaderVersion)) +
           ",\"image_md5\":" + JsonString(o.imageMd5) + ",\"log_file\":" + JsonString(ValidUtf8(o.logFile)) + "}";
}

bool WriteReport(const std::string& file, const std::vector<TerminalOutcome>& outcomes, std::string& error) {
    std::ofstream out(PathFromUtf8(file), std::ios::binary | std::ios::trunc);
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
