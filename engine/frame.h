// Building a whole frame: header, payload, signature, CRC, escaping and flags.
// Thread safety: may run on every session thread at once (signing allows it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/signature_cache.h"

namespace korvane {

struct SigningSetup;

inline constexpr int kFrameStopped = -2;

// The unsigned packet for cmd: header (magic, zero signature and reserved bytes, length,
// cmd), payload, and room for the CRC.
std::vector<uint8_t> PreparePacket(uint32_t cmd, std::span<const uint8_t> payload);

// Builds the packet for cmd with the payload, signs it as signing says, appends the CRC, escapes it and
// writes 0x7E, the escaped bytes, 0x7E into output (at least kMaxFrame = 4096 bytes).
// Returns the frame length, or -1 (writing nothing) when the escaped packet exceeds 4094
// bytes. escaped_length, when given, receives the escaped packet's length either way.
// Returns kFrameStopped (writing nothing) when stopped() turned true while the packet's
// shared signature was being made by another caller.
int build_command_frame(const SigningSetup* signing, std::span<const uint8_t> payload, uint8_t* output, uint32_t cmd,
                        size_t* escaped_length = nullptr, const StopCheck& stopped = {});

}  // namespace korvane
