#include "modules/signing/ec_key.h"

#include "modules/signing/checked_keys.h"
#include "modules/signing/curve.h"
#include "modules/signing/mbed_value.h"

#include <array>
#include <mbedtls/ecdsa.h>
#include <mbedtls/sha512.h>

namespace korvane {
namespace {

constexpr size_t kScalarSize = 48;

std::array<uint8_t, 48> Sha384(std::span<const uint8_t> data) {
    std::array<uint8_t, 48> hash{};
    mbedtls_sha512_ret(data.data(), data.size(), hash.data(), 1);
    return hash;
}

bool ReadPublicPoint(mbedtls_ecp_group& curve, std::span<const uint8_t, kKeyPairSize> block, Point& point) {
    return mbedtls_ecp_point_read_binary(&curve, &point.value, block.data() + kKeyPairPublicOffset,
                                         kKeyPairPublicSize) == 0 &&
           mbedtls_ecp_check_pubkey(&curve, &point.value) == 0;
}

}  // namespace

SignStatus SignWithKeyPair(std::span<const uint8_t, kKeyPairSize> block, std::span<const uint8_t> data,
                           std::span<uint8_t, kSignatureSize> signature) {
    const std::shared_ptr<const CheckedKey> key = CheckKeyPair(block);
    mbedtls_ecp_group* curve = SharedCurve();
    if (key->status != SignStatus::kSigned || curve == nullptr) {
        return key->status != SignStatus::kSigned ? key->status : SignStatus::kFailed;
    }
    const auto hash = Sha384(data);
    Number r;
    Number s;
    if (mbedtls_ecdsa_sign_det_ext(curve, &r.value, &s.value, &key->scalar, hash.data(), hash.size(),
                                   MBEDTLS_MD_SHA384, BlindingGenerate, nullptr) != 0 ||
        mbedtls_mpi_write_binary(&r.value, signature.data(), kScalarSize) != 0 ||
        mbedtls_mpi_write_binary(&s.value, signature.data() + kScalarSize, kScalarSize) != 0) {
        return SignStatus::kFailed;
    }
    return SignStatus::kSigned;
}

bool VerifyWithKeyPair(std::span<const uint8_t, kKeyPairSize> block, std::span<const uint8_t> data,
                       std::span<const uint8_t, kSignatureSize> signature) {
    mbedtls_ecp_group* curve = SharedCurve();
    if (curve == nullptr || !KeyPairMagicValid(block)) {
        return false;
    }
    Point point;
    Number r;
    Number s;
    if (!ReadPublicPoint(*curve, block, point) ||
        mbedtls_mpi_read_binary(&r.value, signature.data(), kScalarSize) != 0 ||
        mbedtls_mpi_read_binary(&s.value, signature.data() + kScalarSize, kScalarSize) != 0) {
        return false;
    }
    const auto hash = Sha384(data);
    return mbedtls_ecdsa_verify(curve, hash.data(), hash.size(), &point.value, &r.value, &s.value) == 0;
}

}  // namespace korvane
