// The "Download Set" dialog on Windows: dialog resource 317 with its controls, run by the
// shared dialog rules (set_dialog_rules.h) through the ISetControls it implements; the
// Open buttons use the system's file and folder pickers.
// Thread safety: window thread only, while no run is active.
#pragma once

#include <windows.h>

#include <string>

#include "ui/set_dialog_rules.h"
#include "ui/win32/message_box_sink_win32.h"

namespace korvane {
class CKorvaneAppDownloadApp;
}  // namespace korvane

namespace korvane::win32 {

class SetDialog final : public ISetControls {
public:
    // sink: where the rules' messages go; null for message boxes owned by the dialog.
    explicit SetDialog(CKorvaneAppDownloadApp& app, IMessageSink* sink = nullptr);
    ~SetDialog() override;
    SetDialog(const SetDialog&) = delete;
    SetDialog& operator=(const SetDialog&) = delete;

    // Shows the dialog modally over `owner`; true when it closed with OK.
    bool Run(HWND owner);
    // Shows it without waiting (the window's own loop runs it); it goes away by itself on
    // OK or Cancel. Null when it cannot be made.
    HWND Open(HWND owner);
    HWND Handle() const { return dialog_; }
    // Whether the last close was an accepted OK.
    bool Accepted() const { return accepted_; }

    bool Checked(int id) const override;
    void SetChecked(int id, bool on) override;
    std::string Text(int id) const override;
    void SetText(int id, const std::string& text) override;
    void Enable(int id, bool on) override;
    int LcdSelection() const override;
    void SetLcdSelection(int index) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInit();
    void OnCommand(int id, int code);
    void Close(bool accepted);
    void OnOpenApp();
    void OnOpenFile(const FileKind& kind, bool logo);
    void OnOpenLocal(int set);
    HWND Control(int id) const { return GetDlgItem(dialog_, id); }

    CKorvaneAppDownloadApp& app_;
    MessageBoxSink boxes_;
    IMessageSink& sink_;
    HWND dialog_ = nullptr;
    bool modal_ = false;
    bool accepted_ = false;
};

}  // namespace korvane::win32
