// One log file per terminal session: a timestamped line for each step, each packet sent
// (command, payload length, index in its transfer, answer, time taken), each plain-text
// exchange, the identity read from the terminal and each result.
// Lines are kept in memory while the session runs and written in one piece once it has
// ended (SessionEnded, on the front end's thread), so the log never holds up a session's
// exchanges, and a folder that cannot be written fails no terminal: the first failure is
// told once through `warn`, later ones are silent.
// Thread safety: session threads report for their own ports at once; one lock guards
// the logs. SessionBegan, SessionEnded and PathOf come from the front end's thread.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "engine/session_events.h"
#include "platform/wall_clock.h"

namespace korvane {

class SessionLogWriter final : public ISessionEvents {
public:
    using Warn = std::function<void(const std::string& message)>;
    SessionLogWriter(std::string folder, Warn warn);

    void SessionBegan(int nPort, const std::string& bindingPosition) override;
    void Step(int nPort, int nStep, uint32_t nTotal) override;
    void Packet(int nPort, const PacketEvent& packet) override;
    void PlainText(int nPort, std::string_view sent, std::string_view answer) override;
    void LoaderVersion(int nPort, std::string_view text) override;
    void Tusn(int nPort, std::string_view tusn) override;
    void ImageDelivered(int nPort, std::span<const uint8_t> image) override;
    void Result(int nPort, bool success, const int* command, std::string_view message, bool interim) override;
    void SessionEnded(int nPort) override;

    // The path of the port's latest session log, once written; empty when there is none.
    std::string PathOf(int nPort) const;

private:
    struct Log {
        std::string path;
        std::string text;
        std::chrono::steady_clock::time_point began;
    };

    void Append(int nPort, std::string_view what);
    bool WriteLog(const Log& log, std::string& error) const;

    const std::string folder_;
    const Warn warn_;
    mutable std::mutex mutex_;  // guards logs_, paths_ and warned_
    std::map<int, Log> logs_;   // sessions in progress, by port
    std::map<int, std::string> paths_;
    bool warned_ = false;
};

// The log's file name: "COM<port>_<local date-time>_pos<binding position>.log" (without
// "_pos..." when the port has no binding position).
std::string SessionLogName(int nPort, WallTime began, const std::string& bindingPosition);
// A terminal's text as a log or report shows it: valid UTF-8, control bytes as \xNN.
std::string PrintableText(std::string_view text);

}  // namespace korvane
