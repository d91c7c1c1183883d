#include "ui/bar_math.h"

#include <cstdlib>

namespace korvane {

namespace {
constexpr uint32_t kLargestPlainRange = 0x7FFFFFFFu;
constexpr unsigned kLargeRangeScale = 16;
}  // namespace

void SetBarRange(BarRange& bar, uint32_t nUpper) {
    bar.nScale = nUpper > kLargestPlainRange ? kLargeRangeScale : 1;
    bar.nRangeLow = 0;
    // At most 0xFFFFFFFF / 16 after scaling, so the value fits an int.
    bar.nRangeHigh = static_cast<int>(nUpper / bar.nScale);
    const int span = std::abs(bar.nRangeHigh - bar.nRangeLow);
    bar.nSpan = span == 0 ? 1 : span;
}

void SetBarPos(BarRange& bar, uint32_t nPos) {
    // Clamp in a wide type: a position above 2^31 - 1 on an unscaled range is past its
    // upper end, not a negative number below its lower one.
    const int64_t scaled = nPos / bar.nScale;
    int64_t position = scaled;
    if (position < bar.nRangeLow) {
        position = bar.nRangeLow;
    }
    if (position > bar.nRangeHigh) {
        position = bar.nRangeHigh;
    }
    bar.nPosition = static_cast<int>(position);
}

int BarPercent(const BarRange& bar) {
    const double done = static_cast<double>(std::abs(bar.nRangeLow)) + bar.nPosition;
    return static_cast<int>(done * (100.0 / bar.nSpan));
}

BarRect FilledRect(const BarRect& client, int percent, bool vertical) {
    BarRect filled = client;
    if (vertical) {
        const int height = client.bottom - client.top;
        const float f = static_cast<float>((height / 100.0) * percent);
        filled.top = client.bottom - static_cast<int>(f);
        if (filled.top < client.top) {
            filled.top = client.top + 1;
        }
    } else {
        const int width = client.right - client.left;
        const float f = static_cast<float>((width / 100.0) * percent);
        filled.right = client.left + static_cast<int>(f);
        if (filled.right > client.right) {
            filled.right = client.right - 1;
        }
    }
    return filled;
}

}  // namespace korvane
