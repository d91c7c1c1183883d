#include "sim/verified_signatures.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include <openssl/evp.h>

namespace korvane::sim {
namespace {

constexpr size_t kDigestSize = 32;
constexpr size_t kSignatureSize = 96;
using Pair = std::array<uint8_t, kDigestSize + kSignatureSize>;  // SHA-256 of the region, signature

struct PairHash {
    size_t operator()(const Pair& pair) const {
        size_t value = 0;
        std::memcpy(&value, pair.data(), sizeof value);
        return value;
    }
};

class RememberingCheck final : public SignatureCheck {
public:
    RememberingCheck(std::unique_ptr<SignatureCheck> check, size_t limit)
        : check_(std::move(check)), limit_(std::max<size_t>(limit, 1)), sha256_(EVP_MD_fetch(nullptr, "SHA256", nullptr)) {}
    ~RememberingCheck() override { EVP_MD_free(sha256_); }
    RememberingCheck(const RememberingCheck&) = delete;
    RememberingCheck& operator=(const RememberingCheck&) = delete;

    bool Verify(std::span<const uint8_t> signed_region, std::span<const uint8_t> signature) const override {
        if (signature.size() != kSignatureSize) {
            return check_->Verify(signed_region, signature);
        }
        Pair pair{};
        if (sha256_ == nullptr ||
            EVP_Digest(signed_region.data(), signed_region.size(), pair.data(), nullptr, sha256_, nullptr) != 1) {
            return check_->Verify(signed_region, signature);  // no key to remember it by
        }
        std::copy(signature.begin(), signature.end(), pair.begin() + kDigestSize);
        std::unique_lock hold(lock_);
        if (accepted_.count(pair) != 0) {
            return true;
        }
        // Terminals that receive the same packet at the same moment wait for one judgement.
        if (const auto judging = judging_.find(pair); judging != judging_.end()) {
            const std::shared_ptr<Judgement> judgement = judging->second;
            judged_.wait(hold, [&] { return judgement->done; });
            return judgement->valid;
        }
        const auto judgement = std::make_shared<Judgement>();
        judging_.emplace(pair, judgement);
        hold.unlock();
        const bool valid = check_->Verify(signed_region, signature);
        hold.lock();
        judgement->valid = valid;
        judgement->done = true;
        judging_.erase(pair);
        if (valid) {
            if (accepted_.size() >= limit_) {
                accepted_.clear();
            }
            accepted_.insert(pair);
        }
        judged_.notify_all();
        return valid;
    }

private:
    struct Judgement {
        bool done = false;
        bool valid = false;
    };

    std::unique_ptr<SignatureCheck> check_;
    const size_t limit_;
    EVP_MD* sha256_;  // fetched once: a fetch by name on every packet costs more than the digest
    mutable std::mutex lock_;
    mutable std::condition_variable judged_;
    mutable std::unordered_set<Pair, PairHash> accepted_;
    mutable std::unordered_map<Pair, std::shared_ptr<Judgement>, PairHash> judging_;
};

}  // namespace

std::unique_ptr<SignatureCheck> RememberAccepted(std::unique_ptr<SignatureCheck> check, size_t limit) {
    return std::make_unique<RememberingCheck>(std::move(check), limit);
}

}  // namespace korvane::sim
