// One simulated terminal: a pseudo-terminal published as a virtual port and an I/O
// thread that feeds what the tool writes to the terminal's behaviour (TerminalLogic)
// and writes its answers back, with the delays, unplugs and 8N1 pacing its faults ask for.
// Thread safety: every public call may run from any thread. The record is guarded by
// one lock; on_event is called on the terminal's own thread (or in Plug/Unplug).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sim/pseudo_terminal.h"
#include "sim/terminal_logic.h"
#include "sim/virtual_port.h"

namespace korvane::sim {

struct SimTerminalConfig {
    int port = 1;                       // n of COMn
    std::string ports_dir;              // where COM<n> is published
    std::string wine_prefix;            // also linked as PREFIX/dosdevices/com<n>; empty: not
    std::string description = kDefaultPortDescription;
    uint32_t baud = 0;                  // 0: no pacing
    TerminalSettings settings;
    const SignatureCheck* check = nullptr;  // must outlive the terminal; null: no verification
    std::function<void(int port, const TerminalEvent&)> on_event;
};

// A cheap look at a terminal, for deciding whether it has finished.
struct TerminalStatus {
    bool plugged = false;
    bool received_any = false;  // a text command or a packet arrived since plug-in
    bool check_sp = false;
    bool reset = false;
    bool answering = false;     // answers are queued or on their way out
    std::chrono::steady_clock::time_point last_activity;
};

class SimTerminal {
public:
    explicit SimTerminal(SimTerminalConfig config);
    ~SimTerminal();
    SimTerminal(const SimTerminal&) = delete;
    SimTerminal& operator=(const SimTerminal&) = delete;

    // Opens a pseudo-terminal, starts the I/O thread and publishes the port. A terminal
    // plugged in again starts afresh (application or configured mode, empty record).
    bool Plug(std::string& error);
    // Removes the port, stops the thread and closes the pseudo-terminal. Not from on_event.
    void Unplug();

    int Port() const { return config_.port; }
    std::string LinkPath() const;
    bool Plugged() const;
    TerminalMode Mode() const;
    TerminalRecord Snapshot() const;
    TerminalStatus Status() const;
    // When bytes last went either way (or the terminal was plugged).
    std::chrono::steady_clock::time_point LastActivity() const;

    // Waits until the predicate holds on the record; false on time-out.
    bool WaitUntil(const std::function<bool(const TerminalRecord&)>& done, std::chrono::milliseconds timeout) const;
    // Waits until the terminal is unplugged (by a fault or by Unplug); false on time-out.
    bool WaitUnplugged(std::chrono::milliseconds timeout) const;

private:
    struct Outgoing;
    struct IoState;
    struct WaitPlan;

    void Run();
    // Writes what is due; false when the terminal is to be unplugged or the device failed.
    bool SendDueAnswers(IoState& io, WaitPlan& plan);
    // Waits as planned and feeds what arrived to the terminal; false when the device failed.
    bool TakeInput(IoState& io, const WaitPlan& plan);
    void Emit(const TerminalEvent& event);
    void Withdraw();

    SimTerminalConfig config_;
    std::unique_ptr<PseudoTerminal> pty_;
    std::thread thread_;
    std::atomic<bool> stop_{false};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::unique_ptr<TerminalLogic> logic_;
    bool plugged_ = false;
    size_t queued_answers_ = 0;
    std::chrono::steady_clock::time_point last_activity_;
};

}  // namespace korvane::sim
