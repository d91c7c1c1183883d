// Building a whole frame: header, payload, signature, CRC, escaping and flags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace korvane {

class CKorvaneAppDownloadApp;

// Builds the packet for cmd with the payload, signs it, appends the CRC, escapes it and
// writes 0x7E, the escaped bytes, 0x7E into output (at least 4096 bytes). Returns the
// frame length, or -1 (writing nothing) when the escaped packet exceeds 4094 bytes.
// escaped_length, when given, receives the escaped packet's length either way.
int build_command_frame(CKorvaneAppDownloadApp* app, std::span<const uint8_t> payload, uint8_t* output, uint32_t cmd,
                        size_t* escaped_length = nullptr);

}  // namespace korvane
