// The per-port session record that run control makes and hands to the session thread.
// Thread safety: pRun, nPort and pChannel are set before the thread starts and only read
// by it; bOpened and pThread belong to run control (front end's thread); bStop is set by
// run control to make the session leave at its next wait. channelLock is held by run control
// while it cancels the channel's I/O and by the session while it closes a lost channel.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "modules/channel/channel_abi.h"

namespace korvane {

class Clock;
class IPortView;
class ISessionEvents;
struct DownloadPlan;

// What every session of a run shares, owned by run control for the run's length.
struct RunContext {
    const DownloadPlan* plan = nullptr;
    IPortView* view = nullptr;
    ISessionEvents* events = nullptr;         // may be null
    const std::atomic<int>* running = nullptr;  // the run's flag
    Clock* clock = nullptr;                     // null: the system clock
};

struct _THREAD_PARA_T {
    const RunContext* pRun = nullptr;
    uint32_t nPort = 0;
    uint8_t bOpened = 0;
    IChannel* pChannel = nullptr;
    std::thread pThread;
    std::atomic<bool> bStop{false};     // the session's own stop flag
    std::atomic<bool> bFinished{false}; // set by the session thread as it returns
    std::mutex channelLock;
};

}  // namespace korvane
