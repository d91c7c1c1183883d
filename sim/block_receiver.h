// Reassembly of the three-phase block transfers (images, logo, audio): a start packet
// with the total, data packets at addresses, an end packet. Pure code; no I/O.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvane::sim {

inline constexpr uint32_t kBlockStartMagic = 0x89ABCDEF;
inline constexpr uint32_t kBlockEndMagic = 0xEFCDAB89;
inline constexpr uint32_t kMaxBlockChunk = 1536;
// The largest block the terminal takes; a larger total is refused at the start.
inline constexpr uint32_t kMaxBlockTotal = 256U << 20;

struct ReceivedBlock {
    uint32_t cmd = 0;
    uint32_t address = 0;  // first data address (the load address of an image), 0 without data
    std::vector<uint8_t> data;
};

class BlockReceiver {
public:
    // With contiguous addresses each data packet must follow the previous one from the
    // first data address on (images); otherwise every data packet is at address 0 and
    // appends (logo, audio).
    explicit BlockReceiver(bool contiguous_addresses) : contiguous_(contiguous_addresses) {}

    // Takes one packet of a transfer. False with a short refusal when the packet does not
    // fit the transfer (the transfer is left as it was, except that a failed end drops it).
    // A successful end packet hands the whole block over in done.
    bool Accept(uint32_t cmd, std::span<const uint8_t> payload, std::optional<ReceivedBlock>& done,
                std::string& refusal);

    // Whether a payload is a data packet rather than a start or end packet.
    static bool IsDataPayload(std::span<const uint8_t> payload);

private:
    bool Start(uint32_t cmd, uint32_t total, std::string& refusal);
    bool Data(uint32_t cmd, uint32_t address, std::span<const uint8_t> payload, std::string& refusal);
    bool End(uint32_t cmd, uint32_t tail, std::optional<ReceivedBlock>& done, std::string& refusal);
    bool CheckAddress(uint32_t address, std::string& refusal);

    bool contiguous_;
    bool active_ = false;
    uint32_t cmd_ = 0;
    uint32_t total_ = 0;
    std::optional<uint32_t> first_address_;
    std::vector<uint8_t> data_;
};

}  // namespace korvane::sim
