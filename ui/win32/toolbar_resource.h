// The button layout of a TOOLBAR resource as windres writes it: button width, height and
// count, then one command number per slot (0 for a separator), every field 32 bits
// little-endian. A pure function over the resource's bytes.
// Thread safety: no shared state.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace korvane::win32 {

struct ToolbarLayout {
    int buttonWidth = 0;
    int buttonHeight = 0;
    std::vector<uint32_t> commands;  // in order; 0 is a separator
};

// Nothing when the bytes are shorter than their count says or hold no header.
std::optional<ToolbarLayout> ParseToolbarResource(std::span<const uint8_t> bytes);

}  // namespace korvane::win32
