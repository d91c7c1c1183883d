// The terminal's side of the link format: CRC, byte stuffing, frame collection and
// the answer frames. Written apart from the tool's engine, so that the simulated
// terminal judges the tool's packets instead of mirroring its code.
// Thread safety: free functions are pure; one FrameCollector belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace korvane::sim {

inline constexpr uint8_t kWireFlag = 0x7E;
inline constexpr uint8_t kWireEscape = 0x7D;
inline constexpr uint8_t kEscapeXor = 0x20;
// Bytes allowed between the two flags of a frame.
inline constexpr size_t kMaxStuffed = 4094;

uint32_t ReadLe32(const uint8_t* at);
void WriteLe32(uint8_t* at, uint32_t value);

// Reflected CRC-32 of polynomial 0x04C11DB7, initial value 0, no final XOR.
uint32_t LinkCrc32(std::span<const uint8_t> bytes);

// 0x7D and 0x7E become 0x7D, byte ^ 0x20; nothing else changes.
std::vector<uint8_t> StuffBytes(std::span<const uint8_t> bytes);
// Undoes StuffBytes. False when an escape is dangling at the end or escapes a byte
// that never needs escaping: a sender that does either is not speaking the link.
bool UnstuffBytes(std::span<const uint8_t> stuffed, std::vector<uint8_t>& plain);
// 0x7E, the stuffed content, 0x7E.
std::vector<uint8_t> FrameOf(std::span<const uint8_t> content);

// Answer contents (before framing): status, data length, then data or error text.
std::vector<uint8_t> SuccessAnswer(std::span<const uint8_t> data);
std::vector<uint8_t> SuccessAnswer(std::string_view text);
std::vector<uint8_t> FailureAnswer(std::string_view text);

// One piece of the byte stream as the collector sees it.
struct StreamPiece {
    enum class Kind {
        kText,      // bytes outside any frame (plain-text commands, noise)
        kFrame,     // the stuffed bytes between an opening and a closing flag
        kTooLong,   // a frame that grew past kMaxStuffed bytes; its bytes are dropped
    };
    Kind kind = Kind::kText;
    std::vector<uint8_t> bytes;
};

// Splits a byte stream into frames and the text between them. Two adjacent flags
// do not make an empty frame: the second flag opens the frame, so a stream that
// lost its place finds it again at the next flag pair.
class FrameCollector {
public:
    void Feed(std::span<const uint8_t> bytes, std::vector<StreamPiece>& out);
    // Forgets a half-collected frame (the terminal changed mode).
    void Reset();

private:
    void FlushText(std::vector<StreamPiece>& out);

    bool inside_ = false;
    bool overflow_ = false;
    std::vector<uint8_t> frame_;
    std::vector<uint8_t> text_;
};

}  // namespace korvane::sim
