#include "sim/image_server/server_connection.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include "sim/image_server/loopback_socket.h"

namespace korvane::sim {

namespace {

class Plain final : public ServerConnection {
public:
    explicit Plain(int socket) : socket_(socket) {}
    long Read(char* buffer, size_t capacity) override { return ReadSome(socket_, buffer, capacity); }
    bool Write(std::string_view data) override { return WriteAll(socket_, data.data(), data.size()); }
    void Finish() override {}

private:
    int socket_;
};

class Tls final : public ServerConnection {
public:
    explicit Tls(SSL* ssl) : ssl_(ssl) {}
    ~Tls() override { SSL_free(ssl_); }
    Tls(const Tls&) = delete;
    Tls& operator=(const Tls&) = delete;

    long Read(char* buffer, size_t capacity) override {
        size_t got = 0;
        if (SSL_read_ex(ssl_, buffer, capacity, &got) == 1) {
            return static_cast<long>(got);
        }
        return SSL_get_error(ssl_, 0) == SSL_ERROR_ZERO_RETURN ? 0 : -1;
    }
    bool Write(std::string_view data) override {
        size_t written = 0;
        return data.empty() || SSL_write_ex(ssl_, data.data(), data.size(), &written) == 1;
    }
    void Finish() override { SSL_shutdown(ssl_); }

private:
    SSL* ssl_;
};

}  // namespace

std::unique_ptr<ServerConnection> PlainConnection(int socket) {
    return std::make_unique<Plain>(socket);
}

struct TlsServer::Context {
    SSL_CTX* ctx = nullptr;
    ~Context() { SSL_CTX_free(ctx); }
};

TlsServer::TlsServer() : context_(std::make_unique<Context>()) {}

TlsServer::~TlsServer() = default;

bool TlsServer::Load(const PemIdentity& identity, std::string& error) {
    context_->ctx = SSL_CTX_new(TLS_server_method());
    BIO* certBio = BIO_new_mem_buf(identity.certificate.data(), static_cast<int>(identity.certificate.size()));
    BIO* keyBio = BIO_new_mem_buf(identity.privateKey.data(), static_cast<int>(identity.privateKey.size()));
    X509* cert = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    const bool ok = context_->ctx != nullptr && cert != nullptr && key != nullptr &&
                    SSL_CTX_use_certificate(context_->ctx, cert) == 1 &&
                    SSL_CTX_use_PrivateKey(context_->ctx, key) == 1;
    X509_free(cert);
    EVP_PKEY_free(key);
    BIO_free(certBio);
    BIO_free(keyBio);
    if (!ok) {
        error = "the TLS certificate or key cannot be used";
    }
    return ok;
}

std::unique_ptr<ServerConnection> TlsServer::Accept(int socket) {
    SSL* ssl = SSL_new(context_->ctx);
    if (ssl == nullptr) {
        return nullptr;
    }
    SSL_set_fd(ssl, socket);
    if (SSL_accept(ssl) != 1) {
        ERR_clear_error();
        SSL_free(ssl);
        return nullptr;
    }
    return std::make_unique<Tls>(ssl);
}

}  // namespace korvane::sim
