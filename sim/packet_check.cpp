#include "sim/packet_check.h"

#include <algorithm>

#include "sim/wire.h"

namespace korvane::sim {

std::span<const uint8_t> LinkPacket::Payload() const {
    return std::span(bytes).subspan(kLinkHeaderSize, bytes.size() - kLinkHeaderSize - kLinkCrcSize);
}

std::span<const uint8_t> LinkPacket::Signature() const {
    return std::span(bytes).subspan(kLinkSignatureOffset, kLinkSignatureSize);
}

std::span<const uint8_t> LinkPacket::SignedRegion() const {
    return std::span(bytes).subspan(kLinkSignedOffset, bytes.size() - kLinkSignedOffset - kLinkCrcSize);
}

bool CheckLinkPacket(std::span<const uint8_t> stuffed, LinkPacket& packet, std::string& refusal) {
    std::vector<uint8_t>& bytes = packet.bytes;
    if (!UnstuffBytes(stuffed, bytes)) {
        refusal = "bad escape";
        return false;
    }
    if (bytes.size() < kLinkHeaderSize + kLinkCrcSize) {
        refusal = "short packet";
        return false;
    }
    const uint32_t length = ReadLe32(bytes.data() + kLinkLengthOffset);
    if (length < kLinkHeaderSize || length != bytes.size() - kLinkCrcSize) {
        refusal = "bad length";
        return false;
    }
    const uint32_t crc = ReadLe32(bytes.data() + length);
    if (crc != LinkCrc32(std::span(bytes).first(length))) {
        refusal = "bad crc";
        return false;
    }
    if (ReadLe32(bytes.data()) != kLinkMagic) {
        refusal = "bad magic";
        return false;
    }
    const auto reserved = std::span(bytes).subspan(kLinkSignedOffset, kLinkReservedSize);
    if (std::any_of(reserved.begin(), reserved.end(), [](uint8_t b) { return b != 0; })) {
        refusal = "bad header";
        return false;
    }
    packet.cmd = ReadLe32(bytes.data() + kLinkCmdOffset);
    return true;
}

}  // namespace korvane::sim
