// The main frame's toolbar as both windows build it: the commands with their numbers,
// captions and picture indexes, the pictures' size, the panel slot, the background, and
// which command is enabled in which run state.
// Thread safety: constants and pure functions, callable from any thread.
#pragma once

#include <array>
#include <string_view>

#include "ui/list_look.h"

namespace korvane {

// Command numbers of the toolbar (and of the frame's command handlers).
enum ToolbarCommand : int {
    kCmdSettings = 32771,
    kCmdStart = 32772,
    kCmdStop = 32773,
    kCmdPanel = 32774,  // the wide slot after the buttons that carries the text panel
};

struct ToolbarButton {
    int command;
    const char* caption;  // UTF-8; also the button's tooltip
    int image;            // index of its picture in each of the three strips
};

// The buttons in toolbar order; a separator and the panel slot follow them.
inline constexpr std::array<ToolbarButton, 3> kToolbarButtons{{
    {kCmdSettings, "设置", 0},
    {kCmdStart, "开始", 1},
    {kCmdStop, "停止", 2},
}};

// Each of the three strips (normal, disabled, hot) holds six square pictures side by
// side; black is transparent.
inline constexpr int kToolbarImageSize = 48;
inline constexpr int kToolbarStripImages = 6;
inline constexpr Rgb kToolbarMask{0, 0, 0};
// The panel slot's width, and how much shorter than the slot the panel is at top and at
// bottom.
inline constexpr int kPanelWidth = 1200;
inline constexpr int kPanelInset = 2;
// The toolbar's and the panel's background.
inline constexpr Rgb kToolbarBackground{236, 233, 216};

// The button of a command; null for a number that is not one of the buttons.
const ToolbarButton* FindToolbarButton(int command);

// Whether a command can be used: Settings never, Start while no run is on, Stop while
// one is; every other number (the panel slot included) always.
bool CommandEnabled(int command, bool running);

}  // namespace korvane
