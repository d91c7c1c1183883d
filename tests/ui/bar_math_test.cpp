// The progress bar's arithmetic: range scaling, clamping, the percentage and the filled
// rectangle, as both windows paint it.
#include <gtest/gtest.h>

#include "ui/bar_math.h"

namespace korvane {
namespace {

struct BarCase {
    const char* name;
    uint32_t upper;
    uint32_t position;
    int expectHigh;
    unsigned expectScale;
    int expectSpan;
    int expectPosition;
    int expectPercent;
};

TEST(BarMath, RangePositionAndPercent) {
    const BarCase cases[] = {
        {"empty range", 0, 0, 0, 1, 1, 0, 0},
        {"empty range, any position", 0, 500, 0, 1, 1, 0, 0},
        {"above 2^31-1 is scaled by 16", 4000000000u, 2000000000u, 250000000, 16, 250000000, 125000000, 50},
        {"largest plain range", 0x7FFFFFFFu, 0x7FFFFFFFu, 0x7FFFFFFF, 1, 0x7FFFFFFF, 0x7FFFFFFF, 100},
        {"just above plain", 0x80000000u, 0x80000000u, 0x08000000, 16, 0x08000000, 0x08000000, 100},
        {"clamped to the upper end", 100, 150, 100, 1, 100, 100, 100},
        {"position above 2^31 on a plain range is full, not empty", 100, 3000000000u, 100, 1, 100, 100, 100},
        {"a third truncates", 3, 1, 3, 1, 3, 1, 33},
        {"bytes of a transfer", 65536, 32768, 65536, 1, 65536, 32768, 50},
    };
    for (const BarCase& c : cases) {
        SCOPED_TRACE(c.name);
        BarRange bar;
        SetBarRange(bar, c.upper);
        SetBarPos(bar, c.position);
        EXPECT_EQ(bar.nRangeLow, 0);
        EXPECT_EQ(bar.nRangeHigh, c.expectHigh);
        EXPECT_EQ(bar.nScale, c.expectScale);
        EXPECT_EQ(bar.nSpan, c.expectSpan);
        EXPECT_EQ(bar.nPosition, c.expectPosition);
        EXPECT_EQ(BarPercent(bar), c.expectPercent);
    }
}

TEST(BarMath, FilledRectangle) {
    struct RectCase {
        const char* name;
        BarRect client;
        int percent;
        bool vertical;
        BarRect expect;
    };
    const RectCase cases[] = {
        {"33 % of 400 pixels", {0, 0, 400, 60}, 33, false, {0, 0, 132, 60}},
        {"offset cell", {10, 5, 410, 65}, 33, false, {10, 5, 142, 65}},
        {"empty", {0, 0, 400, 60}, 0, false, {0, 0, 0, 60}},
        {"full", {0, 0, 400, 60}, 100, false, {0, 0, 400, 60}},
        {"past the edge stops one short", {0, 0, 400, 60}, 101, false, {0, 0, 399, 60}},
        {"width truncated", {0, 0, 333, 60}, 50, false, {0, 0, 166, 60}},
        {"vertical fills from the bottom", {0, 0, 20, 200}, 25, true, {0, 150, 20, 200}},
        {"vertical past the top stops one short", {0, 0, 20, 200}, 101, true, {0, 1, 20, 200}},
    };
    for (const RectCase& c : cases) {
        SCOPED_TRACE(c.name);
        const BarRect r = FilledRect(c.client, c.percent, c.vertical);
        EXPECT_EQ(r.left, c.expect.left);
        EXPECT_EQ(r.top, c.expect.top);
        EXPECT_EQ(r.right, c.expect.right);
        EXPECT_EQ(r.bottom, c.expect.bottom);
    }
}

}  // namespace
}  // namespace korvane
