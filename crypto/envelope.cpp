#include "crypto/envelope.h"

#include <algorithm>
#include <cstring>

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/rsa.h>

#include "crypto/digest.h"

namespace korvane {

namespace {

// The RSA context with the eight key values; freed with the object.
class RsaKey {
public:
    RsaKey() { mbedtls_rsa_init(&ctx_, MBEDTLS_RSA_PKCS_V15, 0); }
    ~RsaKey() { mbedtls_rsa_free(&ctx_); }
    RsaKey(const RsaKey&) = delete;
    RsaKey& operator=(const RsaKey&) = delete;

    // The parses are not judged one by one: a text that does not parse reads as 0, and the
    // key checks then reject the set as a whole. The modulus length is fixed at 256 bytes,
    // so the checks also refuse a modulus that does not fill them.
    void Parse(const RsaKeyTexts& keys) {
        ctx_.len = kEnvelopeBlock;
        ReadHex(ctx_.N, keys.n);
        ReadHex(ctx_.E, keys.e);
        ReadHex(ctx_.D, keys.d);
        ReadHex(ctx_.P, keys.p);
        ReadHex(ctx_.Q, keys.q);
        ReadHex(ctx_.DP, keys.dp);
        ReadHex(ctx_.DQ, keys.dq);
        ReadHex(ctx_.QP, keys.qp);
    }
    bool Checked() const {
        return mbedtls_rsa_check_pubkey(&ctx_) == 0 && mbedtls_rsa_check_privkey(&ctx_) == 0 &&
               InvertsEModuloPhi();
    }
    mbedtls_rsa_context* Get() { return &ctx_; }

private:
    // (D * E) mod ((P - 1)(Q - 1)) = 1. The library's own check only asks it modulo P - 1
    // and Q - 1, which a D smaller than the configured key sets allow also passes.
    bool InvertsEModuloPhi() const {
        Number p1, q1, phi, product, rest;
        return mbedtls_mpi_sub_int(&p1.value, &ctx_.P, 1) == 0 && mbedtls_mpi_sub_int(&q1.value, &ctx_.Q, 1) == 0 &&
               mbedtls_mpi_mul_mpi(&phi.value, &p1.value, &q1.value) == 0 &&
               mbedtls_mpi_mul_mpi(&product.value, &ctx_.D, &ctx_.E) == 0 &&
               mbedtls_mpi_mod_mpi(&rest.value, &product.value, &phi.value) == 0 &&
               mbedtls_mpi_cmp_int(&rest.value, 1) == 0;
    }
    struct Number {
        Number() { mbedtls_mpi_init(&value); }
        ~Number() { mbedtls_mpi_free(&value); }
        Number(const Number&) = delete;
        Number& operator=(const Number&) = delete;
        mbedtls_mpi value;
    };
    static void ReadHex(mbedtls_mpi& value, const std::string& text) {
        if (mbedtls_mpi_read_string(&value, 16, text.c_str()) != 0) {
            mbedtls_mpi_lset(&value, 0);
        }
    }
    mbedtls_rsa_context ctx_{};
};

// A random source for blinding the private operation against timing attacks.
class BlindingRng {
public:
    BlindingRng() {
        mbedtls_entropy_init(&entropy_);
        mbedtls_ctr_drbg_init(&drbg_);
        static constexpr char kPersonal[] = "korvane-envelope";
        ready_ = mbedtls_ctr_drbg_seed(&drbg_, mbedtls_entropy_func, &entropy_,
                                       reinterpret_cast<const unsigned char*>(kPersonal),
                                       sizeof kPersonal - 1) == 0;
    }
    ~BlindingRng() {
        mbedtls_ctr_drbg_free(&drbg_);
        mbedtls_entropy_free(&entropy_);
    }
    BlindingRng(const BlindingRng&) = delete;
    BlindingRng& operator=(const BlindingRng&) = delete;

    bool Ready() const { return ready_; }
    mbedtls_ctr_drbg_context* Context() { return &drbg_; }

private:
    mbedtls_entropy_context entropy_{};
    mbedtls_ctr_drbg_context drbg_{};
    bool ready_ = false;
};

// S^D mod N by the Chinese remainder theorem; S must be below N.
bool OpenBlock(RsaKey& key, std::span<const uint8_t, kEnvelopeBlock> sealed, OpenedBlock& encoded) {
    BlindingRng rng;
    if (!rng.Ready()) {
        return false;
    }
    return mbedtls_rsa_private(key.Get(), mbedtls_ctr_drbg_random, rng.Context(), sealed.data(),
                               encoded.data()) == 0;
}

// Block type 2: 0x00 0x02, non-zero padding of any length (even none), 0x00, message.
// The message goes to the start of output; the rest of output is left as it was.
bool RemoveType2Padding(const OpenedBlock& encoded, OpenedBlock& output) {
    if (encoded[0] != 0x00 || encoded[1] != 0x02) {
        return false;
    }
    const auto separator = std::find(encoded.begin() + 2, encoded.end(), uint8_t{0});
    if (separator == encoded.end()) {
        return false;
    }
    std::copy(separator + 1, encoded.end(), output.begin());
    return true;
}

bool HeaderDigestMatches(const OpenedBlock& opened) {
    uint8_t digest[kHeaderDigest];
    Sha256(opened.data(), kImageHeader, digest);
    return std::memcmp(digest, opened.data() + kImageHeader, kHeaderDigest) == 0;
}

}  // namespace

int VerifyImageEnvelope(const RsaKeyTexts& keys, std::span<const uint8_t> envelope, OpenedBlock& output) {
    if (envelope.size() < kEnvelopeBlock) {
        return 0;
    }
    RsaKey key;
    key.Parse(keys);
    if (!key.Checked()) {
        return 0;
    }
    OpenedBlock encoded{};
    if (!OpenBlock(key, envelope.first<kEnvelopeBlock>(), encoded)) {
        return 0;
    }
    if (!RemoveType2Padding(encoded, output)) {
        return 0;
    }
    return HeaderDigestMatches(output) ? 1 : 0;
}

bool UnwrapImage(std::span<uint8_t> buffer, int32_t& length, const OpenedBlock& opened) {
    if (length < static_cast<int32_t>(kEnvelopeBlock) || static_cast<size_t>(length) > buffer.size()) {
        return false;
    }
    const auto end = buffer.begin() + length;
    // The payload moves down over the sealed block's second half, then the header goes
    // in front of it; everything after the image is cleared.
    const auto imageEnd = std::copy(buffer.begin() + kEnvelopeBlock, end, buffer.begin() + kImageHeader);
    std::copy_n(opened.begin(), kImageHeader, buffer.begin());
    std::fill(imageEnd, buffer.end(), uint8_t{0});
    length -= static_cast<int32_t>(kImageHeader);
    return true;
}

}  // namespace korvane
