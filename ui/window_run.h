// The window's run from start to end, whichever toolkit shows it. The toolkit makes the
// frame with Parts(), shows and paints it, then calls StartUp (configuration and loads
// while the operator sees the window) and BeginRun (--autostart); its timer calls
// OnCollect every kCollectMs, which takes the finished terminals for the report, the
// session logs and the shared records, and says when --count or --timeout ends the window; after its loop it
// calls Finish for Stop, the last report, shut-down and the exit status, which is the
// console's: 0 every finished terminal passed, 1 one failed (or --count was not reached
// in time, or the report could not be written), 2 start-up ended, 3 Start refused.
// Thread safety: window thread only; the records it holds are given to run control,
// whose sessions report to them as IPortView and ISessionEvents say.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/run_control.h"
#include "app/report_file.h"
#include "app/run_records.h"
#include "ui/window_options.h"

namespace korvane {

class CKorvaneAppDownloadApp;
class Clock;
class FrameLogic;
class IMessageSink;
class PortRows;
class StationRecords;

// How often the finished terminals are collected.
inline constexpr int kCollectMs = 500;

class WindowRun {
public:
    using Warn = RunRecords::Warn;
    // warn: how a warning about the report, the session logs or the shared records
    // reaches the operator, later, from the window's loop.
    WindowRun(CKorvaneAppDownloadApp& app, PortRows& rows, const WindowOptions& options, Warn warn, Clock& clock);
    ~WindowRun();
    WindowRun(const WindowRun&) = delete;
    WindowRun& operator=(const WindowRun&) = delete;

    // What the frame's run control is given: the records' view and events in `parts`.
    RunControlParts Parts(RunControlParts parts = {});
    // Once the frame and its run control exist: the finished terminals are collected
    // before every Stop too, while run control still holds them.
    void Attach(FrameLogic& frame, RunControl& run, IMessageSink& sink);

    // Finds the configuration and loads everything, then opens the shared records when
    // asked; false when start-up ended (its message shown): the toolkit then skips its
    // loop and calls Finish.
    bool StartUp(const std::string& moduleDir);
    // Presses Start for --autostart and begins the --timeout count; false when Start
    // was refused (its message shown): the window should close.
    bool BeginRun();
    // Collects the terminals finished since the last call (the report is rewritten after
    // each, and a report that cannot be written is told once through warn); true when
    // --count is reached or --timeout has passed.
    bool OnCollect();
    // Stops a run still on, writes the report a last time, shuts the application down;
    // the exit status. Call once, after the window's loop.
    int Finish();

    const std::vector<TerminalOutcome>& Finished() const { return records_.Finished(); }

private:
    CKorvaneAppDownloadApp& app_;
    const WindowOptions options_;
    Clock& clock_;
    Warn warn_;
    RunRecords records_;
    ReportFile report_;
    std::unique_ptr<StationRecords> station_;
    FrameLogic* frame_ = nullptr;
    RunControl* run_ = nullptr;
    IMessageSink* sink_ = nullptr;
    enum class Stage { kCreated, kStartUpEnded, kStarted, kRefused } stage_ = Stage::kCreated;
    bool timedOut_ = false;
    uint64_t elapsedMs_ = 0;  // since BeginRun, summed from the clock's wrapping ticks
    uint32_t lastTick_ = 0;
};

}  // namespace korvane
