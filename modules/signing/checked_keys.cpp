#include "modules/signing/checked_keys.h"

#include "modules/signing/curve.h"
#include "modules/signing/mbed_value.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace korvane {
namespace {

SignStatus CheckSoundness(mbedtls_ecp_group& curve, std::span<const uint8_t, kKeyPairSize> block, CheckedKey& key) {
    if (!KeyPairSealed(block)) {
        return SignStatus::kBadSeal;
    }
    if (mbedtls_mpi_read_binary(&key.scalar, block.data() + kKeyPairPrivateOffset, kKeyPairPrivateSize) != 0 ||
        mbedtls_ecp_check_privkey(&curve, &key.scalar) != 0) {
        return SignStatus::kBadPrivateKey;
    }
    // A public point that is not the scalar's would make every signature fail at the terminal.
    Point stored;
    Point derived;
    if (mbedtls_ecp_point_read_binary(&curve, &stored.value, block.data() + kKeyPairPublicOffset,
                                      kKeyPairPublicSize) != 0 ||
        mbedtls_ecp_check_pubkey(&curve, &stored.value) != 0 ||
        mbedtls_ecp_mul(&curve, &derived.value, &key.scalar, &curve.G, BlindingGenerate, nullptr) != 0 ||
        mbedtls_ecp_point_cmp(&stored.value, &derived.value) != 0) {
        return SignStatus::kBadPublicKey;
    }
    return SignStatus::kSigned;
}

std::shared_ptr<const CheckedKey> Check(std::span<const uint8_t, kKeyPairSize> block) {
    auto key = std::make_shared<CheckedKey>();
    mbedtls_ecp_group* curve = SharedCurve();
    key->status = curve == nullptr ? SignStatus::kFailed : CheckSoundness(*curve, block, *key);
    if (key->status != SignStatus::kSigned) {
        mbedtls_mpi_free(&key->scalar);
        mbedtls_mpi_init(&key->scalar);
    }
    return key;
}

class CheckedKeyTable {
public:
    std::shared_ptr<const CheckedKey> Find(std::span<const uint8_t, kKeyPairSize> block) {
        KeyPairBlock bytes{};
        std::copy(block.begin(), block.end(), bytes.begin());
        const std::lock_guard<std::mutex> hold(lock_);
        if (const auto found = keys_.find(bytes); found != keys_.end()) {
            return found->second;
        }
        // Checked under the lock, so that callers asking for the same new block at once
        // wait for one check instead of each making it.
        std::shared_ptr<const CheckedKey> key = Check(block);
        if (key->status == SignStatus::kFailed) {
            return key;  // a passing fault (no curve): try again next time
        }
        if (keys_.size() >= kCheckedKeyLimit) {
            keys_.clear();
        }
        keys_.emplace(bytes, key);
        return key;
    }

private:
    std::mutex lock_;
    std::map<KeyPairBlock, std::shared_ptr<const CheckedKey>> keys_;
};

}  // namespace

std::shared_ptr<const CheckedKey> CheckKeyPair(std::span<const uint8_t, kKeyPairSize> block) {
    static CheckedKeyTable table;
    return table.Find(block);
}

}  // namespace korvane
