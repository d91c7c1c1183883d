#include "ui/win32/toolbar_resource.h"

#include "engine/packet.h"

namespace korvane::win32 {

namespace {

constexpr size_t kField = 4;
constexpr size_t kHeaderFields = 3;

uint32_t FieldAt(std::span<const uint8_t> bytes, size_t index) {
    return GetU32(bytes.data() + index * kField);
}

}  // namespace

std::optional<ToolbarLayout> ParseToolbarResource(std::span<const uint8_t> bytes) {
    const size_t fields = bytes.size() / kField;
    if (fields < kHeaderFields) {
        return std::nullopt;
    }
    const uint32_t count = FieldAt(bytes, 2);
    if (count > fields - kHeaderFields) {
        return std::nullopt;
    }
    ToolbarLayout layout;
    layout.buttonWidth = static_cast<int>(FieldAt(bytes, 0));
    layout.buttonHeight = static_cast<int>(FieldAt(bytes, 1));
    for (uint32_t i = 0; i < count; ++i) {
        layout.commands.push_back(FieldAt(bytes, kHeaderFields + i));
    }
    return layout;
}

}  // namespace korvane::win32
