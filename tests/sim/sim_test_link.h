// The tool's side of the link for the simulator's tests: command packets built here with
// the fixtures' bitwise CRC and stuffing (not the simulator's own code), a stand-in
// signature check, payload builders and the decoding of the terminal's answers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/signature_check.h"

namespace korvane::testing {

using Bytes = std::vector<uint8_t>;
using Signature = std::array<uint8_t, 96>;

// The stand-in signature of a signed region (changes with every byte of it).
Signature GoodSignature(std::span<const uint8_t> region);

// Accepts exactly GoodSignature.
class FakeSignatureCheck final : public sim::SignatureCheck {
public:
    bool Verify(std::span<const uint8_t> signed_region, std::span<const uint8_t> signature) const override;
};

// A whole packet (header, payload, CRC), unframed; signed with GoodSignature unless a
// signature is given.
Bytes PacketBytes(uint32_t cmd, std::span<const uint8_t> payload, const std::optional<Signature>& signature = {});
// The same packet stuffed between two flags.
Bytes PacketFrame(uint32_t cmd, std::span<const uint8_t> payload = {},
                  const std::optional<Signature>& signature = {});
Bytes FrameOfPacket(std::span<const uint8_t> packet);

Bytes TextBytes(std::string_view text);
Bytes BlockStart(uint32_t total);
Bytes BlockData(uint32_t address, std::span<const uint8_t> chunk);
Bytes BlockEnd();
// 260-byte record: NUL-padded text, u32 value; then the chunk.
Bytes TextRecord(std::string_view text, uint32_t value, std::span<const uint8_t> chunk = {});
Bytes EraseRecord();
Bytes PartitionRecord(std::string_view drive, uint32_t start, uint8_t size, uint8_t flash);
Bytes FsConfigRecord(uint32_t type, uint32_t dma, uint32_t baud);
// count bytes of a pattern that holds every byte value, flags and escapes included.
Bytes PatternBytes(size_t count, uint8_t seed = 0);

struct DecodedAnswer {
    uint32_t status = 0;
    uint32_t length = 0;
    std::string text;  // the data on success, the NUL-terminated error text on failure
};

// Decodes one answer frame; bytes before the opening flag are skipped. Nothing when the
// frame is incomplete or shorter than its status and length.
std::optional<DecodedAnswer> DecodeAnswer(std::span<const uint8_t> bytes);

}  // namespace korvane::testing
