// One accepted connection of the loopback image server, plain or TLS.
// Thread safety: a connection is used by one thread; a TlsServer may accept on many
// threads at once.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "sim/image_server/test_pki.h"

namespace korvane::sim {

class ServerConnection {
public:
    virtual ~ServerConnection() = default;
    // Bytes read, 0 at the end of the stream, -1 on an error or a time-out.
    virtual long Read(char* buffer, size_t capacity) = 0;
    virtual bool Write(std::string_view data) = 0;
    // Ends the connection in order (TLS: close_notify); the socket stays the caller's.
    virtual void Finish() = 0;
};

std::unique_ptr<ServerConnection> PlainConnection(int socket);

// The server side of TLS with one certificate and key.
class TlsServer {
public:
    TlsServer();
    ~TlsServer();
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;

    bool Load(const PemIdentity& identity, std::string& error);
    // The connection after a completed handshake, or null when the client gave up.
    std::unique_ptr<ServerConnection> Accept(int socket);

private:
    struct Context;
    std::unique_ptr<Context> context_;
};

}  // namespace korvane::sim
