// Certificates for the loopback image server, made at run time: a certificate authority
// and the server certificates it issues, or a self-signed certificate nobody trusts.
// EC P-256 keys, SHA-256 signatures, valid from a day ago for thirty days.
// Thread safety: no shared state; calls may run at once.
#pragma once

#include <string>
#include <vector>

namespace korvane::sim {

// A certificate and its private key, both PEM.
struct PemIdentity {
    std::string certificate;
    std::string privateKey;
};

// altNames are subject alternative names in OpenSSL form: "IP:127.0.0.1", "DNS:host.test".
bool MakeAuthority(const std::string& commonName, PemIdentity& authority, std::string& error);
bool IssueServerCertificate(const PemIdentity& authority, const std::vector<std::string>& altNames,
                            PemIdentity& server, std::string& error);
bool MakeSelfSigned(const std::vector<std::string>& altNames, PemIdentity& server, std::string& error);

}  // namespace korvane::sim
