// Signing the download plan's application images, logo and audio file ahead of the sessions:
// when a run starts, one background thread puts the signatures of their block-transfer
// packets into the shared signatures, in the order a session sends them, so that even the
// first terminal of a run finds them made.
//
// It never holds up Start or a session: Start only launches the thread, and a session that
// overtakes it signs its packets itself (or waits for the one signature being made at that
// moment, which it would otherwise make itself). Without shared signatures it does nothing.
//
// Thread safety: Start and Stop belong to the front end's thread (run control). The
// background thread only reads the plan, which no one changes during a run, and leaves at
// its next packet once stopped or once the run's flag is cleared.
#pragma once

#include <atomic>
#include <thread>

namespace korvane {

struct DownloadPlan;

class SignAhead {
public:
    SignAhead() = default;
    ~SignAhead() { Stop(); }
    SignAhead(const SignAhead&) = delete;
    SignAhead& operator=(const SignAhead&) = delete;

    // Stops a previous pass, then starts signing the plan's data on the background thread.
    // The plan and the flag must outlive the pass (until Stop).
    void Start(const DownloadPlan& plan, const std::atomic<int>& running);
    // Tells the thread to leave and joins it.
    void Stop();

private:
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

// The pass itself, on the calling thread: what the background thread runs. Returns how many
// packets it asked for (signed by it or found made).
size_t SignLoadedDataAhead(const DownloadPlan& plan, const std::atomic<int>& running, const std::atomic<bool>& stop);

}  // namespace korvane
