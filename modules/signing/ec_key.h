// ECDSA over P-384 with deterministic nonces (RFC 6979) over the SHA-384 of the data, with the
// keys of a key pair block, on the curve the process loaded once; each distinct block is
// checked on its first use. Calls may run on many threads at once.
#pragma once

#include "modules/signing/keypair.h"

#include <cstdint>
#include <span>

namespace korvane {

inline constexpr size_t kSignatureSize = 96;  // r || s, 48 bytes each, big-endian

enum class SignStatus : int {
    kSigned = 0,
    kBadSeal = 1,        // wrong magic or hash
    kBadPrivateKey = 2,  // scalar out of range
    kBadPublicKey = 3,   // not a point of the curve, or not the scalar's point
    kFailed = 4,         // random generator or arithmetic failure
};

SignStatus SignWithKeyPair(std::span<const uint8_t, kKeyPairSize> block, std::span<const uint8_t> data,
                           std::span<uint8_t, kSignatureSize> signature);

// Uses the magic and the public point only.
bool VerifyWithKeyPair(std::span<const uint8_t, kKeyPairSize> block, std::span<const uint8_t> data,
                       std::span<const uint8_t, kSignatureSize> signature);

}  // namespace korvane
