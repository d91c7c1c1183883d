// The loopback image server for the image tests: plain or HTTPS, with a test certificate
// authority that the HTTP code trusts through KORVANE_CA_FILE while the rig lives.
#pragma once

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/image_server/image_server.h"
#include "sim/image_server/test_pki.h"
#include "tests/fixtures/temp_dir.h"

namespace korvane::testing {

// Loopback traffic must not go through a proxy of the machine running the tests.
inline void ClearProxySettings() {
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        unsetenv(name);
    }
}

// A certificate authority whose certificate is the extra trusted CA file while it lives.
class TrustedTestAuthority {
public:
    TrustedTestAuthority() {
        std::string error;
        if (!sim::MakeAuthority("Korvane test CA", authority_, error)) {
            throw std::runtime_error(error);
        }
        std::ofstream(dir_.File("ca.pem")) << authority_.certificate;
        setenv("KORVANE_CA_FILE", dir_.File("ca.pem").c_str(), 1);
    }
    ~TrustedTestAuthority() { unsetenv("KORVANE_CA_FILE"); }
    TrustedTestAuthority(const TrustedTestAuthority&) = delete;
    TrustedTestAuthority& operator=(const TrustedTestAuthority&) = delete;

    sim::PemIdentity Issue(const std::vector<std::string>& altNames) const {
        sim::PemIdentity server;
        std::string error;
        if (!sim::IssueServerCertificate(authority_, altNames, server, error)) {
            throw std::runtime_error(error);
        }
        return server;
    }

private:
    TempDir dir_;
    sim::PemIdentity authority_;
};

// A started server; HTTPS when an identity is given.
class ImageServerRig {
public:
    explicit ImageServerRig(const sim::PemIdentity* tls = nullptr) {
        ClearProxySettings();
        std::string error;
        if (!server.Start(0, tls, error)) {
            throw std::runtime_error(error);
        }
    }
    std::string Url(const std::string& path) const { return server.BaseUrl() + path; }

    sim::ImageServer server;
};

}  // namespace korvane::testing
