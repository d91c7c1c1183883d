// One HTTP or HTTPS GET whose body comes back as text (UTF-8, as received), at most
// kMaxResponseBytes long.
// Thread safety: one client is used by one thread at a time; separate clients may run at once.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace korvane {

// A longer answer is refused (result 1): the client fetches short texts such as the
// image list, and a server must not fill memory with one.
inline constexpr size_t kMaxResponseBytes = 64 * 1024;

// Limits of one request, in milliseconds. Expiry of either is reported as result 2.
struct HttpTimeouts {
    long connectMs = 10000;
    long totalMs = 10000;
};

class CHttpClient {
public:
    CHttpClient();
    explicit CHttpClient(HttpTimeouts timeouts);
    virtual ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // 0 the request was made: response holds the body (empty when the request could not be
    // sent or nothing came back); 1 not http(s), or a failure other than a time-out;
    // 2 a time-out. On 1 and 2 the response is empty. The body is sent with the GET when
    // not empty.
    int Request(const std::string& url, std::string body, std::string& response);
    // Ends the request in progress, if any.
    void Clear();

private:
    struct Transfer;
    HttpTimeouts timeouts_;
    std::unique_ptr<Transfer> pFile;  // the request in progress
};

}  // namespace korvane
