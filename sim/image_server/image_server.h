// A loopback HTTP(S) server that publishes the image list and the sealed images, with
// faults on command. It binds 127.0.0.1 only.
// Thread safety: every call may run on any thread while the server serves; each
// connection is answered on a thread of its own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "sim/image_server/http_wire.h"
#include "sim/image_server/test_pki.h"

namespace korvane::sim {

// How a path is answered.
enum class ServeFault {
    kNone,             // 200 with Content-Length and the body
    kNotFound,         // 404
    kNoContentLength,  // 200 and the body, ended by closing the connection
    kDropConnection,   // the request is read, then the connection closed without a word
    kSlowAnswer,       // the answer comes after the slow-answer delay
    kShortBody,        // Content-Length of the whole body, half of it sent, then closed
    kRedirect,         // 302 to the address held as the body
};

// The path of the image list and of the two images, as the program and the demo use them.
inline constexpr char kImageListPath[] = "/images";
inline constexpr char kMainImagePath[] = "/MainApp.bin";
inline constexpr char kSecondImagePath[] = "/SecondApp.bin";

class TlsServer;

class ImageServer {
public:
    ImageServer();
    ~ImageServer();
    ImageServer(const ImageServer&) = delete;
    ImageServer& operator=(const ImageServer&) = delete;

    // Serves on 127.0.0.1:port (0: a free port the system picks), HTTPS when tls is given.
    bool Start(uint16_t port, const PemIdentity* tls, std::string& error);
    // Ends every connection and waits for the server's threads.
    void Stop();

    uint16_t Port() const { return port_; }
    // "http://127.0.0.1:PORT" or "https://...", no trailing slash.
    std::string BaseUrl() const;

    // The answer for a path (no query), replacing any earlier one; unknown paths get 404.
    void Serve(const std::string& path, std::string body, ServeFault fault = ServeFault::kNone);
    void SetFault(const std::string& path, ServeFault fault);
    // Publishes the image list (the URLs of the given images joined by a comma, or the
    // text given as listAnswer when not empty) and the images themselves.
    void PublishImages(const std::string& mainImage, const std::string& secondImage, const std::string& listAnswer = {});
    void SetSlowAnswerMs(int delayMs);

    // Every request received, in order; and how many connections were accepted.
    std::vector<RequestHead> Requests() const;
    int ConnectionCount() const;

private:
    struct Route {
        std::string body;
        ServeFault fault = ServeFault::kNone;
    };
    struct Worker;

    void AcceptLoop();
    void Answer(int socket);
    bool WaitSlowAnswer();
    void ReapFinishedWorkers();

    int listener_ = -1;
    uint16_t port_ = 0;
    bool tls_ = false;
    std::unique_ptr<TlsServer> tlsServer_;
    std::thread acceptThread_;
    std::list<std::unique_ptr<Worker>> workers_;  // touched by the accept thread and Stop

    mutable std::mutex mutex_;
    std::condition_variable stopSignal_;
    bool stopping_ = false;
    std::map<std::string, Route> routes_;
    std::vector<RequestHead> requests_;
    std::set<int> openSockets_;
    int connections_ = 0;
    int slowAnswerMs_ = 5000;
};

}  // namespace korvane::sim
