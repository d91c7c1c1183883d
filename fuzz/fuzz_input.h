// Taking a fuzz input apart in the simple layouts the targets and their seed writer share:
// single bytes, 16-bit little-endian lengths and length-prefixed pieces.
// Thread safety: one reader belongs to one call of a target.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::fuzz {

class InputReader {
public:
    explicit InputReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool empty() const { return bytes_.empty(); }
    // The next byte, 0 when none is left.
    uint8_t Byte() {
        if (bytes_.empty()) {
            return 0;
        }
        const uint8_t value = bytes_.front();
        bytes_ = bytes_.subspan(1);
        return value;
    }
    uint16_t Le16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    // Up to n bytes (fewer when the input ends).
    std::span<const uint8_t> Take(size_t n) {
        const std::span<const uint8_t> piece = bytes_.first(std::min(n, bytes_.size()));
        bytes_ = bytes_.subspan(piece.size());
        return piece;
    }
    // A piece preceded by its 16-bit length.
    std::span<const uint8_t> Piece() { return Take(Le16()); }
    std::string Text() { return AsText(Piece()); }
    std::span<const uint8_t> Rest() { return Take(bytes_.size()); }

    static std::string AsText(std::span<const uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

private:
    std::span<const uint8_t> bytes_;
};

// The writer's side of the same layout, for seeds.
class InputWriter {
public:
    InputWriter& Byte(uint8_t value) {
        bytes_.push_back(value);
        return *this;
    }
    InputWriter& Le16(uint16_t value) { return Byte(static_cast<uint8_t>(value)).Byte(static_cast<uint8_t>(value >> 8)); }
    InputWriter& Raw(std::span<const uint8_t> bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    InputWriter& Raw(std::string_view text) {
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        return *this;
    }
    InputWriter& Piece(std::span<const uint8_t> bytes) { return Le16(static_cast<uint16_t>(bytes.size())).Raw(bytes); }
    InputWriter& Piece(std::string_view text) { return Le16(static_cast<uint16_t>(text.size())).Raw(text); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace korvane::fuzz
