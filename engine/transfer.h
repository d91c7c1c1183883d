// Packet exchanges with a terminal in its loader: single commands, the multi-packet
// transfers and the single-record commands. Each returns 0 on success and -1 on failure
// with the failed exchange's text in message ("Time out", "remote: %s", "Port lost",
// "data too long. oLen (%d)", a refusal of bad input, or empty after a stop).
// The multi-packet transfers send one packet at a time, each after the previous answer,
// but build and sign the next packet while the current one is on the line.
// Thread safety: each session thread calls these on its own Session only; progress goes
// to the port view, which takes calls from any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "engine/packet.h"
#include "engine/response_reader.h"

namespace korvane {

inline constexpr uint32_t kImageTimeoutMs = 10000;
inline constexpr uint32_t kPartitionTimeoutMs = 50000;
inline constexpr uint32_t kEraseFirstTimeoutMs = 30000;
inline constexpr uint32_t kEraseEqualSizeTimeoutMs = 30000;
inline constexpr uint32_t kEraseFullTimeoutMs = 60000;
inline constexpr size_t kImageHeaderSize = 384;
inline constexpr size_t kLoadAddressOffset = 372;
inline constexpr size_t kTargetPathLimit = 256;  // a target path is shorter than this
inline constexpr size_t kResponseDataSize = 256;

// The packets of a block transfer (commands 0, 11 and 44): a start packet, the data in
// chunks of kImageChunk bytes at base_address (plus the chunk's offset when
// address_follows_offset), an end packet. Packet index runs from 0 to BlockPacketCount - 1.
size_t BlockPacketCount(size_t data_size);
std::vector<uint8_t> BlockPacketPayload(std::span<const uint8_t> data, uint32_t base_address,
                                        bool address_follows_offset, size_t index);
// Where an image's chunks are stored: the u32 at offset 372 (the image is at least
// kImageHeaderSize bytes).
uint32_t ImageLoadAddress(std::span<const uint8_t> image);

// One exchange: builds the frame for cmd with the payload, writes it and waits for the
// answer with check_response (data, message and length as there). message is cleared
// first, so a stop leaves it empty.
int SendCommand(Session& s, uint32_t cmd, std::span<const uint8_t> payload, std::span<uint8_t> data,
                 MessageBuffer message, uint32_t* length = nullptr);

// Command 0: start, data chunks of 1536 bytes at the load address (u32 at offset 372) plus
// their offset, end. Sets response_timeout to 10000, kept afterwards. An image shorter than
// its 384-byte header is refused before anything is sent.
int send_image(Session& s, std::span<const uint8_t> image, MessageBuffer message);
// Commands 11 and 44: as send_image with address 0 and the timeout left as it is.
int send_block(Session& s, uint32_t cmd, std::span<const uint8_t> data, MessageBuffer message);
// Commands 35, 36, 40, 43: one 528-byte packet (only the first 12 record bytes for 35 and
// 20 for 36). Command 35 sets response_timeout to 50000; command 36 awaits a first answer
// within 30000 ms and, unless its text is empty, a final one within 30000 ms ("Equal size")
// or 60000 ms.
int send_record(Session& s, uint32_t cmd, const Record& record, MessageBuffer message);
// The handle in the answer to a file-open packet: the decimal number after the first ":"
// (the whole text when there is none), read as atoi reads it (blanks, one sign, digits),
// held to the int range; 0 when there is no number.
int ParseHandle(std::string_view text);

// Command 37: open with the target path and size, data chunks of 1024 bytes under the
// handle the terminal gave, finish. A target path of 256 bytes or more is refused.
int send_file(Session& s, std::span<const uint8_t> file, std::string_view target_path, MessageBuffer message);

}  // namespace korvane
