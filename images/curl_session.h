// What every transfer of this folder shares: libcurl set-up, the accepted URL schemes and
// the trust store for HTTPS.
// Thread safety: every call may run on any thread.
#pragma once

#include <string_view>

#include <curl/curl.h>

namespace korvane {

// Environment variable naming a PEM file of trusted CA certificates (used by the tests' local
// certificate authority). On Linux it is added to the system's trust store; on Windows the
// TLS backend then trusts this file instead of the system's store.
inline constexpr char kExtraCaFileVariable[] = "KORVANE_CA_FILE";

// True for http:// and https:// URLs (scheme letters in any case).
bool IsHttpUrl(std::string_view url);

// A new easy handle for url with the process-wide libcurl initialisation done once,
// limited to http and https, without signals; null when libcurl fails. Redirects are
// followed, but an https address only to https: a redirect must not drop the encryption.
CURL* NewTransfer(std::string_view url);

// Holds libcurl's error text of a transfer (CURLOPT_ERRORBUFFER) for its trace line.
struct TransferErrorText {
    char text[CURL_ERROR_SIZE] = {};
};
// Writes a trace line for a failed transfer: what failed, libcurl's error text (or its
// generic text for the code) and the HTTP status received, if any.
void TraceTransferFailure(const char* what, CURL* transfer, CURLcode code, const TransferErrorText& error);

// Certificates are always checked against the trust store; checkHostName false accepts a
// certificate issued for another name.
void TrustServers(CURL* transfer, bool checkHostName);

}  // namespace korvane
