// Operator messages of the Windows window: a modal box with one OK button and the caption
// "KorvaneAppDownload", owned by the main window once it exists.
// Thread safety: window thread only (a modal box runs a nested message loop).
#pragma once

#include <windows.h>

#include "app/message_sink.h"

namespace korvane::win32 {

// The caption of every message box of the program.
inline constexpr wchar_t kCaption[] = L"KorvaneAppDownload";

class MessageBoxSink final : public IMessageSink {
public:
    void SetOwner(HWND owner) { owner_ = owner; }
    void ShowMessage(const std::string& text) override;

private:
    HWND owner_ = nullptr;
};

}  // namespace korvane::win32
