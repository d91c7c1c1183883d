// The tool's end of a simulated port, for tests, benchmarks and manual probes that talk
// to a simulated terminal without the tool: opens the device raw and reads with deadlines.
// Thread safety: one HostPort is used by one thread at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvane::sim {

class HostPort {
public:
    HostPort() = default;
    ~HostPort();
    HostPort(const HostPort&) = delete;
    HostPort& operator=(const HostPort&) = delete;

    // Opens the device (or a link to it) in raw mode. False with a message on failure.
    bool Open(const std::string& path, std::string& error);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Writes all bytes; false when the device fails or stays full past the timeout.
    bool Write(std::span<const uint8_t> bytes, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Reads until a whole frame (opening to closing flag) has arrived, skipping bytes before
    // the opening flag; the frame with both flags, or empty on time-out or failure.
    std::vector<uint8_t> ReadFrame(std::chrono::milliseconds timeout);
    // Reads whatever arrives until the timeout passes or count bytes have come.
    std::vector<uint8_t> ReadBytes(size_t count, std::chrono::milliseconds timeout);
    // True when the device reports that it went away (the terminal was unplugged).
    bool Gone(std::chrono::milliseconds timeout);

private:
    // One poll and read; bytes appended, -1 when the device failed or hung up.
    int ReadSome(std::vector<uint8_t>& into, std::chrono::milliseconds wait);

    int fd_ = -1;
};

}  // namespace korvane::sim
