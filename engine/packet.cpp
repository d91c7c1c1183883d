#include "engine/packet.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace korvane {
namespace {

constexpr uint32_t kCrcReflectedPolynomial = 0xEDB88320;  // 0x04C11DB7, bit-reversed

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1U) != 0 ? (value >> 1) ^ kCrcReflectedPolynomial : value >> 1;
        }
        table[i] = value;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0x77073096, "the table of the IEEE 802.3 CRC-32");

constexpr uint8_t kEraseDrive[] = {':', ':', 0, 0};
constexpr char kEraseCode[] = "904731";
constexpr size_t kEraseCodeOffset = 4;
constexpr size_t kDriveTextSize = 4;

bool NeedsEscape(uint8_t byte) { return byte == kFlag || byte == kEscape; }

std::vector<uint8_t> BlockPayload(uint32_t first, uint32_t second, std::span<const uint8_t> chunk) {
    std::vector<uint8_t> payload(kBlockPayloadHeader + chunk.size());
    PutU32(payload.data(), first);
    PutU32(payload.data() + 4, second);
    std::copy(chunk.begin(), chunk.end(), payload.begin() + kBlockPayloadHeader);
    return payload;
}

}  // namespace

std::array<uint8_t, 1> CharPayload(char c) { return {static_cast<uint8_t>(c)}; }

uint32_t crc32_packet(const uint8_t* data, size_t length, uint32_t crc) {
    for (size_t i = 0; i < length; ++i) {
        crc = (crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFFU];
    }
    return crc;
}

size_t escape_frame(uint8_t* destination, const uint8_t* source, size_t length) {
    size_t written = 0;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t byte = source[i];
        if (NeedsEscape(byte)) {
            destination[written++] = kEscape;
            destination[written++] = static_cast<uint8_t>(byte ^ kEscapeXor);
        } else {
            destination[written++] = byte;
        }
    }
    return written;
}

size_t EscapedLength(const uint8_t* source, size_t length) {
    return length + static_cast<size_t>(std::count_if(source, source + length, NeedsEscape));
}

std::vector<uint8_t> BlockStartPayload(uint32_t total_length) { return BlockPayload(kBlockStartMagic, total_length, {}); }

std::vector<uint8_t> BlockDataPayload(uint32_t address, std::span<const uint8_t> chunk) {
    return BlockPayload(address, static_cast<uint32_t>(chunk.size()), chunk);
}

std::vector<uint8_t> BlockEndPayload() { return BlockPayload(kBlockEndMagic, 0, {}); }

Record EraseRecord() {
    Record record{};
    std::copy(std::begin(kEraseDrive), std::end(kEraseDrive), record.begin());
    std::memcpy(record.data() + kEraseCodeOffset, kEraseCode, sizeof kEraseCode - 1);
    return record;
}

Record InitPlusDataRecord(std::string_view drive_text, uint32_t start_addr, int size_mib, int flash_mib) {
    Record record{};
    // A drive letter is one character; a longer text is cut so that it never spills into
    // startAddr and byte 3 stays its terminator.
    const size_t kept = std::min(drive_text.size(), kDriveTextSize - 1);
    std::memcpy(record.data(), drive_text.data(), kept);
    PutU32(record.data() + 4, start_addr);
    record[8] = static_cast<uint8_t>(size_mib);
    record[9] = static_cast<uint8_t>(flash_mib);
    return record;
}

Record FsConfigRecord(int fs_type, int fs_dma, int fs_baud) {
    Record record{};
    PutU32(record.data(), static_cast<uint32_t>(fs_type));
    PutU32(record.data() + 4, static_cast<uint32_t>(fs_dma));
    PutU32(record.data() + 8, static_cast<uint32_t>(fs_baud));
    return record;
}

Record TextRecord(std::string_view text, uint32_t value) {
    Record record{};
    const size_t kept = std::min(text.size(), kRecordTextSize - 1);
    std::memcpy(record.data(), text.data(), kept);
    PutU32(record.data() + kRecordTextSize, value);
    return record;
}

Record FileHandleRecord(int handle, uint32_t chunk_length) {
    char text[32];
    std::snprintf(text, sizeof text, "handle:%d", handle);
    return TextRecord(text, chunk_length);
}

Record FileFinishRecord(int handle) {
    char text[32];
    std::snprintf(text, sizeof text, "finish.handle:%d", handle);
    return TextRecord(text, 0);
}

std::vector<uint8_t> FileDataPayload(int handle, std::span<const uint8_t> chunk) {
    const Record record = FileHandleRecord(handle, static_cast<uint32_t>(chunk.size()));
    std::vector<uint8_t> payload(kRecordSize + chunk.size());
    std::copy(record.begin(), record.end(), payload.begin());
    std::copy(chunk.begin(), chunk.end(), payload.begin() + kRecordSize);
    return payload;
}

}  // namespace korvane
