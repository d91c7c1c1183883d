// Fakes for driving the watcher one polling pass at a time: a clock whose pause between
// passes waits for the test, a scripted port list and a recording poster.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "discovery/port_enum.h"
#include "platform/tick.h"

namespace korvane::testing {

// Each pause ends a polling pass; the watcher goes on only when the test lets it.
class PassGate final : public Clock {
public:
    uint32_t Now() override { return 0; }

    void Pause(uint32_t) override {
        std::unique_lock lock(mutex_);
        ++passes_;
        cv_.notify_all();
        cv_.wait(lock, [this] { return open_ || permits_ > 0; });
        if (!open_) {
            --permits_;
        }
    }

    // Waits until the watcher has finished its first pass.
    void AwaitFirstPass() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return passes_ >= 1; });
    }

    // Lets the watcher run exactly one more pass and waits until it has.
    void RunPass() {
        std::unique_lock lock(mutex_);
        const int target = passes_ + 1;
        ++permits_;
        cv_.notify_all();
        cv_.wait(lock, [&] { return passes_ >= target; });
    }

    // Back to a closed gate with no pass counted; only while no watcher thread runs.
    void Reset() {
        std::lock_guard lock(mutex_);
        passes_ = 0;
        permits_ = 0;
        open_ = false;
    }

    // From now on pauses return at once (before Stop, so the thread can leave).
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        cv_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int passes_ = 0;
    int permits_ = 0;
    bool open_ = false;
};

// The port list the test sets; remembers which threads asked for it.
class ScriptedPorts final : public IPortEnumerator {
public:
    struct Shared {
        std::mutex mutex;
        std::vector<PortInterface> ports;
        bool fail = false;
        std::set<std::thread::id> callers;
    };

    explicit ScriptedPorts(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

    bool List(std::vector<PortInterface>& ports) override {
        std::lock_guard lock(shared_->mutex);
        shared_->callers.insert(std::this_thread::get_id());
        if (shared_->fail) {
            return false;
        }
        ports = shared_->ports;
        return true;
    }

private:
    std::shared_ptr<Shared> shared_;
};

// Records every port change it is given; can be told to refuse the next posts.
class RecordingPoster {
public:
    struct Change {
        uint32_t nPort;
        int lParam;
        bool operator==(const Change&) const = default;
    };

    bool Post(uint32_t nPort, int lParam) {
        std::lock_guard lock(mutex_);
        ++attempts_;
        if (refusals_ > 0) {
            --refusals_;
            return false;
        }
        changes_.push_back({nPort, lParam});
        return true;
    }

    void RefuseNext(int count) {
        std::lock_guard lock(mutex_);
        refusals_ = count;
    }

    std::vector<Change> Changes() {
        std::lock_guard lock(mutex_);
        return changes_;
    }

    int Attempts() {
        std::lock_guard lock(mutex_);
        return attempts_;
    }

private:
    std::mutex mutex_;
    std::vector<Change> changes_;
    int attempts_ = 0;
    int refusals_ = 0;
};

}  // namespace korvane::testing
