#include "modules/signing/ec_key.h"

#include "modules/signing/random_source.h"

#include <array>
#include <mbedtls/ecdsa.h>
#include <mbedtls/sha512.h>

namespace korvane {
namespace {

constexpr size_t kScalarSize = 48;

// The mbedTLS objects of one call, released when it returns.
struct Curve {
    mbedtls_ecp_group group;
    Curve() { mbedtls_ecp_group_init(&group); }
    ~Curve() { mbedtls_ecp_group_free(&group); }
    Curve(const Curve&) = delete;
    Curve& operator=(const Curve&) = delete;
    bool Load() { return mbedtls_ecp_group_load(&group, MBEDTLS_ECP_DP_SECP384R1) == 0; }
};

struct Number {
    mbedtls_mpi value;
    Number() { mbedtls_mpi_init(&value); }
    ~Number() { mbedtls_mpi_free(&value); }
    Number(const Number&) = delete;
    Number& operator=(const Number&) = delete;
};

struct Point {
    mbedtls_ecp_point value;
    Point() { mbedtls_ecp_point_init(&value); }
    ~Point() { mbedtls_ecp_point_free(&value); }
    Point(const Point&) = delete;
    Point& operator=(const Point&) = delete;
};

std::array<uint8_t, 48> Sha384(std::span<const uint8_t> data) {
    std::array<uint8_t, 48> hash{};
    mbedtls_sha512_ret(data.data(), data.size(), hash.data(), 1);
    return hash;
}

bool ReadPublicPoint(const Curve& curve, std::span<const uint8_t, kKeyPairSize> block, Point& point) {
    return mbedtls_ecp_point_read_binary(&curve.group, &point.value, block.data() + kKeyPairPublicOffset,
                                         kKeyPairPublicSize) == 0 &&
           mbedtls_ecp_check_pubkey(&curve.group, &point.value) == 0;
}

}  // namespace

SignStatus SignWithKeyPair(std::span<const uint8_t, kKeyPairSize> block, std::span<const uint8_t> data,
                           std::span<uint8_t, kSignatureSize> signature) {
    if (!KeyPairSealed(block)) {
        return SignStatus::kBadSeal;
    }
    Curve curve;
    RandomSource blinding;  // only masks the arithmetic; the signature does not depend on it
    if (!curve.Load() || !blinding.Ready()) {
        return SignStatus::kFailed;
    }
    Number scalar;
    if (mbedtls_mpi_read_binary(&scalar.value, block.data() + kKeyPairPrivateOffset, kKeyPairPrivateSize) != 0 ||
        mbedtls_ecp_check_privkey(&curve.group, &scalar.value) != 0) {
        return SignStatus::kBadPrivateKey;
    }
    // A public point that is not the scalar's would make every signature fail at the terminal.
    Point stored;
    Point derived;
    if (!ReadPublicPoint(curve, block, stored) ||
        mbedtls_ecp_mul(&curve.group, &derived.value, &scalar.value, &curve.group.G, RandomSource::Generate,
                        blinding.Context()) != 0 ||
        mbedtls_ecp_point_cmp(&stored.value, &derived.value) != 0) {
        return SignStatus::kBadPublicKey;
    }
    const auto hash = Sha384(data);
    Number r;
    Number s;
    if (mbedtls_ecdsa_sign_det_ext(&curve.group, &r.value, &s.value, &scalar.value, hash.data(), hash.size(),
                                   MBEDTLS_MD_SHA384, RandomSource::Generate, blinding.Context()) != 0 ||
        mbedtls_mpi_write_binary(&r.value, signature.data(), kScalarSize) != 0 ||
        mbedtls_mpi_write_binary(&s.value, signature.data() + kScalarSize, kScalarSize) != 0) {
        return SignStatus::kFailed;
    }
    return SignStatus::kSigned;
}

bool VerifyWithKeyPair(std::span<const uint8_t, kKeyPairSize> block, std::span<const uint8_t> data,
                       std::span<const uint8_t, kSignatureSize> signature) {
    if (!KeyPairMagicValid(block)) {
        return false;
    }
    Curve curve;
    Point point;
    Number r;
    Number s;
    if (!curve.Load() || !ReadPublicPoint(curve, block, point) ||
        mbedtls_mpi_read_binary(&r.value, signature.data(), kScalarSize) != 0 ||
        mbedtls_mpi_read_binary(&s.value, signature.data() + kScalarSize, kScalarSize) != 0) {
        return false;
    }
    const auto hash = Sha384(data);
    return mbedtls_ecdsa_verify(&curve.group, hash.data(), hash.size(), &point.value, &r.value, &s.value) == 0;
}

}  // namespace korvane
