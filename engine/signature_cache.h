// Signatures of bulk-data packets shared by every session of the process. Signatures are
// deterministic, so a signed region that was signed once under a key pair needs no second
// computation: the first asker signs it, askers arriving meanwhile wait for that result,
// and later askers copy it.
//
// Bound: at most kSharedSignatureLimit regions are kept (about 10 MiB: a 32-byte SHA-256 of
// the region, the 96-byte signature and the table's bookkeeping each); at the bound the
// least recently used region is forgotten and would be signed again when asked for.
// A call with another key pair or signing function forgets everything first. A refused
// signature (an unsound key pair) is never kept: every asker gets the refusal. A signature
// that the module's verify does not accept is never kept either: its own asker gets it, as
// it would have without sharing, and askers that waited for it sign for themselves.
//
// Thread safety: every call may run on many threads at once (one lock around the table;
// signing itself runs outside it).
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <span>
#include <unordered_map>

#include "modules/signing/signing_abi.h"

namespace korvane {

inline constexpr size_t kSharedSignatureLimit = 32768;
// The environment variable that turns sharing off when it is "0": every session then signs
// every packet itself.
inline constexpr char kSharedSignaturesVariable[] = "KORVANE_SHARED_SIGNATURES";

// False when kSharedSignaturesVariable is "0" in the environment.
bool SharedSignaturesWanted();

// True when the caller has been told to stop; checked while waiting for another's signature.
using StopCheck = std::function<bool()>;

enum class SharedSignOutcome {
    kSigned,   // signature holds the region's 96 bytes
    kRefused,  // the signing function refused; signature untouched
    kStopped,  // the caller stopped while another signed the region; signature untouched
};

class SignatureCache {
public:
    explicit SignatureCache(size_t limit = kSharedSignatureLimit);
    SignatureCache(const SignatureCache&) = delete;
    SignatureCache& operator=(const SignatureCache&) = delete;

    // The signature of region under key_pair, made by sign at most once while kept, and
    // kept only once verify accepts it (null verify: kept unchecked; start-up binds no
    // signing module without one). A caller waiting for another's computation checks
    // stopped every few milliseconds.
    SharedSignOutcome Sign(SignFn sign, VerifyFn verify, std::span<const uint8_t, 188> key_pair,
                           std::span<const uint8_t> region, std::span<uint8_t, 96> signature, const StopCheck& stopped);

    // How many regions are kept now (signed or being signed).
    size_t Size() const;
    // How many regions are kept at most.
    size_t Limit() const { return limit_; }

private:
    using Digest = std::array<uint8_t, 32>;
    struct DigestHash {
        size_t operator()(const Digest& digest) const;
    };
    struct Entry {
        enum class State { kSigning, kSigned, kRefused, kUnsound } state = State::kSigning;
        std::array<uint8_t, 96> signature{};
    };
    struct Slot {
        std::shared_ptr<Entry> entry;
        std::list<Digest>::iterator age;  // position in recent_
    };

    // Under lock_: the slot for digest, made (and marked as being signed) when missing.
    std::shared_ptr<Entry> FindOrAdd(const Digest& digest, bool& is_new);
    void ForgetIfSigner(const Digest& digest, const std::shared_ptr<Entry>& entry);
    void KeepOnly(SignFn sign, std::span<const uint8_t, 188> key_pair);
    SharedSignOutcome SignAsFirst(SignFn sign, VerifyFn verify, std::span<const uint8_t, 188> key_pair,
                                  std::span<const uint8_t> region, const Digest& digest,
                                  const std::shared_ptr<Entry>& entry, std::span<uint8_t, 96> signature);
    // Waits for another's signature of the region; signs for itself when that one was unsound.
    SharedSignOutcome AwaitOther(std::unique_lock<std::mutex>& hold, const std::shared_ptr<Entry>& entry, SignFn sign,
                                 std::span<const uint8_t, 188> key_pair, std::span<const uint8_t> region,
                                 std::span<uint8_t, 96> signature, const StopCheck& stopped);

    const size_t limit_;
    mutable std::mutex lock_;
    std::condition_variable done_;
    SignFn sign_ = nullptr;
    std::array<uint8_t, 188> keyPair_{};
    std::unordered_map<Digest, Slot, DigestHash> slots_;
    std::list<Digest> recent_;  // most recently used first
};

}  // namespace korvane
