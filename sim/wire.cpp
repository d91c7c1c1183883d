#include "sim/wire.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace korvane::sim {
namespace {

constexpr uint32_t kReflectedPoly = 0xEDB88320;  // 0x04C11DB7 bit-reversed

// Slicing by eight: table k gives the CRC of a byte followed by k zero bytes, so eight
// bytes are folded in with eight look-ups instead of eight rounds.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables MakeCrcTables() {
    CrcTables tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1U) != 0 ? (value >> 1) ^ kReflectedPoly : value >> 1;
        }
        tables[0][i] = value;
    }
    for (size_t k = 1; k < tables.size(); ++k) {
        for (uint32_t i = 0; i < 256; ++i) {
            const uint32_t previous = tables[k - 1][i];
            tables[k][i] = (previous >> 8) ^ tables[0][previous & 0xFFU];
        }
    }
    return tables;
}

constexpr CrcTables kCrcTables = MakeCrcTables();

bool NeedsEscape(uint8_t byte) { return byte == kWireFlag || byte == kWireEscape; }

}  // namespace

uint32_t ReadLe32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

void WriteLe32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint32_t LinkCrc32(std::span<const uint8_t> bytes) {
    const auto& t = kCrcTables;
    uint32_t crc = 0;
    const uint8_t* at = bytes.data();
    size_t left = bytes.size();
    for (; left >= 8; left -= 8, at += 8) {
        const uint32_t low = crc ^ ReadLe32(at);
        const uint32_t high = ReadLe32(at + 4);
        crc = t[7][low & 0xFFU] ^ t[6][(low >> 8) & 0xFFU] ^ t[5][(low >> 16) & 0xFFU] ^ t[4][low >> 24] ^
              t[3][high & 0xFFU] ^ t[2][(high >> 8) & 0xFFU] ^ t[1][(high >> 16) & 0xFFU] ^ t[0][high >> 24];
    }
    for (; left > 0; --left, ++at) {
        crc = (crc >> 8) ^ t[0][(crc ^ *at) & 0xFFU];
    }
    return crc;
}

std::vector<uint8_t> StuffBytes(std::span<const uint8_t> bytes) {
    std::vector<uint8_t> out;
    out.reserve(bytes.size() + bytes.size() / 16 + 2);
    for (uint8_t byte : bytes) {
        if (NeedsEscape(byte)) {
            out.push_back(kWireEscape);
            out.push_back(static_cast<uint8_t>(byte ^ kEscapeXor));
        } else {
            out.push_back(byte);
        }
    }
    return out;
}

bool UnstuffBytes(std::span<const uint8_t> stuffed, std::vector<uint8_t>& plain) {
    plain.clear();
    plain.reserve(stuffed.size());
    for (size_t i = 0; i < stuffed.size(); ++i) {
        if (stuffed[i] != kWireEscape) {
            plain.push_back(stuffed[i]);
            continue;
        }
        if (i + 1 == stuffed.size()) {
            return false;
        }
        const auto original = static_cast<uint8_t>(stuffed[++i] ^ kEscapeXor);
        if (!NeedsEscape(original)) {
            return false;
        }
        plain.push_back(original);
    }
    return true;
}

std::vector<uint8_t> FrameOf(std::span<const uint8_t> content) {
    std::vector<uint8_t> frame;
    frame.reserve(content.size() + 8);
    frame.push_back(kWireFlag);
    const std::vector<uint8_t> stuffed = StuffBytes(content);
    frame.insert(frame.end(), stuffed.begin(), stuffed.end());
    frame.push_back(kWireFlag);
    return frame;
}

std::vector<uint8_t> SuccessAnswer(std::span<const uint8_t> data) {
    std::vector<uint8_t> answer(8 + data.size());
    WriteLe32(answer.data(), 1);
    WriteLe32(answer.data() + 4, static_cast<uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), answer.begin() + 8);
    return answer;
}

std::vector<uint8_t> SuccessAnswer(std::string_view text) {
    return SuccessAnswer(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::vector<uint8_t> FailureAnswer(std::string_view text) {
    // The error text travels NUL-terminated; the length counts the NUL.
    std::vector<uint8_t> answer(8 + text.size() + 1, 0);
    WriteLe32(answer.data(), 0);
    WriteLe32(answer.data() + 4, static_cast<uint32_t>(text.size() + 1));
    std::copy(text.begin(), text.end(), answer.begin() + 8);
    return answer;
}

void FrameCollector::Feed(std::span<const uint8_t> bytes, std::vector<StreamPiece>& out) {
    const uint8_t* at = bytes.data();
    const uint8_t* const end = at + bytes.size();
    // Whole runs between flags are taken at once: a frame's bytes never contain a flag.
    while (at != end) {
        const auto* flag = static_cast<const uint8_t*>(std::memchr(at, kWireFlag, static_cast<size_t>(end - at)));
        const uint8_t* run_end = flag != nullptr ? flag : end;
        if (!inside_) {
            text_.insert(text_.end(), at, run_end);
        } else {
            const size_t room = kMaxStuffed - std::min(frame_.size(), kMaxStuffed);
            const size_t run = static_cast<size_t>(run_end - at);
            frame_.insert(frame_.end(), at, at + std::min(run, room));
            overflow_ = overflow_ || run > room;
        }
        if (flag == nullptr) {
            break;
        }
        at = flag + 1;
        if (!inside_) {
            FlushText(out);
            inside_ = true;
        } else if (!frame_.empty() || overflow_) {
            if (overflow_) {
                out.push_back({StreamPiece::Kind::kTooLong, {}});
            } else {
                out.push_back({StreamPiece::Kind::kFrame, std::move(frame_)});
            }
            frame_.clear();
            frame_.reserve(kMaxStuffed);  // the next frame grows without copies
            overflow_ = false;
            inside_ = false;
        }
        // Adjacent flags: the second one opens the frame, so nothing changes.
    }
    FlushText(out);
}

void FrameCollector::Reset() {
    inside_ = false;
    overflow_ = false;
    frame_.clear();
    text_.clear();
}

void FrameCollector::FlushText(std::vector<StreamPiece>& out) {
    if (!text_.empty()) {
        out.push_back({StreamPiece::Kind::kText, std::move(text_)});
        text_.clear();
    }
}

}  // namespace korvane::sim
