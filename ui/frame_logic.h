// The main frame's logic, whichever toolkit draws the frame: the title, Start and Stop
// with the toolbar and the run's one-second timer following the run state, the Settings
// dialog and the reload of the server images after it, the timer's ticks and the
// watcher's port changes, all handed to run control.
// Thread safety: window thread only. The watcher's port changes reach OnPortChange
// through the toolkit's own queue (a queued call, or the posted port-change message).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace korvane {

class CKorvaneAppDownloadApp;
class IMessageSink;
class RunControl;

// The posted message that carries a port change: wParam the port number, lParam 1 when
// the port appeared and 0 when it went.
inline constexpr uint32_t kPortChangeMessage = 0x0400 + 1022;  // 2046
// The run's one-second timer, set on the port list's window.
inline constexpr uintptr_t kRunTimerId = 0x10000;
inline constexpr int kRunTimerPeriodMs = 1000;

// What the frame logic asks of the toolkit's frame.
class IFrameWindow {
public:
    virtual ~IFrameWindow() = default;
    // Arms (true) or kills (false) the run's timer on the port list; arming an armed
    // timer or killing a dead one changes nothing.
    virtual void SetRunTimer(bool armed) = 0;
    // Enables or disables one toolbar command.
    virtual void EnableCommand(int command, bool enabled) = 0;
    // Shows the settings dialog modally; true when it closed with OK.
    virtual bool RunSettingsDialog() = 0;
};

class FrameLogic {
public:
    FrameLogic(CKorvaneAppDownloadApp& app, RunControl& run, IMessageSink& sink, IFrameWindow& window);

    // "KorvaneAppDownload_FOR_QV41C_V1.0_" and the build's date and time ("Aug 23 2022
    // 10:50:07").
    static std::string Title();

    // Start while no run is on: run control's checks (a refusal is its message), then
    // the timer and the commands follow the run state.
    void OnStart();
    // Stop while a run is on (the button, or the window closing): the before-stop hook,
    // then run control's Stop, the timer and the commands.
    void OnStop();
    // Called at the start of every Stop, while the sessions that ended by themselves can
    // still be taken from run control.
    void SetBeforeStop(std::function<void()> hook);
    // The dialog; after OK with the App download on, the server images are held again.
    void OnSettings();
    // A tick of the run's timer (only while it is armed).
    void OnTick();
    void OnPortChange(uint32_t wParam, intptr_t lParam);
    // Enables each toolbar command by the run state.
    void UpdateCommands();

private:
    void FollowRunTimer();

    CKorvaneAppDownloadApp& app_;
    RunControl& run_;
    IMessageSink& sink_;
    IFrameWindow& window_;
    std::function<void()> beforeStop_;
};

}  // namespace korvane
