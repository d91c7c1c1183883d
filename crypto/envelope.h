// Image envelopes: a 256-byte RSA-2048 block sealing a 128-byte header and its SHA-256,
// followed by the payload.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"

namespace korvane {

inline constexpr size_t kEnvelopeBlock = 256;
inline constexpr size_t kImageHeader = 128;
inline constexpr size_t kImageBufferCapacity = 1048576;

using OpenedBlock = std::array<uint8_t, kEnvelopeBlock>;

// 1 when the envelope is valid (output holds the opened block), 0 otherwise. An envelope
// shorter than 256 bytes is refused without reading past it.
int VerifyImageEnvelope(const RsaKeyTexts& keys, std::span<const uint8_t> envelope, OpenedBlock& output);
// Rewrites the buffer as header + payload (length - 128 bytes).
void UnwrapImage(std::vector<uint8_t>& image, const OpenedBlock& opened);

}  // namespace korvane
