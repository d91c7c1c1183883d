#include "tests/sim/sim_test_link.h"

#include <algorithm>
#include <cstring>

#include "tests/fixtures/fake_signing.h"
#include "tests/fixtures/link_frames.h"

namespace korvane::testing {
namespace {

constexpr std::array<uint8_t, 188> kTestKey{};

void AppendU32(Bytes& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

}  // namespace

Signature GoodSignature(std::span<const uint8_t> region) {
    return FakeSignature(kTestKey.data(), region.data(), region.size());
}

bool FakeSignatureCheck::Verify(std::span<const uint8_t> signed_region, std::span<const uint8_t> signature) const {
    const Signature good = GoodSignature(signed_region);
    return signature.size() == good.size() && std::equal(good.begin(), good.end(), signature.begin());
}

Bytes PacketBytes(uint32_t cmd, std::span<const uint8_t> payload, const std::optional<Signature>& signature) {
    Bytes packet;
    AppendU32(packet, 0x5A5AA5A5);
    packet.resize(100 + 160, 0);
    AppendU32(packet, static_cast<uint32_t>(268 + payload.size()));
    AppendU32(packet, cmd);
    packet.insert(packet.end(), payload.begin(), payload.end());
    const Signature sig = signature.value_or(GoodSignature(std::span(packet).subspan(100)));
    std::copy(sig.begin(), sig.end(), packet.begin() + 4);
    AppendU32(packet, BitwiseCrc(packet));
    return packet;
}

Bytes PacketFrame(uint32_t cmd, std::span<const uint8_t> payload, const std::optional<Signature>& signature) {
    return Framed(PacketBytes(cmd, payload, signature));
}

Bytes FrameOfPacket(std::span<const uint8_t> packet) { return Framed(packet); }

Bytes TextBytes(std::string_view text) { return {text.begin(), text.end()}; }

Bytes BlockStart(uint32_t total) {
    Bytes payload;
    AppendU32(payload, 0x89ABCDEF);
    AppendU32(payload, total);
    return payload;
}

Bytes BlockData(uint32_t address, std::span<const uint8_t> chunk) {
    Bytes payload;
    AppendU32(payload, address);
    AppendU32(payload, static_cast<uint32_t>(chunk.size()));
    payload.insert(payload.end(), chunk.begin(), chunk.end());
    return payload;
}

Bytes BlockEnd() {
    Bytes payload;
    AppendU32(payload, 0xEFCDAB89);
    AppendU32(payload, 0);
    return payload;
}

Bytes TextRecord(std::string_view text, uint32_t value, std::span<const uint8_t> chunk) {
    Bytes record(256, 0);
    std::copy_n(text.begin(), std::min<size_t>(text.size(), 255), record.begin());
    AppendU32(record, value);
    record.insert(record.end(), chunk.begin(), chunk.end());
    return record;
}

Bytes EraseRecord() {
    Bytes record(260, 0);
    const std::string_view head("::\0\0" "904731\0\0", 12);
    std::copy(head.begin(), head.end(), record.begin());
    return record;
}

Bytes PartitionRecord(std::string_view drive, uint32_t start, uint8_t size, uint8_t flash) {
    Bytes record(260, 0);
    std::copy_n(drive.begin(), std::min<size_t>(drive.size(), 3), record.begin());
    for (int i = 0; i < 4; ++i) {
        record[4 + i] = static_cast<uint8_t>(start >> (8 * i));
    }
    record[8] = size;
    record[9] = flash;
    return record;
}

Bytes FsConfigRecord(uint32_t type, uint32_t dma, uint32_t baud) {
    Bytes record;
    AppendU32(record, type);
    AppendU32(record, dma);
    AppendU32(record, baud);
    record.resize(260, 0);
    return record;
}

Bytes PatternBytes(size_t count, uint8_t seed) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + seed);
    }
    return bytes;
}

std::optional<DecodedAnswer> DecodeAnswer(std::span<const uint8_t> bytes) {
    auto open = std::find(bytes.begin(), bytes.end(), uint8_t{0x7E});
    if (open == bytes.end()) {
        return std::nullopt;
    }
    Bytes plain;
    bool closed = false;
    for (auto at = open + 1; at != bytes.end(); ++at) {
        if (*at == 0x7E) {
            closed = true;
            break;
        }
        if (*at == 0x7D) {
            if (++at == bytes.end()) {
                return std::nullopt;
            }
            plain.push_back(static_cast<uint8_t>(*at ^ 0x20));
        } else {
            plain.push_back(*at);
        }
    }
    if (!closed || plain.size() < 8) {
        return std::nullopt;
    }
    DecodedAnswer answer;
    answer.status = LoadU32(plain.data());
    answer.length = LoadU32(plain.data() + 4);
    const auto* text = reinterpret_cast<const char*>(plain.data() + 8);
    const size_t available = plain.size() - 8;
    answer.text = answer.status != 0 ? std::string(text, std::min<size_t>(answer.length, available))
                                     : std::string(text, strnlen(text, available));
    return answer;
}

}  // namespace korvane::testing
