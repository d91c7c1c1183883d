#include "modules/signing/keypair.h"

#include "modules/signing/random_source.h"

#include <algorithm>
#include <mbedtls/ecp.h>
#include <mbedtls/sha256.h>

namespace korvane {
namespace {

std::array<uint8_t, kKeyPairHashSize> HashOfKeyFields(std::span<const uint8_t, kKeyPairSize> block) {
    std::array<uint8_t, kKeyPairHashSize> hash{};
    mbedtls_sha256_ret(block.data(), kKeyPairHashOffset, hash.data(), 0);
    return hash;
}

// Owns an mbedTLS key pair for the length of one call.
struct EcKeyPair {
    mbedtls_ecp_keypair key;
    EcKeyPair() { mbedtls_ecp_keypair_init(&key); }
    ~EcKeyPair() { mbedtls_ecp_keypair_free(&key); }
    EcKeyPair(const EcKeyPair&) = delete;
    EcKeyPair& operator=(const EcKeyPair&) = delete;
};

}  // namespace

bool KeyPairMagicValid(std::span<const uint8_t, kKeyPairSize> block) {
    return std::equal(kKeyPairMagic.begin(), kKeyPairMagic.end(), block.begin() + kKeyPairMagicOffset);
}

bool KeyPairSealed(std::span<const uint8_t, kKeyPairSize> block) {
    const auto hash = HashOfKeyFields(block);
    return KeyPairMagicValid(block) && std::equal(hash.begin(), hash.end(), block.begin() + kKeyPairHashOffset);
}

void SealKeyPair(KeyPairBlock& block) {
    std::copy(kKeyPairMagic.begin(), kKeyPairMagic.end(), block.begin() + kKeyPairMagicOffset);
    const auto hash = HashOfKeyFields(block);
    std::copy(hash.begin(), hash.end(), block.begin() + kKeyPairHashOffset);
    std::fill(block.begin() + kKeyPairReservedOffset, block.end(), uint8_t{0});
}

KeyPairBlock BuildKeyPair(std::span<const uint8_t, kKeyPairPrivateSize> private_scalar,
                          std::span<const uint8_t, kKeyPairPublicSize> public_point) {
    KeyPairBlock block{};
    std::copy(private_scalar.begin(), private_scalar.end(), block.begin() + kKeyPairPrivateOffset);
    std::copy(public_point.begin(), public_point.end(), block.begin() + kKeyPairPublicOffset);
    SealKeyPair(block);
    return block;
}

std::optional<KeyPairBlock> GenerateKeyPair() {
    RandomSource random;
    EcKeyPair pair;
    if (!random.Ready() ||
        mbedtls_ecp_gen_key(MBEDTLS_ECP_DP_SECP384R1, &pair.key, RandomSource::Generate, random.Context()) != 0) {
        return std::nullopt;
    }
    std::array<uint8_t, kKeyPairPrivateSize> scalar{};
    std::array<uint8_t, kKeyPairPublicSize> point{};
    size_t point_length = 0;
    if (mbedtls_mpi_write_binary(&pair.key.d, scalar.data(), scalar.size()) != 0 ||
        mbedtls_ecp_point_write_binary(&pair.key.grp, &pair.key.Q, MBEDTLS_ECP_PF_UNCOMPRESSED, &point_length,
                                       point.data(), point.size()) != 0 ||
        point_length != point.size()) {
        return std::nullopt;
    }
    KeyPairBlock block = BuildKeyPair(scalar, point);
    std::fill(scalar.begin(), scalar.end(), uint8_t{0});
    return block;
}

}  // namespace korvane
