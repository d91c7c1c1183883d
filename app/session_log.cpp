#include "app/session_log.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/port_rows.h"
#include "platform/file_replace.h"
#include "platform/text.h"
#include "platform/file_path.h"

namespace korvane {

namespace {

std::string Quoted(std::string_view text) { return "\"" + PrintableText(text) + "\""; }

}  // namespace

std::string PrintableText(std::string_view text) {
    const std::string valid = Utf16ToUtf8(Utf8ToUtf16(text));
    std::string out;
    out.reserve(valid.size());
    for (const char c : valid) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string SessionLogName(int nPort, WallTime began, const std::string& bindingPosition) {
    std::string name = "COM" + std::to_string(nPort) + "_" + FileNameTime(began);
    // Only a plain number goes into a file name.
    if (!bindingPosition.empty() && bindingPosition.find_first_not_of("0123456789") == std::string::npos) {
        name += "_pos" + bindingPosition;
    }
    return name + ".log";
}

SessionLogWriter::SessionLogWriter(std::string folder, Warn warn) : folder_(std::move(folder)), warn_(std::move(warn)) {}

void SessionLogWriter::SessionBegan(int nPort, const std::string& bindingPosition) {
    const WallTime now = std::chrono::system_clock::now();
    Log log;
    log.path = Utf8FromPath(PathFromUtf8(folder_) / SessionLogName(nPort, now, bindingPosition));
    log.began = std::chrono::steady_clock::now();
    log.text.reserve(64 * 1024);
    {
        std::lock_guard lock(mutex_);
        paths_.erase(nPort);
        logs_[nPort] = std::move(log);
    }
    Append(nPort, "session began on COM" + std::to_string(nPort) + ", binding position " +
                      (bindingPosition.empty() ? "none" : PrintableText(bindingPosition)) + ", " + IsoLocalTime(now));
}

void SessionLogWriter::Step(int nPort, int nStep, uint32_t nTotal) {
    std::string line = std::string("step ") + StepName(nStep);
    if (nTotal != 0 && nStep != kStepErase) {
        line += " (" + std::to_string(nTotal) + " bytes)";
    }
    Append(nPort, line);
}

void SessionLogWriter::Packet(int nPort, const PacketEvent& packet) {
    char head[96];
    std::snprintf(head, sizeof head, "packet command %u length %zu index %zu: ", packet.command, packet.length,
                  packet.index);
    Append(nPort, head + PrintableText(packet.status) + " in " + std::to_string(packet.ms) + " ms");
}

void SessionLogWriter::PlainText(int nPort, std::string_view sent, std::string_view answer) {
    Append(nPort, "text " + Quoted(sent) + " answered " + Quoted(answer));
}

void SessionLogWriter::LoaderVersion(int nPort, std::string_view text) {
    Append(nPort, "loader version " + Quoted(text));
}

void SessionLogWriter::Tusn(int nPort, std::string_view tusn) { Append(nPort, "TUSN " + Quoted(tusn)); }

void SessionLogWriter::ImageDelivered(int nPort, std::span<const uint8_t> image) {
    Append(nPort, "application image received whole, " + std::to_string(image.size()) + " bytes");
}

void SessionLogWriter::Result(int nPort, bool success, const int* command, std::string_view message, bool interim) {
    std::string line;
    if (interim) {
        line = "in its application (" + PrintableText(message) + "), sending it to its loader";
    } else {
        line = success ? "result Passed" : "result Failed: " + PrintableText(message);
    }
    if (command != nullptr) {
        line += " (command " + std::to_string(*command) + ")";
    }
    Append(nPort, line);
}

void SessionLogWriter::SessionEnded(int nPort) {
    Append(nPort, "session ended");
    Log log;
    {
        std::lock_guard lock(mutex_);
        const auto it = logs_.find(nPort);
        if (it == logs_.end()) {
            return;
        }
        log = std::move(it->second);
        logs_.erase(it);
    }
    std::string error;
    const bool written = WriteLog(log, error);
    {
        std::lock_guard lock(mutex_);
        if (written) {
            paths_[nPort] = log.path;
            return;
        }
        if (std::exchange(warned_, true)) {
            return;
        }
    }
    if (warn_) {
        warn_("session logs cannot be written to " + folder_ + " (" + error +
              "); the terminals go on without them");
    }
}

std::string SessionLogWriter::PathOf(int nPort) const {
    std::lock_guard lock(mutex_);
    const auto it = paths_.find(nPort);
    return it != paths_.end() ? it->second : std::string();
}

void SessionLogWriter::Append(int nPort, std::string_view what) {
    const std::string clock = LocalClockTime(std::chrono::system_clock::now());
    const auto steadyNow = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    const auto it = logs_.find(nPort);
    if (it == logs_.end()) {
        return;
    }
    Log& log = it->second;
    const auto sinceBegan =
        std::chrono::duration_cast<std::chrono::milliseconds>(steadyNow - log.began).count();
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%s +%lld.%03llds ", clock.c_str(),
                  static_cast<long long>(sinceBegan / 1000), static_cast<long long>(sinceBegan % 1000));
    log.text += stamp;
    log.text += what;
    log.text += '\n';
}

bool SessionLogWriter::WriteLog(const Log& log, std::string& error) const {
    std::error_code code;
    std::filesystem::create_directories(PathFromUtf8(folder_), code);
    if (code) {
        error = code.message();
        return false;
    }
    if (!ReplaceFileAtomically(log.path, log.text)) {
        error = "cannot write " + log.path;
        return false;
    }
    return true;
}

}  // namespace korvane
