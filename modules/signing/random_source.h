// A private random generator (CTR-DRBG seeded from the system's entropy) for one call or one
// object; never shared, so callers on different threads each own theirs.
#pragma once

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>

namespace korvane {

class RandomSource {
public:
    RandomSource();
    ~RandomSource();
    RandomSource(const RandomSource&) = delete;
    RandomSource& operator=(const RandomSource&) = delete;

    // Whether seeding worked; a source that is not ready must not be used.
    bool Ready() const { return ready_; }

    // For mbedTLS calls that take a generator function and its context.
    static int Generate(void* self, unsigned char* output, size_t length);
    void* Context() { return this; }

private:
    mbedtls_entropy_context entropy_;
    mbedtls_ctr_drbg_context drbg_;
    bool ready_ = false;
};

}  // namespace korvane
