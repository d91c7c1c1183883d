// The 188-byte key pair block read from keyPair.bin: magic "KVK1", the P-384 private scalar,
// the uncompressed public point, a SHA-256 of those bytes and seven reserved zeros.
// Thread safety: every function may run on many threads at once (no shared state).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace korvane {

inline constexpr size_t kKeyPairSize = 188;
inline constexpr size_t kKeyPairMagicOffset = 0;
inline constexpr size_t kKeyPairPrivateOffset = 4;
inline constexpr size_t kKeyPairPrivateSize = 48;
inline constexpr size_t kKeyPairPublicOffset = 52;
inline constexpr size_t kKeyPairPublicSize = 97;
inline constexpr size_t kKeyPairHashOffset = 149;
inline constexpr size_t kKeyPairHashSize = 32;
inline constexpr size_t kKeyPairReservedOffset = 181;
inline constexpr std::array<uint8_t, 4> kKeyPairMagic = {'K', 'V', 'K', '1'};

using KeyPairBlock = std::array<uint8_t, kKeyPairSize>;

// A fresh key pair from the system's entropy; nothing when the generator fails.
std::optional<KeyPairBlock> GenerateKeyPair();

// A block from a private scalar (big-endian) and its uncompressed public point, sealed.
KeyPairBlock BuildKeyPair(std::span<const uint8_t, kKeyPairPrivateSize> private_scalar,
                          std::span<const uint8_t, kKeyPairPublicSize> public_point);

// Writes the magic, the hash of bytes 0..148 and the reserved zeros, e.g. after a field changed.
void SealKeyPair(KeyPairBlock& block);

// Whether the magic is right.
bool KeyPairMagicValid(std::span<const uint8_t, kKeyPairSize> block);
// Whether the magic and the hash are right.
bool KeyPairSealed(std::span<const uint8_t, kKeyPairSize> block);

}  // namespace korvane
