// What every transfer of this folder shares: libcurl set-up, the accepted URL schemes and
// the trust store for HTTPS.
// Thread safety: every call may run on any thread.
#pragma once

#include <string_view>

#include <curl/curl.h>

namespace korvane {

// Environment variable naming an extra PEM file of trusted CA certificates, added to the
// system's trust store (used by the tests' local certificate authority).
inline constexpr char kExtraCaFileVariable[] = "KORVANE_CA_FILE";

// True for http:// and https:// URLs (scheme letters in any case).
bool IsHttpUrl(std::string_view url);

// A new easy handle with the process-wide libcurl initialisation done once, limited to
// http and https (also across redirects), without signals; null when libcurl fails.
CURL* NewTransfer();

// Certificates are always checked against the trust store; checkHostName false accepts a
// certificate issued for another name.
void TrustServers(CURL* transfer, bool checkHostName);

}  // namespace korvane
