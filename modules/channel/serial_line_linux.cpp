#include "modules/channel/serial_line.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace korvane {
namespace {

using Steady = std::chrono::steady_clock;

speed_t SpeedFor(uint32_t baud) {
    switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return B0;
    }
}

// Milliseconds left until the deadline, as poll takes them; 0 once it has passed.
int MsLeft(Steady::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
    if (left <= 0) {
        return 0;
    }
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

// Waits for the events; >0 ready, 0 timed out, -errno on failure, -EIO when the device hung up
// or reports an error.
int WaitFor(int fd, short events, int timeout_ms) {
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, timeout_ms);
    if (ready < 0) {
        return -errno;
    }
    if (ready == 0) {
        return 0;
    }
    if ((entry.revents & events) != 0) {
        return 1;
    }
    return (entry.revents & POLLNVAL) != 0 ? -EBADF : -EIO;  // POLLHUP or POLLERR: the device is gone
}

}  // namespace

SerialLine::~SerialLine() { Close(); }

int32_t SerialLine::Fail(int error) {
    last_error_ = error;
    return -1;
}

int SerialLine::Open(const std::string& device, uint32_t baud) {
    Close();
    const speed_t speed = SpeedFor(baud);
    if (speed == B0) {
        return last_error_ = EINVAL;
    }
    // Non-blocking so that no call can stall a session; the port never becomes our terminal.
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return last_error_ = errno;
    }
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        const int error = errno;
        ::close(fd);
        return last_error_ = error;
    }
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    // With O_NONBLOCK, VMIN 1 makes an empty read fail with EAGAIN, so a read of 0 bytes
    // only ever means the device hung up (VMIN 0 would return 0 for "no data" as well).
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (::cfsetispeed(&settings, speed) != 0 || ::cfsetospeed(&settings, speed) != 0 ||
        ::tcsetattr(fd, TCSANOW, &settings) != 0) {
        const int error = errno;
        ::close(fd);
        return last_error_ = error;
    }
    handle_ = fd;
    cancelled_.store(false);
    last_error_ = 0;
    return 0;
}

void SerialLine::Close() {
    if (handle_ != -1) {
        ::close(Fd());
        handle_ = -1;
    }
}

int32_t SerialLine::Read(void* buffer, uint32_t capacity, uint32_t wait_ms) {
    if (handle_ == -1) {
        return Fail(EBADF);
    }
    if (buffer == nullptr) {
        return Fail(EINVAL);
    }
    if (capacity == 0) {
        return 0;
    }
    const size_t wanted = capacity > INT32_MAX ? INT32_MAX : capacity;
    const auto deadline = Steady::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
        if (cancelled_.load()) {
            return 0;  // torn down: the caller hears its stop at its next turn
        }
        const ssize_t got = ::read(Fd(), buffer, wanted);
        if (got > 0) {
            return static_cast<int32_t>(got);
        }
        if (got == 0) {
            return Fail(EIO);  // end of file on a terminal: it hung up
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            return Fail(errno);
        }
        const int left = MsLeft(deadline);
        if (left == 0) {
            return 0;
        }
        // In slices, so that a cancel from another thread is heard soon.
        const int ready = WaitFor(Fd(), POLLIN, std::min(left, kStopCheckMs));
        if (ready < 0 && ready != -EINTR) {
            return Fail(-ready);
        }
    }
}

int32_t SerialLine::Write(const void* data, uint32_t length, uint32_t timeout_ms, const KeepGoing& keep_going) {
    if (handle_ == -1) {
        return Fail(EBADF);
    }
    if ((data == nullptr && length > 0) || length > INT32_MAX) {
        return Fail(EINVAL);
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    const auto deadline = Steady::now() + std::chrono::milliseconds(timeout_ms);
    uint32_t sent = 0;
    while (sent < length) {
        if (cancelled_.load()) {
            return Fail(ECANCELED);
        }
        const ssize_t written = ::write(Fd(), bytes + sent, length - sent);
        if (written > 0) {
            sent += static_cast<uint32_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno != EAGAIN) {
            return Fail(errno);
        }
        // The device's buffer is full: wait for room, never past the time-out, and in
        // short slices when the caller may want to stop.
        const int left = MsLeft(deadline);
        if (left == 0) {
            return Fail(ETIMEDOUT);
        }
        if (keep_going && !keep_going()) {
            return Fail(ECANCELED);
        }
        const int ready = WaitFor(Fd(), POLLOUT, keep_going ? std::min(left, kStopCheckMs) : left);
        if (ready == 0 && MsLeft(deadline) == 0) {
            return Fail(ETIMEDOUT);
        }
        if (ready < 0 && ready != -EINTR) {
            return Fail(-ready);
        }
    }
    return static_cast<int32_t>(length);
}

void SerialLine::CancelPending() { cancelled_.store(true); }

int SerialLine::Purge() {
    if (handle_ == -1) {
        return last_error_ = EBADF;
    }
    return ::tcflush(Fd(), TCIFLUSH) == 0 ? 0 : (last_error_ = errno);
}

}  // namespace korvane
