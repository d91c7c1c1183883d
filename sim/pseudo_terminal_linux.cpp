#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "sim/pseudo_terminal.h"

namespace korvane::sim {

struct PseudoTerminal::Impl {
    int master = -1;
    int slave = -1;
    int wake = -1;
    std::string slave_path;

    ~Impl() {
        CloseDevice();
        if (wake >= 0) {
            ::close(wake);
        }
    }

    void CloseDevice() {
        if (slave >= 0) {
            ::close(slave);
            slave = -1;
        }
        if (master >= 0) {
            ::close(master);
            master = -1;
        }
    }
};

namespace {

std::string Failure(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

bool MakeRaw(int fd, std::string& error) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        error = Failure("tcgetattr");
        return false;
    }
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B115200);
    ::cfsetospeed(&settings, B115200);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        error = Failure("tcsetattr");
        return false;
    }
    return true;
}

}  // namespace

PseudoTerminal::PseudoTerminal(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PseudoTerminal::~PseudoTerminal() = default;

std::unique_ptr<PseudoTerminal> PseudoTerminal::Open(std::string& error) {
    auto impl = std::make_unique<Impl>();
    impl->master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (impl->master < 0) {
        error = Failure("posix_openpt");
        return nullptr;
    }
    char name[PATH_MAX] = {};
    if (::grantpt(impl->master) != 0 || ::unlockpt(impl->master) != 0 ||
        ::ptsname_r(impl->master, name, sizeof name) != 0) {
        error = Failure("pseudo-terminal slave");
        return nullptr;
    }
    impl->slave_path = name;
    // Holding the slave open keeps the master from reporting a hang-up while the
    // tool has not opened the port yet or has closed it between sessions.
    impl->slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (impl->slave < 0) {
        error = Failure("open slave");
        return nullptr;
    }
    if (!MakeRaw(impl->slave, error)) {
        return nullptr;
    }
    impl->wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (impl->wake < 0) {
        error = Failure("eventfd");
        return nullptr;
    }
    return std::unique_ptr<PseudoTerminal>(new PseudoTerminal(std::move(impl)));
}

const std::string& PseudoTerminal::SlavePath() const { return impl_->slave_path; }

PseudoTerminal::Readiness PseudoTerminal::Wait(bool want_output_room, std::chrono::nanoseconds timeout) {
    Readiness ready;
    pollfd fds[2] = {{impl_->wake, POLLIN, 0}, {impl_->master, static_cast<short>(POLLIN | (want_output_room ? POLLOUT : 0)), 0}};
    const nfds_t count = impl_->master >= 0 ? 2 : 1;
    timespec wait{};
    timespec* wait_for = nullptr;
    if (timeout.count() >= 0) {
        wait.tv_sec = static_cast<time_t>(timeout.count() / 1'000'000'000);
        wait.tv_nsec = static_cast<long>(timeout.count() % 1'000'000'000);
        wait_for = &wait;
    }
    const int result = ::ppoll(fds, count, wait_for, nullptr);
    if (result < 0) {
        ready.failed = errno != EINTR;
        return ready;
    }
    if ((fds[0].revents & POLLIN) != 0) {
        uint64_t drained = 0;
        while (::read(impl_->wake, &drained, sizeof drained) > 0) {
        }
        ready.woken = true;
    }
    if (count == 2) {
        ready.input = (fds[1].revents & POLLIN) != 0;
        ready.output_room = (fds[1].revents & POLLOUT) != 0;
        ready.failed = (fds[1].revents & (POLLERR | POLLNVAL)) != 0;
    }
    return ready;
}

long PseudoTerminal::Read(uint8_t* buffer, size_t capacity) {
    const ssize_t got = ::read(impl_->master, buffer, capacity);
    if (got < 0) {
        return errno == EAGAIN || errno == EINTR ? 0 : -1;
    }
    return static_cast<long>(got);
}

long PseudoTerminal::Write(const uint8_t* data, size_t length) {
    const ssize_t put = ::write(impl_->master, data, length);
    if (put < 0) {
        return errno == EAGAIN || errno == EINTR ? 0 : -1;
    }
    return static_cast<long>(put);
}

void PseudoTerminal::Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t put = ::write(impl_->wake, &one, sizeof one);
}

void PseudoTerminal::Close() { impl_->CloseDevice(); }

}  // namespace korvane::sim
