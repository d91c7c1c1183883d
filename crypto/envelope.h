// Image envelopes: a 256-byte RSA-2048 block sealing a 128-byte header and its SHA-256,
// followed by the payload. The block is opened with the configured private key.
// Thread safety: no state is kept between calls; calls on different buffers may run at once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "crypto/rsa_key_texts.h"

namespace korvane {

inline constexpr size_t kEnvelopeBlock = 256;
inline constexpr size_t kImageHeader = 128;
inline constexpr size_t kHeaderDigest = 32;
inline constexpr size_t kImageBufferCapacity = 1048576;

// The opened block: header, its SHA-256, then zeros or unused message bytes.
using OpenedBlock = std::array<uint8_t, kEnvelopeBlock>;

// 1 when the envelope is valid (output, zero-filled by the caller, then holds the opened
// block), 0 otherwise. The key set is parsed and checked afresh on every call; besides the
// usual checks, (D * E) mod ((P - 1)(Q - 1)) must be 1. An
// envelope shorter than 256 bytes is refused without reading past it.
int VerifyImageEnvelope(const RsaKeyTexts& keys, std::span<const uint8_t> envelope, OpenedBlock& output);

// After a successful VerifyImageEnvelope: rewrites buffer as header + payload, clears the
// rest of it and sets length to length - 128. False, with nothing changed, when length is
// not between 256 and the buffer's size.
bool UnwrapImage(std::span<uint8_t> buffer, int32_t& length, const OpenedBlock& opened);

}  // namespace korvane
