// How the port list looks, whichever toolkit paints it: the six columns with their
// headers and widths, the row height, the background, the font and the text colour of
// each cell. Both windows take these values; neither keeps its own copy.
// Thread safety: constants and pure functions, callable from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "app/port_rows.h"

namespace korvane {

// A colour as red, green and blue.
struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

// Every row, whatever its text, is this many pixels high.
inline constexpr int kListRowHeight = 60;
// The list where there are no rows.
inline constexpr Rgb kListBackground{200, 200, 200};
// The list's one font: the face and its height in pixels (the height of a line, not of
// the letters' em square).
inline constexpr const char* kListFontFace = "Arial";
inline constexpr int kListFontHeight = 20;
// The filled part of a row's progress bar.
inline constexpr Rgb kBarColour{0, 128, 128};
// The Progress column never gets narrower than this, even on a narrow screen.
inline constexpr int kMinProgressWidth = 100;

// Text colours of the cells.
inline constexpr Rgb kPassedColour{0, 202, 0};
inline constexpr Rgb kFailedColour{255, 0, 0};
inline constexpr Rgb kInfoColour{0, 0, 255};

// The header of a column (centred, like every cell); empty outside 0 .. kColumnCount - 1.
std::string_view ColumnHeader(int column);

// Widths of the six columns for a screen of the given width in pixels: they add up to
// that width, except that the Progress column keeps kMinProgressWidth on a narrower one.
std::array<int, kColumnCount> ColumnWidths(int screenWidth);

// Text colour of a cell: green for a Progress text holding "Passed", else red for one
// holding "Failed:", else blue; blue for Time(s) and BindingPort; nothing (the window's
// text colour) for Port, Step and Status.
std::optional<Rgb> CellTextColour(int column, std::string_view text);

}  // namespace korvane
