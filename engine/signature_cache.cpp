#include "engine/signature_cache.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "crypto/digest.h"
#include "platform/environment.h"

namespace korvane {
namespace {

// How often a waiter looks at its stop condition.
constexpr auto kStopPoll = std::chrono::milliseconds(5);

}  // namespace

bool SharedSignaturesWanted() {
    return EnvironmentVariable(kSharedSignaturesVariable) != "0";
}

size_t SignatureCache::DigestHash::operator()(const Digest& digest) const {
    size_t value = 0;
    std::memcpy(&value, digest.data(), sizeof value);
    return value;
}

SignatureCache::SignatureCache(size_t limit) : limit_(std::max<size_t>(limit, 1)) {}

size_t SignatureCache::Size() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return slots_.size();
}

SharedSignOutcome SignatureCache::Sign(SignFn sign, VerifyFn verify, std::span<const uint8_t, 188> key_pair,
                                       std::span<const uint8_t> region, std::span<uint8_t, 96> signature,
                                       const StopCheck& stopped) {
    Digest digest{};
    Sha256(region.data(), region.size(), digest.data());
    std::unique_lock<std::mutex> hold(lock_);
    KeepOnly(sign, key_pair);
    bool is_new = false;
    const std::shared_ptr<Entry> entry = FindOrAdd(digest, is_new);
    if (is_new) {
        hold.unlock();
        return SignAsFirst(sign, verify, key_pair, region, digest, entry, signature);
    }
    return AwaitOther(hold, entry, sign, key_pair, region, signature, stopped);
}

void SignatureCache::KeepOnly(SignFn sign, std::span<const uint8_t, 188> key_pair) {
    if (sign == sign_ && std::equal(key_pair.begin(), key_pair.end(), keyPair_.begin())) {
        return;
    }
    // Signings still running for the old key pair finish into their own entries, which
    // their waiters hold; nobody asking from now on can find them.
    slots_.clear();
    recent_.clear();
    sign_ = sign;
    std::copy(key_pair.begin(), key_pair.end(), keyPair_.begin());
}

std::shared_ptr<SignatureCache::Entry> SignatureCache::FindOrAdd(const Digest& digest, bool& is_new) {
    if (const auto found = slots_.find(digest); found != slots_.end()) {
        recent_.splice(recent_.begin(), recent_, found->second.age);
        is_new = false;
        return found->second.entry;
    }
    if (slots_.size() >= limit_) {
        slots_.erase(recent_.back());
        recent_.pop_back();
    }
    recent_.push_front(digest);
    auto entry = std::make_shared<Entry>();
    slots_.emplace(digest, Slot{entry, recent_.begin()});
    is_new = true;
    return entry;
}

void SignatureCache::ForgetIfSigner(const Digest& digest, const std::shared_ptr<Entry>& entry) {
    const auto found = slots_.find(digest);
    if (found != slots_.end() && found->second.entry == entry) {
        recent_.erase(found->second.age);
        slots_.erase(found);
    }
}

SharedSignOutcome SignatureCache::SignAsFirst(SignFn sign, VerifyFn verify, std::span<const uint8_t, 188> key_pair,
                                              std::span<const uint8_t> region, const Digest& digest,
                                              const std::shared_ptr<Entry>& entry, std::span<uint8_t, 96> signature) {
    std::array<uint8_t, 96> made{};
    const auto length = static_cast<uint32_t>(region.size());
    const bool signed_ok = sign != nullptr && sign(key_pair.data(), region.data(), length, 0, made.data()) == 0;
    // Every session of the run would take a kept signature: one bad result must not fail
    // them all, so the module checks it once before it is kept.
    const bool sound =
        signed_ok && (verify == nullptr || verify(key_pair.data(), region.data(), length, 0, made.data()) == 1);
    {
        const std::lock_guard<std::mutex> hold(lock_);
        entry->state = sound ? Entry::State::kSigned : signed_ok ? Entry::State::kUnsound : Entry::State::kRefused;
        entry->signature = made;
        if (!sound) {
            ForgetIfSigner(digest, entry);  // the next asker signs again
        }
    }
    done_.notify_all();
    if (!signed_ok) {
        return SharedSignOutcome::kRefused;
    }
    std::copy(made.begin(), made.end(), signature.begin());
    return SharedSignOutcome::kSigned;
}

SharedSignOutcome SignatureCache::AwaitOther(std::unique_lock<std::mutex>& hold, const std::shared_ptr<Entry>& entry,
                                             SignFn sign, std::span<const uint8_t, 188> key_pair,
                                             std::span<const uint8_t> region, std::span<uint8_t, 96> signature,
                                             const StopCheck& stopped) {
    while (entry->state == Entry::State::kSigning) {
        if (stopped && stopped()) {
            return SharedSignOutcome::kStopped;
        }
        done_.wait_for(hold, kStopPoll);
    }
    if (entry->state == Entry::State::kRefused) {
        return SharedSignOutcome::kRefused;
    }
    if (entry->state == Entry::State::kUnsound) {
        // Not the one signature to take: this caller signs for itself, as without sharing.
        hold.unlock();
        const bool signed_ok = sign != nullptr && sign(key_pair.data(), region.data(),
                                                       static_cast<uint32_t>(region.size()), 0, signature.data()) == 0;
        return signed_ok ? SharedSignOutcome::kSigned : SharedSignOutcome::kRefused;
    }
    std::copy(entry->signature.begin(), entry->signature.end(), signature.begin());
    return SharedSignOutcome::kSigned;
}

}  // namespace korvane
