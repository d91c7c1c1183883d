#include "sim/image_server/loopback_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvane::sim {

int ListenLoopback(uint16_t port, std::string& error) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 16) != 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        close(listener);
        return -1;
    }
    return listener;
}

uint16_t LocalPort(int socket) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

int AcceptWithin(int listener, int waitMs) {
    pollfd entry{listener, POLLIN, 0};
    if (poll(&entry, 1, waitMs) <= 0) {
        return -1;
    }
    return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

void SetReadTimeout(int socket, int waitMs) {
    timeval limit{};
    limit.tv_sec = waitMs / 1000;
    limit.tv_usec = (waitMs % 1000) * 1000;
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

long ReadSome(int socket, char* buffer, size_t capacity) {
    for (;;) {
        const ssize_t n = recv(socket, buffer, capacity, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n;
    }
}

bool WriteAll(int socket, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = send(socket, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void BlockBrokenPipeSignal() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void ShutdownSocket(int socket) {
    shutdown(socket, SHUT_RDWR);
}

void CloseSocket(int socket) {
    close(socket);
}

}  // namespace korvane::sim
