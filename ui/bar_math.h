// The arithmetic of the per-row progress bar: range scaling, position clamping, the
// percentage shown and the filled rectangle. Pure functions, so the rules can be
// checked without painting. Thread safety: no shared state.
#pragma once

#include <cstdint>

namespace korvane {

// Range and position of a bar; every value already divided by nScale.
struct BarRange {
    int nRangeLow = 0;
    int nRangeHigh = 100;
    int nSpan = 100;  // |nRangeHigh - nRangeLow|, at least 1
    int nPosition = 0;
    unsigned nScale = 1;  // 16 for ranges above 2^31 - 1, else 1
};

// A rectangle with exclusive right and bottom edges, as the painter's device sees it.
struct BarRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Range 0 .. nUpper; ranges above 2^31 - 1 are kept divided by 16. Keeps the position.
void SetBarRange(BarRange& bar, uint32_t nUpper);
// Position in the same unit as the range, scaled and clamped into the range.
void SetBarPos(BarRange& bar, uint32_t nPos);
// Whole percent shown: (|low| + position) * (100 / span), truncated.
int BarPercent(const BarRange& bar);
// The part of client that a bar at percent fills: from the left, or from the bottom for
// a vertical bar. A fill that would pass the far edge stops one pixel short of it.
BarRect FilledRect(const BarRect& client, int percent, bool vertical);

}  // namespace korvane
