// Sealing of image envelopes, the inverse of envelope.h: used by the sealing tool, the
// loopback image server and the tests, never by the program itself.
// Thread safety: no shared state; calls may run at once.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "crypto/rsa_key_texts.h"
#include "crypto/envelope.h"

namespace korvane {

// The longest message a 256-byte type-2 block carries (no padding at all).
inline constexpr size_t kLongestBlockMessage = kEnvelopeBlock - 3;

// 0x00 0x02, paddingLength random non-zero bytes, 0x00, message. False when message and
// padding do not fill the block exactly.
bool EncodeType2(std::span<const uint8_t> message, size_t paddingLength, OpenedBlock& encoded);
// The RSA public operation (N and E of the key set) on an encoded block. False when the
// key texts do not parse or the block is not below N.
bool SealBlock(const RsaKeyTexts& keys, const OpenedBlock& encoded, OpenedBlock& sealed);
// A whole envelope: the sealed block over header || SHA-256(header), then the payload.
// False when the header is not 128 bytes or the key set cannot seal.
bool SealImage(const RsaKeyTexts& keys, std::span<const uint8_t> header, std::span<const uint8_t> payload,
               std::vector<uint8_t>& envelope);

// The eight key texts of a configuration folder: RSA_N, RSA_E, RSA_D from DevPath.ini
// [DATABASE], RSA_P .. RSA_QP from KorvaneAppDownload.ini [Security]. False with the name
// of the first missing key in error.
bool ReadRsaKeyTexts(const std::string& configDir, RsaKeyTexts& keys, std::string& error);

}  // namespace korvane
