#include "modules/signing/curve.h"

#include "modules/signing/random_source.h"

#include <mutex>

namespace korvane {
namespace {

struct Blinding {
    std::mutex lock;
    RandomSource source;
};

Blinding& SharedBlinding() {
    static Blinding blinding;
    return blinding;
}

struct ProcessCurve {
    mbedtls_ecp_group group;
    bool ready = false;

    ProcessCurve() {
        mbedtls_ecp_group_init(&group);
        ready = SharedBlinding().source.Ready() && mbedtls_ecp_group_load(&group, MBEDTLS_ECP_DP_SECP384R1) == 0 &&
                BuildGeneratorTables();
    }
    ~ProcessCurve() { mbedtls_ecp_group_free(&group); }
    ProcessCurve(const ProcessCurve&) = delete;
    ProcessCurve& operator=(const ProcessCurve&) = delete;

    // mbedTLS keeps the generator's comb tables in the group the first time it multiplies
    // the generator; doing that here, once, means no later call writes to the group.
    bool BuildGeneratorTables() {
        mbedtls_mpi one;
        mbedtls_ecp_point product;
        mbedtls_mpi_init(&one);
        mbedtls_ecp_point_init(&product);
        const bool built = mbedtls_mpi_lset(&one, 1) == 0 &&
                           mbedtls_ecp_mul(&group, &product, &one, &group.G, BlindingGenerate, nullptr) == 0 &&
                           group.T != nullptr;
        mbedtls_ecp_point_free(&product);
        mbedtls_mpi_free(&one);
        return built;
    }
};

}  // namespace

mbedtls_ecp_group* SharedCurve() {
    // A function-local static is made exactly once, and its making happens before any
    // caller sees it.
    static ProcessCurve curve;
    return curve.ready ? &curve.group : nullptr;
}

int BlindingGenerate(void* /*unused*/, unsigned char* output, size_t length) {
    Blinding& blinding = SharedBlinding();
    const std::lock_guard<std::mutex> hold(blinding.lock);
    return RandomSource::Generate(blinding.source.Context(), output, length);
}

}  // namespace korvane
