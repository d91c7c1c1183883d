#include "images/http_client.h"

#include <utility>

#include "images/curl_session.h"
#include "images/response_pieces.h"

namespace korvane {

namespace {

constexpr char kUserAgent[] = "KorvaneAppDownload";
// The third header of the set ("Content-Type:multipart/form-data;") would only be added
// when no Content-Type is present yet, so the request carries these two.
constexpr const char* kRequestHeaders[] = {"Accept:application/json;", "Content-Type:application/json;charset=utf-8;"};

struct Body {
    ResponsePieces pieces;
    size_t received = 0;
};

size_t CollectBody(char* data, size_t size, size_t count, void* context) {
    auto& body = *static_cast<Body*>(context);
    const size_t n = size * count;
    if (n > kMaxResponseBytes - body.received) {
        return CURL_WRITEFUNC_ERROR;
    }
    body.received += n;
    body.pieces.Append(data, n);
    return n;
}

int ResultOf(CURLcode code) {
    switch (code) {
    case CURLE_OK:
        return 0;
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
        // Reached the server but no answer came back: a request made, with nothing in it.
        return 0;
    case CURLE_OPERATION_TIMEDOUT:
        return 2;
    default:
        return 1;
    }
}

}  // namespace

// One easy handle and its header list, freed together.
struct CHttpClient::Transfer {
    CURL* handle = nullptr;
    curl_slist* headers = nullptr;
    Body body;
    TransferErrorText error;

    Transfer() = default;
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    ~Transfer() {
        if (handle != nullptr) {
            curl_easy_cleanup(handle);
        }
        curl_slist_free_all(headers);
    }
};

CHttpClient::CHttpClient() = default;

CHttpClient::CHttpClient(HttpTimeouts timeouts) : timeouts_(timeouts) {}

CHttpClient::~CHttpClient() = default;

void CHttpClient::Clear() {
    pFile.reset();
}

int CHttpClient::Request(const std::string& url, std::string body, std::string& response) {
    response.clear();
    if (!IsHttpUrl(url)) {
        return 1;
    }
    pFile = std::make_unique<Transfer>();
    CURL* handle = NewTransfer(url);
    if (handle == nullptr) {
        Clear();
        return 1;
    }
    pFile->handle = handle;
    for (const char* header : kRequestHeaders) {
        pFile->headers = curl_slist_append(pFile->headers, header);
    }
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, pFile->headers);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, timeouts_.connectMs);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, timeouts_.totalMs);
    curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, static_cast<long>(ResponsePieces::kPieceSize));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, CollectBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &pFile->body);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, pFile->error.text);
    TrustServers(handle, false);
    if (!body.empty()) {
        // Still a GET; the body rides along as optional data.
        curl_easy_setopt(handle, CURLOPT_CUSTOMREQUEST, "GET");
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(handle, CURLOPT_COPYPOSTFIELDS, body.c_str());
    }
    const CURLcode code = curl_easy_perform(handle);
    const int result = ResultOf(code);
    if (code == CURLE_OK) {
        response = pFile->body.pieces.Finish();
    } else {
        TraceTransferFailure("Request", handle, code, pFile->error);
    }
    Clear();
    return result;
}

}  // namespace korvane
