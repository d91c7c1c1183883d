// The signing module against bare mbedTLS with everything prepared once: one "sign" call
// against a deterministic P-384 signature (mbedtls_ecdsa_sign_det_ext) from a curve group,
// scalar and blinding generator made before timing, and one "verify" call against
// mbedtls_ecdsa_verify with the public point read before timing. Both hash a 1704-byte
// signed region (an image chunk's) with SHA-384 as part of the call.
// Rounds of the two alternate, so both see the same machine; it prints the median time per
// call over the rounds and the ratio module / bare.
// Usage: signing_bench [rounds] [calls] [module]   (module: another build's signing module
// to measure instead of this build's)
#include <mbedtls/ctr_drbg.h>
#include <mbedtls/ecdsa.h>
#include <mbedtls/entropy.h>
#include <mbedtls/sha512.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "bench/process_figures.h"
#include "modules/signing/keypair.h"
#include "modules/signing/signing_abi.h"
#include "platform/dynlib.h"

namespace korvane {
namespace {

using SteadyClock = std::chrono::steady_clock;

// A curve, key and blinding generator made once, as a program using mbedTLS directly
// would keep them.
struct BareSigner {
    mbedtls_ecp_group group;
    mbedtls_mpi d;
    mbedtls_ecp_point q;
    mbedtls_entropy_context entropy;
    mbedtls_ctr_drbg_context drbg;
    bool ready = false;

    explicit BareSigner(const KeyPairBlock& key) {
        mbedtls_ecp_group_init(&group);
        mbedtls_mpi_init(&d);
        mbedtls_ecp_point_init(&q);
        mbedtls_entropy_init(&entropy);
        mbedtls_ctr_drbg_init(&drbg);
        ready = mbedtls_ctr_drbg_seed(&drbg, mbedtls_entropy_func, &entropy, nullptr, 0) == 0 &&
                mbedtls_ecp_group_load(&group, MBEDTLS_ECP_DP_SECP384R1) == 0 &&
                mbedtls_mpi_read_binary(&d, key.data() + kKeyPairPrivateOffset, kKeyPairPrivateSize) == 0 &&
                mbedtls_ecp_point_read_binary(&group, &q, key.data() + kKeyPairPublicOffset, kKeyPairPublicSize) == 0;
    }
    ~BareSigner() {
        mbedtls_ctr_drbg_free(&drbg);
        mbedtls_entropy_free(&entropy);
        mbedtls_ecp_point_free(&q);
        mbedtls_mpi_free(&d);
        mbedtls_ecp_group_free(&group);
    }
    BareSigner(const BareSigner&) = delete;
    BareSigner& operator=(const BareSigner&) = delete;

    bool Sign(const std::vector<uint8_t>& data, std::array<uint8_t, 96>& signature) {
        std::array<uint8_t, 48> hash{};
        mbedtls_sha512_ret(data.data(), data.size(), hash.data(), 1);
        mbedtls_mpi r;
        mbedtls_mpi s;
        mbedtls_mpi_init(&r);
        mbedtls_mpi_init(&s);
        const bool ok = mbedtls_ecdsa_sign_det_ext(&group, &r, &s, &d, hash.data(), hash.size(), MBEDTLS_MD_SHA384,
                                                   mbedtls_ctr_drbg_random, &drbg) == 0 &&
                        mbedtls_mpi_write_binary(&r, signature.data(), 48) == 0 &&
                        mbedtls_mpi_write_binary(&s, signature.data() + 48, 48) == 0;
        mbedtls_mpi_free(&s);
        mbedtls_mpi_free(&r);
        return ok;
    }

    bool Verify(const std::vector<uint8_t>& data, const std::array<uint8_t, 96>& signature) {
        std::array<uint8_t, 48> hash{};
        mbedtls_sha512_ret(data.data(), data.size(), hash.data(), 1);
        mbedtls_mpi r;
        mbedtls_mpi s;
        mbedtls_mpi_init(&r);
        mbedtls_mpi_init(&s);
        const bool ok = mbedtls_mpi_read_binary(&r, signature.data(), 48) == 0 &&
                        mbedtls_mpi_read_binary(&s, signature.data() + 48, 48) == 0 &&
                        mbedtls_ecdsa_verify(&group, hash.data(), hash.size(), &q, &r, &s) == 0;
        mbedtls_mpi_free(&s);
        mbedtls_mpi_free(&r);
        return ok;
    }
};

// Milliseconds per call of one round of `calls` calls.
double TimeRound(int calls, const std::function<bool()>& call) {
    const auto start = SteadyClock::now();
    for (int i = 0; i < calls; ++i) {
        if (!call()) {
            std::fprintf(stderr, "signing_bench: a call failed\n");
            std::exit(1);
        }
    }
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count() / calls;
}

void Compare(const char* what, int rounds, int calls, const std::function<bool()>& module,
             const std::function<bool()>& bare) {
    std::vector<double> module_ms;
    std::vector<double> bare_ms;
    for (int round = 0; round < rounds; ++round) {
        module_ms.push_back(TimeRound(calls, module));
        bare_ms.push_back(TimeRound(calls, bare));
    }
    const double m = bench::Median(module_ms);
    const double b = bench::Median(bare_ms);
    std::printf("%-6s module %.3f ms, bare mbedTLS %.3f ms per call (medians of %d rounds of %d): %.2fx\n", what, m, b,
                rounds, calls, m / b);
}

}  // namespace
}  // namespace korvane

int main(int argc, char** argv) {
    using namespace korvane;
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const int calls = argc > 2 ? std::max(1, std::atoi(argv[2])) : 40;
    ModuleHandle module = LoadModule(argc > 3 ? argv[3] : KORVANE_RODEDAR_MODULE_PATH);
    const auto sign = module != nullptr ? reinterpret_cast<SignFn>(FindSymbol(module, "sign")) : nullptr;
    const auto verify = module != nullptr ? reinterpret_cast<VerifyFn>(FindSymbol(module, "verify")) : nullptr;
    const auto key = GenerateKeyPair();
    if (sign == nullptr || verify == nullptr || !key) {
        std::fprintf(stderr, "signing_bench: no signing module or key pair\n");
        return 1;
    }
    BareSigner bare(*key);
    if (!bare.ready) {
        std::fprintf(stderr, "signing_bench: mbedTLS set-up failed\n");
        return 1;
    }
    std::vector<uint8_t> region(168 + 1536);
    for (size_t i = 0; i < region.size(); ++i) {
        region[i] = static_cast<uint8_t>(i * 7);
    }
    std::array<uint8_t, 96> signature{};
    std::array<uint8_t, 96> bare_signature{};
    // One call each first: the module checks the key pair, mbedTLS builds the generator's
    // tables; both then keep them.
    if (sign(key->data(), region.data(), static_cast<uint32_t>(region.size()), 0, signature.data()) != 0 ||
        !bare.Sign(region, bare_signature) || signature != bare_signature) {
        std::fprintf(stderr, "signing_bench: the module and mbedTLS disagree\n");
        return 1;
    }
    const auto size = static_cast<uint32_t>(region.size());
    Compare(
        "sign", rounds, calls,
        [&] { return sign(key->data(), region.data(), size, 0, signature.data()) == 0; },
        [&] { return bare.Sign(region, bare_signature); });
    Compare(
        "verify", rounds, calls,
        [&] { return verify(key->data(), region.data(), size, 0, signature.data()) == 1; },
        [&] { return bare.Verify(region, signature); });
    return 0;
}
