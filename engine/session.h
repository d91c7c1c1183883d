// What one port's session works with: its terminal's channel, the run's download plan,
// its row in the port view, its clock and its stop conditions.
// Thread safety: a Session belongs to one session thread; the flags it points to are
// atomics written by the front end's thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/download_plan.h"
#include "engine/port_view.h"
#include "engine/session_events.h"
#include "modules/channel/channel_abi.h"
#include "platform/tick.h"

namespace korvane {

struct Session {
    const DownloadPlan* plan = nullptr;
    IChannel* channel = nullptr;
    IPortView* view = nullptr;
    ISessionEvents* events = nullptr;  // who keeps a record of the session (may be null)
    uint32_t nPort = 0;
    // Wait for the first byte of an answer, in ms; changed along the session's steps.
    uint32_t response_timeout = 5000;
    const std::atomic<int>* running = nullptr;  // the run's flag, cleared by Stop (may be null)
    const std::atomic<bool>* stop = nullptr;    // the session's own stop flag (may be null)
    Clock* clock = &DefaultClock();

    ISessionEvents& Events() const {
        static ISessionEvents none;
        return events != nullptr ? *events : none;
    }

    // False once the run was stopped (its flag cleared) or this session was told to stop.
    bool Running() const {
        return (running == nullptr || running->load(std::memory_order_relaxed) != 0) &&
               (stop == nullptr || !stop->load(std::memory_order_relaxed));
    }
};

}  // namespace korvane
