#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sim/host_port.h"
#include "sim/wire.h"

namespace korvane::sim {
namespace {
using SteadyClock = std::chrono::steady_clock;

std::chrono::milliseconds Left(SteadyClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return std::max(left, std::chrono::milliseconds(0));
}
}  // namespace

HostPort::~HostPort() { Close(); }

bool HostPort::Open(const std::string& path, std::string& error) {
    Close();
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error = "open " + path + ": " + std::strerror(errno);
        return false;
    }
    termios settings{};
    if (::tcgetattr(fd_, &settings) != 0) {
        error = "tcgetattr " + path + ": " + std::strerror(errno);
        Close();
        return false;
    }
    ::cfmakeraw(&settings);
    ::tcsetattr(fd_, TCSANOW, &settings);
    return true;
}

void HostPort::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool HostPort::Write(std::span<const uint8_t> bytes, std::chrono::milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += static_cast<size_t>(put);
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        pollfd room{fd_, POLLOUT, 0};
        if (SteadyClock::now() >= deadline || ::poll(&room, 1, static_cast<int>(Left(deadline).count())) < 0) {
            return false;
        }
    }
    return true;
}

int HostPort::ReadSome(std::vector<uint8_t>& into, std::chrono::milliseconds wait) {
    pollfd input{fd_, POLLIN, 0};
    const int ready = ::poll(&input, 1, static_cast<int>(wait.count()));
    if (ready <= 0) {
        return ready < 0 && errno != EINTR ? -1 : 0;
    }
    uint8_t buffer[4096];
    const ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got < 0) {
        return errno == EAGAIN || errno == EINTR ? 0 : -1;
    }
    if (got == 0) {
        return (input.revents & POLLHUP) != 0 ? -1 : 0;
    }
    into.insert(into.end(), buffer, buffer + got);
    return static_cast<int>(got);
}

std::vector<uint8_t> HostPort::ReadFrame(std::chrono::milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    std::vector<uint8_t> pending;
    std::vector<uint8_t> frame;
    while (true) {
        for (uint8_t byte : pending) {
            if (frame.empty() && byte != kWireFlag) {
                continue;  // noise before the opening flag
            }
            if (byte == kWireFlag && frame.size() == 1) {
                continue;  // adjacent flags: the second one opens the frame
            }
            frame.push_back(byte);
            if (byte == kWireFlag && frame.size() > 1) {
                return frame;
            }
        }
        pending.clear();
        if (Left(deadline).count() == 0 || ReadSome(pending, Left(deadline)) < 0) {
            return {};
        }
    }
}

std::vector<uint8_t> HostPort::ReadBytes(size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    std::vector<uint8_t> bytes;
    while (bytes.size() < count && Left(deadline).count() > 0) {
        if (ReadSome(bytes, Left(deadline)) < 0) {
            break;
        }
    }
    return bytes;
}

bool HostPort::Gone(std::chrono::milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    std::vector<uint8_t> ignored;
    do {
        if (ReadSome(ignored, Left(deadline)) < 0) {
            return true;
        }
        ignored.clear();
    } while (Left(deadline).count() > 0);
    return false;
}

}  // namespace korvane::sim
