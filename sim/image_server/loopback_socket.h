// TCP sockets of the loopback image server: a listener bound to 127.0.0.1 and the
// accepted connections, as plain descriptors.
// Thread safety: ShutdownSocket may be called on a socket that another thread is reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvane::sim {

// A listening socket on 127.0.0.1:port (0: the system picks a free port), or -1 with the
// reason in error.
int ListenLoopback(uint16_t port, std::string& error);
uint16_t LocalPort(int socket);
// An accepted connection, or -1 when none arrived within waitMs.
int AcceptWithin(int listener, int waitMs);
// Gives up a read after waitMs without data.
void SetReadTimeout(int socket, int waitMs);
// Bytes read, 0 at the end of the stream, -1 on an error or a time-out.
long ReadSome(int socket, char* buffer, size_t capacity);
bool WriteAll(int socket, const char* data, size_t size);
// Writes to a connection the peer closed fail instead of raising SIGPIPE on the calling
// thread (TLS writes go through the library's own write calls).
void BlockBrokenPipeSignal();
// Ends both directions; a read blocked on the socket returns.
void ShutdownSocket(int socket);
void CloseSocket(int socket);

}  // namespace korvane::sim
