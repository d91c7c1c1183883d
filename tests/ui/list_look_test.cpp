// The port list's look as both windows take it: column widths from the screen width,
// headers, and the text colour of each cell.
#include <gtest/gtest.h>

#include "ui/list_look.h"

namespace korvane {
namespace {

TEST(ListLook, ColumnWidthsAddUpToTheScreen) {
    const struct {
        int screen;
        std::array<int, kColumnCount> widths;
    } cases[] = {
        {1920, {50, 300, 180, 1110, 100, 180}},
        {1024, {50, 300, 180, 214, 100, 180}},
        {910, {50, 300, 180, 100, 100, 180}},
        // Narrower screens (or none known) keep a usable Progress column instead of a
        // negative width.
        {800, {50, 300, 180, 100, 100, 180}},
        {0, {50, 300, 180, 100, 100, 180}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.screen);
        EXPECT_EQ(ColumnWidths(c.screen), c.widths);
    }
}

TEST(ListLook, Headers) {
    const char* headers[] = {"Port", "Step", "Status", "Progress", "Time(s)", "BindingPort"};
    for (int column = 0; column < kColumnCount; ++column) {
        EXPECT_EQ(ColumnHeader(column), headers[column]);
    }
    EXPECT_EQ(ColumnHeader(-1), "");
    EXPECT_EQ(ColumnHeader(kColumnCount), "");
}

TEST(ListLook, CellTextColours) {
    const struct {
        int column;
        const char* text;
        std::optional<Rgb> colour;  // nothing: the window's text colour
    } cases[] = {
        {kColProgress, "Passed", kPassedColour},
        {kColProgress, "Failed:Time out", kFailedColour},
        {kColProgress, "Failed:", kFailedColour},
        // "Passed" is looked for first, anywhere in the text.
        {kColProgress, "Failed:Passed twice", kPassedColour},
        {kColProgress, "In progress", kInfoColour},
        {kColProgress, "Waiting...", kInfoColour},
        {kColProgress, "Unplugged", kInfoColour},
        {kColProgress, "", kInfoColour},
        // Case matters: a lower-case word is no result.
        {kColProgress, "passed", kInfoColour},
        {kColProgress, "Failed", kInfoColour},
        {kColTime, "12s", kInfoColour},
        {kColBindingPort, "3", kInfoColour},
        {kColPort, "7", std::nullopt},
        {kColStep, "Passed", std::nullopt},
        {kColStatus, "Failed:", std::nullopt},
        {kColumnCount, "Passed", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.column) + " " + c.text);
        EXPECT_EQ(CellTextColour(c.column, c.text), c.colour);
    }
}

}  // namespace
}  // namespace korvane
