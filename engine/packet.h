// Packets to the terminal: the 268-byte header, the payload layouts of every command,
// the CRC and the byte stuffing. Pure functions over byte buffers; no I/O.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/little_endian.h"

namespace korvane {

inline constexpr uint32_t kPacketMagic = 0x5A5AA5A5;
inline constexpr size_t kHeaderSize = 268;
inline constexpr size_t kSignatureOffset = 4;
inline constexpr size_t kSignatureSize = 96;
inline constexpr size_t kSignedRegionOffset = 100;  // reserved, length, cmd, payload
inline constexpr size_t kLengthOffset = 260;
inline constexpr size_t kCmdOffset = 264;
inline constexpr size_t kCrcSize = 4;
inline constexpr size_t kRecordSize = 260;
inline constexpr size_t kRecordTextSize = 256;  // NUL-padded text in front of a record's u32
inline constexpr size_t kMaxFrame = 4096;
inline constexpr size_t kMaxEscaped = kMaxFrame - 2;
inline constexpr size_t kPacketBufferSize = 2048;
inline constexpr uint8_t kFlag = 0x7E;
inline constexpr uint8_t kEscape = 0x7D;
inline constexpr uint8_t kEscapeXor = 0x20;
inline constexpr uint32_t kImageChunk = 1536;
inline constexpr uint32_t kFileChunk = 1024;
inline constexpr uint32_t kBlockStartMagic = 0x89ABCDEF;
inline constexpr uint32_t kBlockEndMagic = 0xEFCDAB89;
inline constexpr size_t kBlockPayloadHeader = 8;  // address (or magic) and length

// Command codes of the link.
enum LinkCommand : uint32_t {
    kCmdImage = 0,
    kCmdRunApp = 1,
    kCmdAutoRun = 2,
    kCmdVersion = 5,
    kCmdLogo = 11,
    kCmdReset = 25,
    kCmdSecureBootEnable = 31,
    kCmdSecureBootQuery = 33,
    kCmdPartitionInit = 35,
    kCmdErase = 36,
    kCmdFile = 37,
    kCmdMakeDir = 40,
    kCmdFsConfig = 43,
    kCmdAmr = 44,
    kCmdOpenDownload = 48,
};

#pragma pack(push, 1)
struct PacketHeader {
    uint32_t magic;
    uint8_t signature[96];
    uint8_t reserved[160];
    uint32_t length;  // header + payload, without the CRC
    uint32_t cmd;
};
#pragma pack(pop)
static_assert(sizeof(PacketHeader) == kHeaderSize, "the packet header is 268 bytes on the wire");
static_assert(offsetof(PacketHeader, signature) == kSignatureOffset);
static_assert(offsetof(PacketHeader, reserved) == kSignedRegionOffset);
static_assert(offsetof(PacketHeader, length) == kLengthOffset);
static_assert(offsetof(PacketHeader, cmd) == kCmdOffset);

using Record = std::array<uint8_t, kRecordSize>;

// Payloads of the short commands: "0" / "1" (commands 2, 25, 48) and the 16 zero bytes
// of the secure-boot query and enable (commands 33, 31).
std::array<uint8_t, 1> CharPayload(char c);
inline constexpr std::array<uint8_t, 16> kSecureBootPayload{};

// CRC-32 with the reflected 0x04C11DB7 table, initial value 0 and no final XOR.
// crc carries a running value, so a region may be checked in pieces.
uint32_t crc32_packet(const uint8_t* data, size_t length, uint32_t crc = 0);
// Escapes 0x7D and 0x7E as 0x7D, byte ^ 0x20; returns the bytes written (<= 2 * length).
size_t escape_frame(uint8_t* destination, const uint8_t* source, size_t length);
// The length escape_frame would produce, without writing anything.
size_t EscapedLength(const uint8_t* source, size_t length);

// Block payloads of commands 0, 11 and 44.
std::vector<uint8_t> BlockStartPayload(uint32_t total_length);
std::vector<uint8_t> BlockDataPayload(uint32_t address, std::span<const uint8_t> chunk);
std::vector<uint8_t> BlockEndPayload();

// Erase record of command 36: "::", the code "904731", zeros.
Record EraseRecord();
// initPlusData of command 35: the drive text (the drive letter followed by ":", e.g. "C:";
// a longer text is cut to 3 bytes so that byte 3 stays its NUL), the start address as
// configured (4 KiB units), and the low bytes of the partition size and the SPI flash
// size (MiB).
Record InitPlusDataRecord(std::string_view drive_text, uint32_t start_addr, int size_mib, int flash_mib);
// Command 43: FSType, FSDMA, FSBaud as three u32.
Record FsConfigRecord(int fs_type, int fs_dma, int fs_baud);
// A NUL-padded narrow text in bytes 0-255 and a u32 in bytes 256-259; the text is cut at
// 255 bytes so that it stays NUL-terminated. Used for command 40 (directory path, 0) and
// the file-open packet of command 37 (target path, file size).
Record TextRecord(std::string_view text, uint32_t value);
// Command 37 data and finish records: "handle:%d" with the chunk length, and
// "finish.handle:%d" with 0.
Record FileHandleRecord(int handle, uint32_t chunk_length);
Record FileFinishRecord(int handle);
// Command 37 data packet payload: the handle record followed by the chunk.
std::vector<uint8_t> FileDataPayload(int handle, std::span<const uint8_t> chunk);

}  // namespace korvane
