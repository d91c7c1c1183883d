// The main window on Windows: the toolbar with Settings, Start and Stop and the text panel,
// the port list, the status bar with the CAP, NUM and SCRL indicators. Commands go to run
// control; the watcher's port changes arrive as posted message 2046.
// Thread safety: window thread only, except PostPortChange, which any thread may call
// while the frame exists.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>

#include "app/run_control.h"
#include "ui/frame_logic.h"
#include "ui/win32/port_list.h"

namespace korvane {
class CKorvaneAppDownloadApp;
class IMessageSink;
}  // namespace korvane

namespace korvane::win32 {

class MainFrame final : public IFrameWindow {
public:
    static constexpr int kListId = 0xE900;
    static constexpr int kStatusBarId = 0xE801;
    static constexpr int kToolBarId = 0xE800;

    MainFrame(CKorvaneAppDownloadApp& app, PortRows& rows, IMessageSink& sink, RunControlParts parts = {});
    ~MainFrame() override;
    MainFrame(const MainFrame&) = delete;
    MainFrame& operator=(const MainFrame&) = delete;

    // Makes the window with its bars and list, not yet shown; false when any part fails.
    bool Create();
    HWND Handle() const { return frame_; }
    HWND ToolBar() const { return toolBar_; }
    HWND StatusBar() const { return statusBar_; }
    PortList& List() { return list_; }
    RunControl& Run() { return *run_; }
    FrameLogic& Logic() { return *logic_; }

    // Start, and Stop (the button, or the window closing), as the shared frame logic runs them.
    void OnStart() { logic_->OnStart(); }
    void OnStop() { logic_->OnStop(); }
    // Posts the watcher's port change to the frame; false when it could not be posted.
    bool PostPortChange(uint32_t nPort, int lParam);
    // Shows CAP, NUM and SCRL as the keys stand now.
    void UpdateIndicators();
    // Gives a keyboard message to the frame's accelerators; true when one took it.
    bool TranslateAccelerators(MSG& message);

    // What the frame logic asks of the window.
    void SetRunTimer(bool armed) override;
    void EnableCommand(int command, bool enabled) override;
    bool RunSettingsDialog() override;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ToolBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR subclass,
                                        DWORD_PTR self);
    static LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR subclass,
                                      DWORD_PTR self);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool CreateToolBar();
    bool LoadImageLists();
    void CreatePanel(int index);
    bool CreateStatusBar();
    void LayOut();
    void OnCommand(int command);
    static void PaintPanel(HWND panel);

    CKorvaneAppDownloadApp& app_;
    IMessageSink& sink_;
    HWND frame_ = nullptr;
    HWND toolBar_ = nullptr;
    HWND panel_ = nullptr;
    HWND statusBar_ = nullptr;
    HACCEL accelerators_ = nullptr;
    HIMAGELIST images_[3] = {nullptr, nullptr, nullptr};
    PortList list_;
    std::unique_ptr<RunControl> run_;
    std::unique_ptr<FrameLogic> logic_;
};

}  // namespace korvane::win32
