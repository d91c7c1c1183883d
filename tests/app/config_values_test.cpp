#include "app/config_values.h"

#include <cstdint>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace korvane {
namespace {

TEST(SwitchRuleTest, OnlyExactlyOneIsOn) {
    EXPECT_TRUE(IsSwitchOn("1"));
    for (const char* off : {"", "0", "true", "TRUE", "01", " 1", "1 ", "1\n", "2", "-1", "+1", "yes", "１"}) {
        EXPECT_FALSE(IsSwitchOn(off)) << '"' << off << '"';
    }
}

TEST(IntegerRuleTest, ReadsLikeASigned32BitDecimal) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"", 0},
        {"0", 0},
        {"42", 42},
        {"007", 7},
        {"  42", 42},
        {"\t\r\n\v\f 9", 9},
        {"-7", -7},
        {"+15", 15},
        {" -12", -12},
        {"12abc", 12},
        {"3 4", 3},
        {"1e3", 1},
        {"0x10", 0},
        {"abc", 0},
        {"-", 0},
        {"+", 0},
        {"+-3", 0},
        {"--3", 0},
        {"- 3", 0},
        {"４２", 0},  // full-width digits are no digits
        {"2147483647", kMax},
        {"2147483648", kMax},
        {"-2147483648", kMin},
        {"-2147483649", kMin},
        {"99999999999999999999999999999999", kMax},
        {"-99999999999999999999999999999999", kMin},
        {"00000000000000000000000000000012", 12},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseIniInteger(c.text), c.value) << '"' << c.text << '"';
    }
}

}  // namespace
}  // namespace korvane
