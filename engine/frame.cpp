#include "engine/frame.h"

#include <algorithm>

#include "engine/data_sign.h"
#include "engine/packet.h"

namespace korvane {

std::vector<uint8_t> PreparePacket(uint32_t cmd, std::span<const uint8_t> payload) {
    std::vector<uint8_t> packet(kHeaderSize + payload.size() + kCrcSize, 0);
    PutU32(packet.data(), kPacketMagic);
    PutU32(packet.data() + kLengthOffset, static_cast<uint32_t>(kHeaderSize + payload.size()));
    PutU32(packet.data() + kCmdOffset, cmd);
    std::copy(payload.begin(), payload.end(), packet.begin() + kHeaderSize);
    return packet;
}

int build_command_frame(const SigningSetup* signing, std::span<const uint8_t> payload, uint8_t* output, uint32_t cmd,
                        size_t* escaped_length_out, const StopCheck& stopped) {
    std::vector<uint8_t> packet = PreparePacket(cmd, payload);
    const size_t unsigned_size = kHeaderSize + payload.size();

    // The signature covers reserved bytes, length, cmd and payload; the CRC then covers
    // everything before it, the signature included.
    uint8_t signature[kSignatureSize] = {};
    if (!dataSign(signing, packet.data() + kSignedRegionOffset, unsigned_size - kSignedRegionOffset, signature, stopped)) {
        return kFrameStopped;
    }
    std::copy(std::begin(signature), std::end(signature), packet.begin() + kSignatureOffset);
    PutU32(packet.data() + unsigned_size, crc32_packet(packet.data(), unsigned_size));

    const size_t escaped = EscapedLength(packet.data(), packet.size());
    if (escaped_length_out != nullptr) {
        *escaped_length_out = escaped;
    }
    if (escaped > kMaxEscaped) {
        return -1;
    }
    output[0] = kFlag;
    escape_frame(output + 1, packet.data(), packet.size());
    output[escaped + 1] = kFlag;
    return static_cast<int>(escaped + 2);
}

}  // namespace korvane
