#include "sim/verified_signatures.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include <mbedtls/sha256.h>

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
        : check_(std::move(check)), limit_(std::max<size_t>(limit, 1)) {}

    bool Verify(std::span<const uint8_t> signed_region, std::span<const uint8_t> signature) const override {
        if (signature.size() != kSignatureSize) {
            return check_->Verify(signed_region, signature);
        }
        Pair pair{};
        mbedtls_sha256_ret(signed_region.data(), signed_region.size(), pair.data(), 0);
        std::copy(signature.begin(), signature.end(), pair.begin() + kDigestSize);
        {
            const std::lock_guard<std::mutex> hold(lock_);
            if (accepted_.count(pair) != 0) {
                return true;
            }
        }
        if (!check_->Verify(signed_region, signature)) {
            return false;
        }
        const std::lock_guard<std::mutex> hold(lock_);
        if (accepted_.size() >= limit_) {
            accepted_.clear();
        }
        accepted_.insert(pair);
        return true;
    }

private:
    std::unique_ptr<SignatureCheck> check_;
    const size_t limit_;
    mutable std::mutex lock_;
    mutable std::unordered_set<Pair, PairHash> accepted_;
};

}  // namespace

std::unique_ptr<SignatureCheck> RememberAccepted(std::unique_ptr<SignatureCheck> check, size_t limit) {
    return std::make_unique<RememberingCheck>(std::move(check), limit);
}

}  // namespace korvane::sim
