#include "sim/sim_terminal.h"

#include <algorithm>
#include <deque>
#include <vector>

#include "sim/wine_port.h"
#include "sim/wire_time.h"

namespace korvane::sim {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr size_t kReadChunk = 4096;
// Paced answers leave in slices this small (about 1.4 ms at 115200 baud), so the tool
// sees bytes arrive at the line's pace rather than in bursts.
constexpr size_t kPaceSlice = 16;

}  // namespace

struct SimTerminal::Outgoing {
    Answer answer;
    SteadyClock::time_point not_before;  // when the request had fully arrived
    bool started = false;
    SteadyClock::time_point start;
    size_t sent = 0;
};

struct SimTerminal::IoState {
    std::deque<Outgoing> queue;
    SteadyClock::time_point in_wire_end;   // when the last received byte is through the line
    SteadyClock::time_point previous_end;  // when the last answer was
    std::vector<uint8_t> buffer;
};

struct SimTerminal::WaitPlan {
    std::chrono::nanoseconds timeout{-1};  // until the next answer or slice is due; -1: none
    bool want_room = false;                // the device is full and an answer waits
};

SimTerminal::SimTerminal(SimTerminalConfig config) : config_(std::move(config)) {}

SimTerminal::~SimTerminal() { Unplug(); }

std::string SimTerminal::LinkPath() const { return VirtualPortLink(config_.ports_dir, config_.port); }

bool SimTerminal::Plug(std::string& error) {
    if (Plugged()) {
        error = "COM" + std::to_string(config_.port) + " is plugged in already";
        return false;
    }
    Unplug();  // joins the thread of an earlier plug that a fault ended
    if (config_.ports_dir.empty()) {
        error = "no folder for virtual ports (KORVANE_VIRTUAL_PORTS)";
        return false;
    }
    pty_ = PseudoTerminal::Open(error);
    if (!pty_) {
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        logic_ = std::make_unique<TerminalLogic>(config_.settings, config_.check);
        last_activity_ = SteadyClock::now();
        queued_answers_ = 0;
        plugged_ = true;
    }
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    // Wine's device link comes first: a program that sees the port must be able to open it.
    if (!config_.wine_prefix.empty() &&
        !PublishWineComPort(config_.wine_prefix, config_.port, pty_->SlavePath(), error)) {
        Unplug();
        return false;
    }
    if (!PublishVirtualPort(config_.ports_dir, config_.port, pty_->SlavePath(), config_.description, error)) {
        Unplug();
        return false;
    }
    Emit({"plugged", LinkPath() + " -> " + pty_->SlavePath()});
    return true;
}

void SimTerminal::Unplug() {
    if (!thread_.joinable()) {
        return;
    }
    stop_ = true;
    pty_->Wake();
    thread_.join();
    if (Plugged()) {
        Withdraw();
    }
    pty_.reset();
}

void SimTerminal::Withdraw() {
    WithdrawVirtualPort(config_.ports_dir, config_.port);
    if (!config_.wine_prefix.empty()) {
        WithdrawWineComPort(config_.wine_prefix, config_.port);
    }
    pty_->Close();
    {
        std::lock_guard lock(mutex_);
        plugged_ = false;
    }
    changed_.notify_all();
    Emit({"unplugged", ""});
}

bool SimTerminal::Plugged() const {
    std::lock_guard lock(mutex_);
    return plugged_;
}

TerminalMode SimTerminal::Mode() const {
    std::lock_guard lock(mutex_);
    return logic_ ? logic_->Mode() : config_.settings.start_mode;
}

TerminalRecord SimTerminal::Snapshot() const {
    std::lock_guard lock(mutex_);
    return logic_ ? logic_->Record() : TerminalRecord{};
}

TerminalStatus SimTerminal::Status() const {
    std::lock_guard lock(mutex_);
    TerminalStatus status;
    status.plugged = plugged_;
    status.last_activity = last_activity_;
    status.answering = queued_answers_ > 0;
    if (logic_) {
        const TerminalRecord& record = logic_->Record();
        status.received_any = !record.texts.empty() || !record.packets.empty();
        status.check_sp = record.check_sp;
        status.reset = record.reset;
    }
    return status;
}

std::chrono::steady_clock::time_point SimTerminal::LastActivity() const {
    std::lock_guard lock(mutex_);
    return last_activity_;
}

bool SimTerminal::WaitUntil(const std::function<bool(const TerminalRecord&)>& done,
                            std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return logic_ && done(logic_->Record()); });
}

bool SimTerminal::WaitUnplugged(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return !plugged_; });
}

void SimTerminal::Emit(const TerminalEvent& event) {
    if (config_.on_event) {
        config_.on_event(config_.port, event);
    }
}

void SimTerminal::Run() {
    IoState io;
    io.buffer.resize(kReadChunk);
    while (!stop_) {
        WaitPlan plan;
        if (!SendDueAnswers(io, plan) || !TakeInput(io, plan)) {
            Withdraw();
            return;
        }
    }
}

bool SimTerminal::SendDueAnswers(IoState& io, WaitPlan& plan) {
    const uint32_t baud = config_.baud;
    auto now = SteadyClock::now();
    bool wrote = false;
    // Answers leave in order, each after the one before it and after its delay.
    while (!io.queue.empty()) {
        Outgoing& item = io.queue.front();
        if (!item.started) {
            item.start = std::max(item.not_before, io.previous_end) + std::chrono::milliseconds(item.answer.delay_ms);
            item.started = true;
        }
        const size_t remaining = item.answer.bytes.size() - item.sent;
        // A paced slice is handed over once its last byte would be through the line.
        const size_t slice = baud != 0 ? std::min(remaining, kPaceSlice) : remaining;
        const auto due = item.start + WireTime(item.sent + slice, baud);
        if (now < due) {
            plan.timeout = due - now;
            break;
        }
        if (item.answer.kind == Answer::Kind::kUnplug) {
            return false;
        }
        const long put = slice == 0 ? 0 : pty_->Write(item.answer.bytes.data() + item.sent, slice);
        if (put < 0) {
            return false;
        }
        if (put == 0 && slice != 0) {
            plan.want_room = true;
            break;
        }
        wrote = wrote || put > 0;
        item.sent += static_cast<size_t>(put);
        if (item.sent == item.answer.bytes.size()) {
            io.previous_end = baud != 0 ? item.start + WireTime(item.sent, baud) : now;
            io.queue.pop_front();
        } else if (baud == 0) {
            plan.want_room = true;
            break;
        }
        now = SteadyClock::now();
    }
    if (wrote) {
        std::lock_guard lock(mutex_);
        last_activity_ = now;
        queued_answers_ = io.queue.size();
    }
    return true;
}

bool SimTerminal::TakeInput(IoState& io, const WaitPlan& plan) {
    const PseudoTerminal::Readiness ready = pty_->Wait(plan.want_room, plan.timeout);
    if (ready.failed) {
        return false;
    }
    if (!ready.input) {
        return true;
    }
    const long got = pty_->Read(io.buffer.data(), io.buffer.size());
    if (got <= 0) {
        return got == 0;
    }
    const auto now = SteadyClock::now();
    const uint32_t baud = config_.baud;
    // Paced, the bytes have arrived only when their last one is through the line.
    io.in_wire_end = baud != 0 ? std::max(io.in_wire_end, now) + WireTime(static_cast<uint64_t>(got), baud) : now;
    Reaction reaction;
    {
        std::lock_guard lock(mutex_);
        logic_->Receive(std::span(io.buffer.data(), static_cast<size_t>(got)), reaction);
        for (Answer& answer : reaction.answers) {
            io.queue.push_back({std::move(answer), io.in_wire_end, false, {}, 0});
        }
        queued_answers_ = io.queue.size();
        last_activity_ = now;
    }
    changed_.notify_all();
    for (const TerminalEvent& event : reaction.events) {
        Emit(event);
    }
    return true;
}

}  // namespace korvane::sim
