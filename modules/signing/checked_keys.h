// Key pair blocks checked once: the seal, the scalar's range and that the stored public
// point is the scalar's. The outcome (and the scalar, for a sound block) is kept for the
// next call with the same 188 bytes, so each distinct key pair costs one check.
// Thread safety: CheckKeyPair may run on many threads at once (one lock around the table);
// a returned CheckedKey is never changed and stays valid while it is held.
#pragma once

#include "modules/signing/ec_key.h"
#include "modules/signing/keypair.h"

#include <memory>
#include <mbedtls/bignum.h>

namespace korvane {

struct CheckedKey {
    CheckedKey() { mbedtls_mpi_init(&scalar); }
    ~CheckedKey() { mbedtls_mpi_free(&scalar); }  // mbedTLS wipes the limbs
    CheckedKey(const CheckedKey&) = delete;
    CheckedKey& operator=(const CheckedKey&) = delete;

    SignStatus status = SignStatus::kFailed;  // kSigned: the block is sound
    mbedtls_mpi scalar;                       // the private scalar, set only when sound
};

// How many distinct blocks are remembered; one more empties the table first.
inline constexpr size_t kCheckedKeyLimit = 8;

// The outcome for this block; never null.
std::shared_ptr<const CheckedKey> CheckKeyPair(std::span<const uint8_t, kKeyPairSize> block);

}  // namespace korvane
