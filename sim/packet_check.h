// Judging one received frame as a packet of the link: stuffing, size, length field,
// CRC, magic and reserved bytes. The signature is judged by the caller, who holds
// the key. Pure code; no I/O.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvane::sim {

inline constexpr uint32_t kLinkMagic = 0x5A5AA5A5;
inline constexpr size_t kLinkHeaderSize = 268;
inline constexpr size_t kLinkSignatureOffset = 4;
inline constexpr size_t kLinkSignatureSize = 96;
inline constexpr size_t kLinkSignedOffset = 100;
inline constexpr size_t kLinkReservedSize = 160;
inline constexpr size_t kLinkLengthOffset = 260;
inline constexpr size_t kLinkCmdOffset = 264;
inline constexpr size_t kLinkCrcSize = 4;

// A packet that passed the structural checks; bytes hold the whole packet, CRC included.
struct LinkPacket {
    std::vector<uint8_t> bytes;
    uint32_t cmd = 0;

    std::span<const uint8_t> Payload() const;
    std::span<const uint8_t> Signature() const;
    std::span<const uint8_t> SignedRegion() const;
};

// Un-stuffs the bytes between two flags and checks the packet. Returns true with the
// packet filled in, or false with a short refusal text for the terminal's answer.
bool CheckLinkPacket(std::span<const uint8_t> stuffed, LinkPacket& packet, std::string& refusal);

}  // namespace korvane::sim
