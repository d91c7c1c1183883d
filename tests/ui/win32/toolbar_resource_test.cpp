// The TOOLBAR resource's layout as windres writes it, from byte tables.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "ui/win32/toolbar_resource.h"

namespace korvane::win32 {
namespace {

std::vector<uint8_t> Fields(std::initializer_list<uint32_t> fields) {
    std::vector<uint8_t> bytes;
    for (const uint32_t field : fields) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<uint8_t>(field >> shift));
        }
    }
    return bytes;
}

TEST(ToolbarResourceTest, ReadsSizeAndCommandsWithSeparators) {
    const auto layout = ParseToolbarResource(Fields({50, 50, 5, 32771, 32772, 32773, 0, 32774}));
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->buttonWidth, 50);
    EXPECT_EQ(layout->buttonHeight, 50);
    EXPECT_EQ(layout->commands, (std::vector<uint32_t>{32771, 32772, 32773, 0, 32774}));
}

TEST(ToolbarResourceTest, RefusesBytesShorterThanTheirCount) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"empty", {}},
        {"header cut short", Fields({50, 50})},
        {"count beyond the commands", Fields({50, 50, 3, 32771, 32772})},
        {"count near the 32-bit limit", Fields({50, 50, 0xFFFFFFFF, 32771})},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(ParseToolbarResource(c.bytes)) << c.name;
    }
}

TEST(ToolbarResourceTest, IgnoresATrailingPartialField) {
    std::vector<uint8_t> bytes = Fields({48, 48, 1, 32772});
    bytes.push_back(0x7F);
    const auto layout = ParseToolbarResource(bytes);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->commands, (std::vector<uint32_t>{32772}));
}

}  // namespace
}  // namespace korvane::win32
