// One log file per terminal session: a timestamped line for each step, each packet sent
// (command, payload length, index in its transfer, answer, time taken), each plain-text
// exchange, the identity read from the terminal and each result.
// The file is made when the session begins, under a name no other file has (a second
// session or program that picks the same name gets a numbered one), and written as the
// session goes by a writer thread of its own: the lines reach the file at each step and at
// least every kFlushEvery otherwise, so a crash of the program loses at most the last
// moments of a session. Sessions only append to memory; the front end's thread only makes
// the file. A folder that cannot be written fails no terminal: the first failure is told
// once through `warn` (on the front end's thread), later ones are silent.
// Thread safety: session threads report for their own ports at once; one lock guards the
// logs. SessionBegan, SessionEnded and PathOf come from the front end's thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/session_events.h"
#include "platform/wall_clock.h"

namespace korvane {

class SessionLogWriter final : public ISessionEvents {
public:
    using Warn = std::function<void(const std::string& message)>;
    using WallClock = std::function<WallTime()>;
    static constexpr std::chrono::milliseconds kFlushEvery{1000};

    // now: the time the file names and lines are stamped with (empty: the system's).
    SessionLogWriter(std::string folder, Warn warn, WallClock now = {});
    // Writes what is still held and closes every file.
    ~SessionLogWriter() override;
    SessionLogWriter(const SessionLogWriter&) = delete;
    SessionLogWriter& operator=(const SessionLogWriter&) = delete;

    void SessionBegan(int nPort, const std::string& bindingPosition) override;
    void Step(int nPort, int nStep, uint32_t nTotal) override;
    void Packet(int nPort, const PacketEvent& packet) override;
    void PlainText(int nPort, std::string_view sent, std::string_view answer) override;
    void LoaderVersion(int nPort, std::string_view text) override;
    void Tusn(int nPort, std::string_view tusn) override;
    void ImageDelivered(int nPort, std::span<const uint8_t> image) override;
    void Result(int nPort, bool success, const int* command, std::string_view message, bool interim) override;
    // The session's last lines are handed to the writer; its file is complete soon after.
    void SessionEnded(int nPort) override;

    // The path of the port's latest session log; empty when it has none.
    std::string PathOf(int nPort) const;

private:
    // One session's file and the lines not yet written to it.
    struct Log {
        std::FILE* file = nullptr;
        std::string pending;
        bool ended = false;
        std::chrono::steady_clock::time_point began;
    };

    // Tries a few numbered names after the session's own.
    static constexpr int kNameAttempts = 100;
    // Makes the session's file under a name that was free; null with a reason when it cannot.
    std::FILE* CreateLogFile(int nPort, WallTime now, const std::string& bindingPosition, std::string& path,
                             std::string& error) const;
    // Adds a line; flushNow: the writer writes it at once (a step, a result, the end).
    void Append(int nPort, std::string_view what, bool flushNow = false);
    // The writer thread: writes pending lines when told, or every kFlushEvery.
    void WriteLoop();
    // Writes every log's pending lines; closes the files of ended sessions.
    void WriteAll();
    // Tells a failure once, on the front end's thread.
    void Tell(const std::string& error);
    void TellPending();

    const std::string folder_;
    const Warn warn_;
    const WallClock now_;
    mutable std::mutex mutex_;  // guards everything below but the thread
    std::condition_variable wake_;
    std::map<int, std::shared_ptr<Log>> open_;  // sessions in progress, by port
    std::vector<std::shared_ptr<Log>> ending_;  // ended sessions whose file is not yet closed
    std::map<int, std::string> paths_;
    bool flushNow_ = false;
    bool quit_ = false;
    bool warned_ = false;
    std::string writeFailure_;  // a failure of the writer thread not yet told
    std::thread writer_;
};

// The log's file name: "COM<port>_<local date-time>_pos<binding position>.log" (without
// "_pos..." when the port has no binding position).
std::string SessionLogName(int nPort, WallTime began, const std::string& bindingPosition);
// A terminal's text as a log or report shows it: valid UTF-8, control bytes as \xNN.
std::string PrintableText(std::string_view text);

}  // namespace korvane
