#include "app/session_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/port_rows.h"
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

SessionLogWriter::SessionLogWriter(std::string folder, Warn warn, WallClock now)
    : folder_(std::move(folder)),
      warn_(std::move(warn)),
      now_(now ? std::move(now) : [] { return std::chrono::system_clock::now(); }),
      writer_([this] { WriteLoop(); }) {}

SessionLogWriter::~SessionLogWriter() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
    writer_.join();
    // The writer wrote what ended; the files of sessions still open are closed as they stand.
    for (auto& [port, log] : open_) {
        std::fclose(log->file);
    }
}

void SessionLogWriter::SessionBegan(int nPort, const std::string& bindingPosition) {
    TellPending();
    const WallTime now = now_();
    auto log = std::make_shared<Log>();
    log->began = std::chrono::steady_clock::now();
    std::string path;
    std::string error;
    log->file = CreateLogFile(nPort, now, bindingPosition, path, error);
    {
        std::lock_guard lock(mutex_);
        paths_.erase(nPort);
        if (const auto it = open_.find(nPort); it != open_.end()) {
            ending_.push_back(std::move(it->second));  // closed by the writer, as if ended
            open_.erase(it);
        }
        if (log->file != nullptr) {
            paths_[nPort] = path;
            open_[nPort] = std::move(log);
        }
    }
    if (!error.empty()) {
        Tell(error);
        return;
    }
    Append(nPort, "session began on COM" + std::to_string(nPort) + ", binding position " +
                      (bindingPosition.empty() ? "none" : PrintableText(bindingPosition)) + ", " + IsoLocalTime(now),
           true);
}

std::FILE* SessionLogWriter::CreateLogFile(int nPort, WallTime now, const std::string& bindingPosition,
                                           std::string& path, std::string& error) const {
    std::error_code code;
    std::filesystem::create_directories(PathFromUtf8(folder_), code);
    if (code) {
        error = code.message();
        return nullptr;
    }
    // Another session or program may have taken the name (the same millisecond, a clock
    // set back): the next free number is added instead of replacing its log.
    const std::string name = SessionLogName(nPort, now, bindingPosition);
    const std::string stem = name.substr(0, name.size() - 4);
    for (int number = 1; number <= kNameAttempts; ++number) {
        path = Utf8FromPath(PathFromUtf8(folder_) /
                            PathFromUtf8(number == 1 ? name : stem + "-" + std::to_string(number) + ".log"));
        if (std::FILE* file = OpenNewFile(path)) {
            return file;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    error = "cannot make " + path + ": " + std::strerror(errno);
    path.clear();
    return nullptr;
}

void SessionLogWriter::Step(int nPort, int nStep, uint32_t nTotal) {
    std::string line = std::string("step ") + StepName(nStep);
    if (nTotal != 0 && nStep != kStepErase) {
        line += " (" + std::to_string(nTotal) + " bytes)";
    }
    Append(nPort, line, true);
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
    Append(nPort, line, true);
}

void SessionLogWriter::SessionEnded(int nPort) {
    Append(nPort, "session ended", true);
    {
        std::lock_guard lock(mutex_);
        const auto it = open_.find(nPort);
        if (it != open_.end()) {
            it->second->ended = true;
            ending_.push_back(std::move(it->second));
            open_.erase(it);
        }
    }
    TellPending();
}

std::string SessionLogWriter::PathOf(int nPort) const {
    std::lock_guard lock(mutex_);
    const auto it = paths_.find(nPort);
    return it != paths_.end() ? it->second : std::string();
}

void SessionLogWriter::Append(int nPort, std::string_view what, bool flushNow) {
    const std::string clock = LocalClockTime(now_());
    const auto steadyNow = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex_);
        const auto it = open_.find(nPort);
        if (it == open_.end()) {
            return;
        }
        Log& log = *it->second;
        const auto sinceBegan = std::chrono::duration_cast<std::chrono::milliseconds>(steadyNow - log.began).count();
        char stamp[48];
        std::snprintf(stamp, sizeof stamp, "%s +%lld.%03llds ", clock.c_str(),
                      static_cast<long long>(sinceBegan / 1000), static_cast<long long>(sinceBegan % 1000));
        log.pending += stamp;
        log.pending += what;
        log.pending += '\n';
        if (!flushNow) {
            return;
        }
        flushNow_ = true;
    }
    wake_.notify_one();
}

void SessionLogWriter::WriteLoop() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        wake_.wait_for(lock, kFlushEvery, [this] { return flushNow_ || quit_; });
        flushNow_ = false;
        lock.unlock();
        WriteAll();
        lock.lock();
    }
    lock.unlock();
    WriteAll();
}

void SessionLogWriter::WriteAll() {
    struct Batch {
        std::shared_ptr<Log> log;
        std::string text;
        bool close;
    };
    std::vector<Batch> batches;
    {
        std::lock_guard lock(mutex_);
        for (auto& [port, log] : open_) {
            if (!log->pending.empty()) {
                batches.push_back({log, std::exchange(log->pending, {}), false});
            }
        }
        for (std::shared_ptr<Log>& log : ending_) {
            batches.push_back({log, std::exchange(log->pending, {}), true});
        }
        ending_.clear();
    }
    for (const Batch& batch : batches) {
        const bool written = std::fwrite(batch.text.data(), 1, batch.text.size(), batch.log->file) == batch.text.size() &&
                             std::fflush(batch.log->file) == 0;
        const bool closed = !batch.close || std::fclose(batch.log->file) == 0;
        if (!written || !closed) {
            std::lock_guard lock(mutex_);
            if (!warned_ && writeFailure_.empty()) {
                writeFailure_ = std::string("cannot write a log: ") + std::strerror(errno);
            }
        }
    }
}

void SessionLogWriter::Tell(const std::string& error) {
    {
        std::lock_guard lock(mutex_);
        if (std::exchange(warned_, true)) {
            return;
        }
    }
    if (warn_) {
        warn_("session logs cannot be written to " + folder_ + " (" + error + "); the terminals go on without them");
    }
}

void SessionLogWriter::TellPending() {
    std::string failure;
    {
        std::lock_guard lock(mutex_);
        failure = std::exchange(writeFailure_, {});
    }
    if (!failure.empty()) {
        Tell(failure);
    }
}

}  // namespace korvane
