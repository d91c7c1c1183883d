// A picture of a window as it shows on the screen, saved as PNG (or BMP for a .bmp name).
// Thread safety: window thread only.
#pragma once

#include <windows.h>

#include <string>

namespace korvane::win32 {

// False with the reason in `error` when the window cannot be captured or the file written.
bool SaveWindowPicture(HWND window, const std::string& file, std::string& error);

}  // namespace korvane::win32
