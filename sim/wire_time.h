// Time that bytes take on a serial line: 8N1 is ten bits per byte.
#pragma once

#include <chrono>
#include <cstdint>

namespace korvane::sim {

inline constexpr uint64_t kBitsPerByte = 10;

inline std::chrono::nanoseconds WireTime(uint64_t bytes, uint32_t baud) {
    if (baud == 0) {
        return std::chrono::nanoseconds(0);
    }
    return std::chrono::nanoseconds(bytes * kBitsPerByte * 1'000'000'000ULL / baud);
}

}  // namespace korvane::sim
