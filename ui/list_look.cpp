#include "ui/list_look.h"

#include <algorithm>

namespace korvane {

namespace {

constexpr std::array<std::string_view, kColumnCount> kHeaders{"Port",     "Step",    "Status",
                                                              "Progress", "Time(s)", "BindingPort"};
// Every column but Progress has a fixed width; Progress takes what the screen leaves.
constexpr std::array<int, kColumnCount> kFixedWidths{50, 300, 180, 0, 100, 180};

}  // namespace

std::string_view ColumnHeader(int column) {
    return column >= 0 && column < kColumnCount ? kHeaders[static_cast<size_t>(column)] : std::string_view();
}

std::array<int, kColumnCount> ColumnWidths(int screenWidth) {
    std::array<int, kColumnCount> widths = kFixedWidths;
    int fixed = 0;
    for (int width : kFixedWidths) {
        fixed += width;
    }
    widths[kColProgress] = std::max(screenWidth - fixed, kMinProgressWidth);
    return widths;
}

std::optional<Rgb> CellTextColour(int column, std::string_view text) {
    switch (column) {
        case kColProgress:
            if (text.find("Passed") != std::string_view::npos) {
                return kPassedColour;
            }
            if (text.find("Failed:") != std::string_view::npos) {
                return kFailedColour;
            }
            return kInfoColour;
        case kColTime:
        case kColBindingPort: return kInfoColour;
        default: return std::nullopt;
    }
}

}  // namespace korvane
