#include "sim/image_server/image_server.h"

#include <chrono>

#include "sim/image_server/loopback_socket.h"
#include "sim/image_server/server_connection.h"

namespace korvane::sim {

namespace {

constexpr int kAcceptPollMs = 50;
constexpr int kRequestReadMs = 5000;
constexpr size_t kLongestRequestBody = 65536;

std::string ContentTypeOf(const std::string& path) {
    return path == kImageListPath ? "text/plain; charset=utf-8" : "application/octet-stream";
}

// Reads the request head, and the body it announces so that closing the connection
// afterwards does not reset it; nothing when the client gives up first.
std::optional<RequestHead> ReadRequest(ServerConnection& connection) {
    std::string received;
    char chunk[2048];
    size_t headEnd = std::string::npos;
    while ((headEnd = FindHeadEnd(received)) == std::string::npos) {
        const long n = received.size() < kLongestRequestHead ? connection.Read(chunk, sizeof chunk) : -1;
        if (n <= 0) {
            return std::nullopt;
        }
        received.append(chunk, static_cast<size_t>(n));
    }
    std::optional<RequestHead> request = ParseRequestHead(std::string_view(received).substr(0, headEnd));
    if (!request || request->contentLength > kLongestRequestBody) {
        return std::nullopt;
    }
    size_t bodyReceived = received.size() - headEnd;
    while (bodyReceived < request->contentLength) {
        const long n = connection.Read(chunk, sizeof chunk);
        if (n <= 0) {
            return std::nullopt;
        }
        bodyReceived += static_cast<size_t>(n);
    }
    return request;
}

}  // namespace

struct ImageServer::Worker {
    std::thread thread;
    std::atomic<bool> done{false};
};

ImageServer::ImageServer() = default;

ImageServer::~ImageServer() {
    Stop();
}

bool ImageServer::Start(uint16_t port, const PemIdentity* tls, std::string& error) {
    if (tls != nullptr) {
        tlsServer_ = std::make_unique<TlsServer>();
        if (!tlsServer_->Load(*tls, error)) {
            return false;
        }
    }
    listener_ = ListenLoopback(port, error);
    if (listener_ < 0) {
        return false;
    }
    tls_ = tls != nullptr;
    port_ = LocalPort(listener_);
    stopping_ = false;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void ImageServer::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (int socket : openSockets_) {
            ShutdownSocket(socket);
        }
    }
    stopSignal_.notify_all();
    if (acceptThread_.joinable()) {
        acceptThread_.join();
    }
    for (auto& worker : workers_) {
        worker->thread.join();
    }
    workers_.clear();
    if (listener_ >= 0) {
        CloseSocket(listener_);
        listener_ = -1;
    }
}

std::string ImageServer::BaseUrl() const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

void ImageServer::Serve(const std::string& path, std::string body, ServeFault fault) {
    std::lock_guard lock(mutex_);
    routes_[path] = Route{std::move(body), fault};
}

void ImageServer::SetFault(const std::string& path, ServeFault fault) {
    std::lock_guard lock(mutex_);
    routes_[path].fault = fault;
}

void ImageServer::PublishImages(const std::string& mainImage, const std::string& secondImage,
                                const std::string& listAnswer) {
    Serve(kMainImagePath, mainImage);
    Serve(kSecondImagePath, secondImage);
    Serve(kImageListPath,
          listAnswer.empty() ? BaseUrl() + kMainImagePath + "," + BaseUrl() + kSecondImagePath : listAnswer);
}

void ImageServer::SetSlowAnswerMs(int delayMs) {
    std::lock_guard lock(mutex_);
    slowAnswerMs_ = delayMs;
}

std::vector<RequestHead> ImageServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

int ImageServer::ConnectionCount() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

void ImageServer::AcceptLoop() {
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                return;
            }
        }
        ReapFinishedWorkers();
        const int socket = AcceptWithin(listener_, kAcceptPollMs);
        if (socket < 0) {
            continue;
        }
        {
            std::lock_guard lock(mutex_);
            ++connections_;
            if (stopping_) {
                CloseSocket(socket);
                return;
            }
            openSockets_.insert(socket);
        }
        auto worker = std::make_unique<Worker>();
        Worker* self = worker.get();
        worker->thread = std::thread([this, socket, self] {
            BlockBrokenPipeSignal();
            Answer(socket);
            {
                std::lock_guard lock(mutex_);
                openSockets_.erase(socket);
            }
            CloseSocket(socket);
            self->done = true;
        });
        workers_.push_back(std::move(worker));
    }
}

void ImageServer::ReapFinishedWorkers() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if ((*it)->done) {
            (*it)->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

bool ImageServer::WaitSlowAnswer() {
    std::unique_lock lock(mutex_);
    const auto delay = std::chrono::milliseconds(slowAnswerMs_);
    return !stopSignal_.wait_for(lock, delay, [this] { return stopping_; });
}

void ImageServer::Answer(int socket) {
    SetReadTimeout(socket, kRequestReadMs);
    std::unique_ptr<ServerConnection> connection = tls_ ? tlsServer_->Accept(socket) : PlainConnection(socket);
    if (!connection) {
        return;
    }
    const std::optional<RequestHead> request = ReadRequest(*connection);
    if (!request) {
        connection->Write(BuildResponseHead(400, "text/plain", 0));
        connection->Finish();
        return;
    }
    Route route{"", ServeFault::kNotFound};
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(*request);
        if (const auto found = routes_.find(request->path); found != routes_.end()) {
            route = found->second;
        }
    }
    const std::string type = ContentTypeOf(request->path);
    switch (route.fault) {
    case ServeFault::kDropConnection:
        return;
    case ServeFault::kNotFound:
        connection->Write(BuildResponseHead(404, "text/plain", 9) + "Not Found");
        break;
    case ServeFault::kNoContentLength:
        connection->Write(BuildResponseHead(200, type, std::nullopt) + route.body);
        break;
    case ServeFault::kShortBody:
        connection->Write(BuildResponseHead(200, type, route.body.size()) + route.body.substr(0, route.body.size() / 2));
        return;
    case ServeFault::kRedirect:
        connection->Write(BuildRedirectHead(route.body));
        break;
    case ServeFault::kSlowAnswer:
        if (!WaitSlowAnswer()) {
            return;
        }
        [[fallthrough]];
    case ServeFault::kNone:
        connection->Write(BuildResponseHead(200, type, route.body.size()) + route.body);
        break;
    }
    connection->Finish();
}

}  // namespace korvane::sim
