#include "modules/signing/random_source.h"

namespace korvane {

RandomSource::RandomSource() {
    mbedtls_entropy_init(&entropy_);
    mbedtls_ctr_drbg_init(&drbg_);
    static constexpr unsigned char kPersonalisation[] = "korvane key pair";
    ready_ = mbedtls_ctr_drbg_seed(&drbg_, mbedtls_entropy_func, &entropy_, kPersonalisation,
                                   sizeof kPersonalisation - 1) == 0;
}

RandomSource::~RandomSource() {
    mbedtls_ctr_drbg_free(&drbg_);
    mbedtls_entropy_free(&entropy_);
}

int RandomSource::Generate(void* self, unsigned char* output, size_t length) {
    return mbedtls_ctr_drbg_random(&static_cast<RandomSource*>(self)->drbg_, output, length);
}

}  // namespace korvane
