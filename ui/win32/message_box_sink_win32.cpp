#include "ui/win32/message_box_sink_win32.h"

#include "platform/wide_text_windows.h"

namespace korvane::win32 {

void MessageBoxSink::ShowMessage(const std::string& text) {
    // The owner may have gone (a message after the window closed): the box then stands alone.
    const HWND owner = IsWindow(owner_) != FALSE ? owner_ : nullptr;
    MessageBoxW(owner, Wide(text).c_str(), kCaption, MB_OK | MB_ICONWARNING);
}

}  // namespace korvane::win32
