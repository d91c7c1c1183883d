// The simulator's memory of accepted signatures: each distinct packet judged once, nothing
// refused ever accepted from memory, and the bound.
#include "sim/verified_signatures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace korvane::sim {
namespace {

using Bytes = std::vector<uint8_t>;

// Accepts a signature whose first byte equals the region's first byte; counts its calls.
class CountingCheck final : public SignatureCheck {
public:
    explicit CountingCheck(std::atomic<int>& calls) : calls_(calls) {}
    bool Verify(std::span<const uint8_t> region, std::span<const uint8_t> signature) const override {
        ++calls_;
        return !region.empty() && signature.size() == 96 && signature[0] == region[0];
    }

private:
    std::atomic<int>& calls_;
};

Bytes Region(uint8_t first) { return Bytes(168 + 1536, first); }
Bytes SignatureFor(uint8_t first, uint8_t tail = 0) {
    Bytes signature(96, tail);
    signature[0] = first;
    return signature;
}

TEST(VerifiedSignatures, EachAcceptedPairIsJudgedOnceAndRefusalsEveryTime) {
    std::atomic<int> calls{0};
    const auto check = RememberAccepted(std::make_unique<CountingCheck>(calls));
    const struct {
        const char* name;
        Bytes region;
        Bytes signature;
        bool valid;
        int calls_after;
    } steps[] = {
        {"first packet", Region(1), SignatureFor(1), true, 1},
        {"same packet again", Region(1), SignatureFor(1), true, 1},
        {"same region, another signature that is also accepted", Region(1), SignatureFor(1, 7), true, 2},
        {"same region, a wrong signature", Region(1), SignatureFor(2), false, 3},
        {"the wrong signature again", Region(1), SignatureFor(2), false, 4},
        {"another region with the first signature", Region(2), SignatureFor(1), false, 5},
        {"a short signature", Region(1), Bytes(95, 1), false, 6},
        {"the first packet still", Region(1), SignatureFor(1), true, 6},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(check->Verify(step.region, step.signature), step.valid) << step.name;
        EXPECT_EQ(calls.load(), step.calls_after) << step.name;
    }
}

TEST(VerifiedSignatures, AtTheBoundTheMemoryStartsAgain) {
    std::atomic<int> calls{0};
    const auto check = RememberAccepted(std::make_unique<CountingCheck>(calls), 2);
    for (const uint8_t first : {uint8_t{1}, uint8_t{2}, uint8_t{1}, uint8_t{2}}) {
        EXPECT_TRUE(check->Verify(Region(first), SignatureFor(first)));
    }
    EXPECT_EQ(calls.load(), 2);
    EXPECT_TRUE(check->Verify(Region(3), SignatureFor(3)));  // full: emptied, then 3 kept
    EXPECT_TRUE(check->Verify(Region(1), SignatureFor(1)));
    EXPECT_EQ(calls.load(), 4);
    EXPECT_TRUE(check->Verify(Region(3), SignatureFor(3)));
    EXPECT_EQ(calls.load(), 4);
}

// Holds every judgement until released, so that a second terminal asks while the first
// is still being judged.
class HeldCheck final : public SignatureCheck {
public:
    explicit HeldCheck(std::atomic<int>& calls) : calls_(calls) {}
    bool Verify(std::span<const uint8_t> region, std::span<const uint8_t> signature) const override {
        std::unique_lock lock(mutex_);
        ++calls_;
        arrived_.notify_all();
        released_.wait(lock, [this] { return open_; });
        return signature[0] == region[0];
    }
    void AwaitFirstCall() const {
        std::unique_lock lock(mutex_);
        arrived_.wait(lock, [this] { return calls_.load() > 0; });
    }
    void Release() const {
        std::lock_guard lock(mutex_);
        open_ = true;
        released_.notify_all();
    }

private:
    std::atomic<int>& calls_;
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    mutable std::condition_variable released_;
    mutable bool open_ = false;
};

TEST(VerifiedSignatures, TerminalsAskingAtOnceShareOneJudgement) {
    std::atomic<int> calls{0};
    auto held = std::make_unique<HeldCheck>(calls);
    const HeldCheck& gate = *held;
    const auto check = RememberAccepted(std::move(held));
    bool first = false;
    bool second = false;
    std::thread first_terminal([&] { first = check->Verify(Region(4), SignatureFor(4)); });
    gate.AwaitFirstCall();
    std::thread second_terminal([&] { second = check->Verify(Region(4), SignatureFor(4)); });
    gate.Release();
    first_terminal.join();
    second_terminal.join();
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
    EXPECT_EQ(calls.load(), 1);
}

}  // namespace
}  // namespace korvane::sim
