#include <algorithm>
#include <cstring>
#include <vector>

#include "images/curl_session.h"
#include "images/server_images.h"
#include "platform/trace.h"

namespace korvane {

namespace {

constexpr char kUserAgent[] = "lpload";
// Connecting, and every stretch of the transfer without data, may take this long.
constexpr long kStallLimitMs = 2000;
// A bound on the whole download, so that a server trickling bytes cannot hold start-up.
constexpr long kTotalLimitMs = 120000;
constexpr long kReadPiece = 2048;
constexpr const char* kNoCacheHeaders[] = {"Cache-Control: no-cache", "Pragma: no-cache"};

// The answer as it arrives; refused as soon as its status or length rules it out, so an
// oversized file is never held in memory.
struct Download {
    CURL* handle = nullptr;
    int32_t capacity = 0;
    curl_off_t expected = -1;
    std::vector<uint8_t> data;

    long Status() const {
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        return status;
    }
    bool AnswerAcceptable() {
        curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
        return Status() == 200 && expected > 0 && expected <= capacity;
    }
};

size_t CollectImage(char* bytes, size_t size, size_t count, void* context) {
    auto& download = *static_cast<Download*>(context);
    const size_t n = size * count;
    if (download.data.empty()) {
        if (!download.AnswerAcceptable()) {
            return CURL_WRITEFUNC_ERROR;
        }
        download.data.reserve(static_cast<size_t>(download.expected));
    }
    if (download.data.size() + n > static_cast<size_t>(download.expected)) {
        return CURL_WRITEFUNC_ERROR;
    }
    download.data.insert(download.data.end(), bytes, bytes + n);
    return n;
}

class EasyHandle {
public:
    explicit EasyHandle(const std::string& url) : handle_(NewTransfer(url)) {}
    ~EasyHandle() {
        if (handle_ != nullptr) {
            curl_easy_cleanup(handle_);
        }
        curl_slist_free_all(headers_);
    }
    EasyHandle(const EasyHandle&) = delete;
    EasyHandle& operator=(const EasyHandle&) = delete;

    CURL* Get() const { return handle_; }
    void AddHeader(const char* header) { headers_ = curl_slist_append(headers_, header); }
    curl_slist* Headers() const { return headers_; }

private:
    CURL* handle_;
    curl_slist* headers_ = nullptr;
};

}  // namespace

int FetchImage(const std::string& url, uint8_t* dest, int32_t& length) {
    if (dest == nullptr || length <= 0 || !IsHttpUrl(url)) {
        return 0;
    }
    EasyHandle transfer(url);
    CURL* handle = transfer.Get();
    if (handle == nullptr) {
        return 0;
    }
    for (const char* header : kNoCacheHeaders) {
        transfer.AddHeader(header);
    }
    Download download;
    download.handle = handle;
    download.capacity = length;
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, transfer.Headers());
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, kStallLimitMs);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kStallLimitMs / 1000);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, kTotalLimitMs);
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kReadPiece);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, CollectImage);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &download);
    // The download requires a Content-Length, which answers over HTTP/2 often leave out.
    curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    TransferErrorText error;
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error.text);
    TrustServers(handle, true);
    if (const CURLcode code = curl_easy_perform(handle); code != CURLE_OK) {
        TraceTransferFailure("Image download", handle, code, error);
        return 0;
    }
    // An empty body never reaches CollectImage: judge the answer here as well.
    if (!download.AnswerAcceptable() || download.data.size() != static_cast<size_t>(download.expected)) {
        KTRACE("Image download refused: HTTP status %ld, Content-Length %lld, %zu bytes received", download.Status(),
               static_cast<long long>(download.expected), download.data.size());
        return 0;
    }
    std::memcpy(dest, download.data.data(), download.data.size());
    length = static_cast<int32_t>(download.data.size());
    return 1;
}

}  // namespace korvane
