#include "crypto/seal.h"

#include <algorithm>

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/rsa.h>

#include "crypto/digest.h"
#include "platform/profile.h"

namespace korvane {

namespace {

// Non-zero random bytes for the padding.
bool FillNonZeroRandom(std::span<uint8_t> out) {
    mbedtls_entropy_context entropy;
    mbedtls_ctr_drbg_context drbg;
    mbedtls_entropy_init(&entropy);
    mbedtls_ctr_drbg_init(&drbg);
    bool ok = mbedtls_ctr_drbg_seed(&drbg, mbedtls_entropy_func, &entropy, nullptr, 0) == 0;
    for (uint8_t& byte : out) {
        while (ok && byte == 0) {
            ok = mbedtls_ctr_drbg_random(&drbg, &byte, 1) == 0;
        }
    }
    mbedtls_ctr_drbg_free(&drbg);
    mbedtls_entropy_free(&entropy);
    return ok;
}

}  // namespace

bool EncodeType2(std::span<const uint8_t> message, size_t paddingLength, OpenedBlock& encoded) {
    if (message.size() + paddingLength + 3 != kEnvelopeBlock) {
        return false;
    }
    encoded.fill(0);
    encoded[1] = 0x02;
    if (!FillNonZeroRandom(std::span(encoded).subspan(2, paddingLength))) {
        return false;
    }
    std::copy(message.begin(), message.end(), encoded.begin() + 3 + static_cast<std::ptrdiff_t>(paddingLength));
    return true;
}

bool SealBlock(const RsaKeyTexts& keys, const OpenedBlock& encoded, OpenedBlock& sealed) {
    mbedtls_rsa_context rsa;
    mbedtls_rsa_init(&rsa, MBEDTLS_RSA_PKCS_V15, 0);
    bool ok = mbedtls_mpi_read_string(&rsa.N, 16, keys.n.c_str()) == 0 &&
              mbedtls_mpi_read_string(&rsa.E, 16, keys.e.c_str()) == 0;
    rsa.len = kEnvelopeBlock;
    ok = ok && mbedtls_rsa_public(&rsa, encoded.data(), sealed.data()) == 0;
    mbedtls_rsa_free(&rsa);
    return ok;
}

bool SealImage(const RsaKeyTexts& keys, std::span<const uint8_t> header, std::span<const uint8_t> payload,
               std::vector<uint8_t>& envelope) {
    if (header.size() != kImageHeader) {
        return false;
    }
    std::vector<uint8_t> message(header.begin(), header.end());
    message.resize(kImageHeader + kHeaderDigest);
    Sha256(header.data(), header.size(), message.data() + kImageHeader);
    OpenedBlock encoded{};
    OpenedBlock sealed{};
    if (!EncodeType2(message, kLongestBlockMessage - message.size(), encoded) || !SealBlock(keys, encoded, sealed)) {
        return false;
    }
    envelope.assign(sealed.begin(), sealed.end());
    envelope.insert(envelope.end(), payload.begin(), payload.end());
    return true;
}

bool ReadRsaKeyTexts(const std::string& configDir, RsaKeyTexts& keys, std::string& error) {
    struct KeySource {
        const char* file;
        const char* section;
        const char* name;
        std::string RsaKeyTexts::*text;
    };
    static constexpr KeySource kSources[] = {
        {"DevPath.ini", "DATABASE", "RSA_N", &RsaKeyTexts::n},
        {"DevPath.ini", "DATABASE", "RSA_E", &RsaKeyTexts::e},
        {"DevPath.ini", "DATABASE", "RSA_D", &RsaKeyTexts::d},
        {"KorvaneAppDownload.ini", "Security", "RSA_P", &RsaKeyTexts::p},
        {"KorvaneAppDownload.ini", "Security", "RSA_Q", &RsaKeyTexts::q},
        {"KorvaneAppDownload.ini", "Security", "RSA_DP", &RsaKeyTexts::dp},
        {"KorvaneAppDownload.ini", "Security", "RSA_DQ", &RsaKeyTexts::dq},
        {"KorvaneAppDownload.ini", "Security", "RSA_QP", &RsaKeyTexts::qp},
    };
    for (const KeySource& source : kSources) {
        const std::string file = configDir + "/" + source.file;
        std::optional<std::string> value = ReadProfileString(file, source.section, source.name);
        if (!value || value->empty()) {
            error = std::string(source.name) + " is missing from " + file;
            return false;
        }
        keys.*source.text = std::move(*value);
    }
    return true;
}

}  // namespace korvane
