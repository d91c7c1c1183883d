#include "images/curl_session.h"

#include <cctype>
#include <mutex>
#include <optional>
#include <string>

#include "images/system_proxy.h"
#include "platform/environment.h"
#include "platform/trace.h"

namespace korvane {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) {
            return false;
        }
    }
    return true;
}

// The system's proxy when no proxy variable says otherwise (libcurl reads those itself).
void UseSystemProxy(CURL* transfer, std::string_view url) {
    if (ProxyVariablesSet()) {
        return;
    }
    const std::optional<SystemProxyText> text = ReadSystemProxy();
    if (!text) {
        return;
    }
    const std::optional<ProxyChoice> choice = ChooseProxy(StartsWithNoCase(url, "https://") ? "https" : "http", *text);
    if (!choice) {
        return;
    }
    curl_easy_setopt(transfer, CURLOPT_PROXY, choice->proxy.c_str());
    if (!choice->no_proxy.empty()) {
        curl_easy_setopt(transfer, CURLOPT_NOPROXY, choice->no_proxy.c_str());
    }
}

}  // namespace

bool IsHttpUrl(std::string_view url) {
    return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
}

CURL* NewTransfer(std::string_view url) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* transfer = curl_easy_init();
    if (transfer == nullptr) {
        return nullptr;
    }
    curl_easy_setopt(transfer, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(transfer, CURLOPT_REDIR_PROTOCOLS_STR, StartsWithNoCase(url, "https://") ? "https" : "http,https");
    curl_easy_setopt(transfer, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(transfer, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(transfer, CURLOPT_NOSIGNAL, 1L);
    UseSystemProxy(transfer, url);
    return transfer;
}

void TraceTransferFailure(const char* what, CURL* transfer, CURLcode code, const TransferErrorText& error) {
    if (!TraceEnabled()) {
        return;
    }
    long status = 0;
    curl_easy_getinfo(transfer, CURLINFO_RESPONSE_CODE, &status);
    const char* text = error.text[0] != '\0' ? error.text : curl_easy_strerror(code);
    TraceFormat("%s failed: curl %d (%s), HTTP status %ld", what, static_cast<int>(code), text, status);
}

void TrustServers(CURL* transfer, bool checkHostName) {
    curl_easy_setopt(transfer, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(transfer, CURLOPT_SSL_VERIFYHOST, checkHostName ? 2L : 0L);
    // Where revocation cannot be checked (an offline factory network cannot reach the lists)
    // the certificate is still accepted; a certificate the check finds revoked is not. Only
    // the Windows TLS backend checks revocation by default; the others ignore the option.
    curl_easy_setopt(transfer, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
    const std::string extra = EnvironmentOrEmpty(kExtraCaFileVariable);
    if (extra.empty()) {
        return;
    }
    // CAINFO replaces libcurl's default bundle; keeping the default CA directory keeps the
    // system's authorities trusted beside the extra file.
    char* defaultPath = nullptr;
    if (curl_easy_getinfo(transfer, CURLINFO_CAPATH, &defaultPath) == CURLE_OK && defaultPath != nullptr) {
        curl_easy_setopt(transfer, CURLOPT_CAPATH, defaultPath);
    }
    curl_easy_setopt(transfer, CURLOPT_CAINFO, extra.c_str());
}

}  // namespace korvane
