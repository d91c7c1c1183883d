#include "tools/rsa_keyset.h"

#include <filesystem>
#include <utility>
#include <vector>

#include <mbedtls/bignum.h>
#include <mbedtls/rsa.h>

#include "modules/signing/random_source.h"
#include "platform/profile.h"

namespace korvane {

namespace {

constexpr unsigned kModulusBits = 2048;
constexpr int kPublicExponent = 65537;
constexpr size_t kModulusDigits = kModulusBits / 4;

// Upper-case hex without leading zeros ("0" for zero), left-padded with zeros to width.
std::string Hex(const mbedtls_mpi& value, size_t width = 0) {
    std::vector<unsigned char> bytes(mbedtls_mpi_size(&value));
    mbedtls_mpi_write_binary(&value, bytes.data(), bytes.size());
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    const size_t first = text.find_first_not_of('0');
    text = first == std::string::npos ? "0" : text.substr(first);
    if (text.size() < width) {
        text.insert(0, width - text.size(), '0');
    }
    return text;
}

class RsaContext {
public:
    RsaContext() {
        mbedtls_rsa_init(&ctx, MBEDTLS_RSA_PKCS_V15, 0);
        for (mbedtls_mpi* value : {&n, &p, &q, &d, &e, &dp, &dq, &qp}) {
            mbedtls_mpi_init(value);
        }
    }
    ~RsaContext() {
        for (mbedtls_mpi* value : {&n, &p, &q, &d, &e, &dp, &dq, &qp}) {
            mbedtls_mpi_free(value);
        }
        mbedtls_rsa_free(&ctx);
    }
    RsaContext(const RsaContext&) = delete;
    RsaContext& operator=(const RsaContext&) = delete;

    mbedtls_rsa_context ctx;
    mbedtls_mpi n, p, q, d, e, dp, dq, qp;
};

// The generator makes the smallest D (the inverse of E modulo lcm(P - 1, Q - 1)); the
// program requires the inverse modulo (P - 1)(Q - 1). Both agree modulo P - 1 and Q - 1,
// so DP, DQ and QP stay as they are.
bool InvertModuloPhi(RsaContext& rsa) {
    mbedtls_mpi p1, q1, phi;
    for (mbedtls_mpi* value : {&p1, &q1, &phi}) {
        mbedtls_mpi_init(value);
    }
    const bool done = mbedtls_mpi_sub_int(&p1, &rsa.p, 1) == 0 && mbedtls_mpi_sub_int(&q1, &rsa.q, 1) == 0 &&
                      mbedtls_mpi_mul_mpi(&phi, &p1, &q1) == 0 && mbedtls_mpi_inv_mod(&rsa.d, &rsa.e, &phi) == 0;
    for (mbedtls_mpi* value : {&p1, &q1, &phi}) {
        mbedtls_mpi_free(value);
    }
    return done;
}

}  // namespace

bool GenerateRsaKeySet(RsaKeyTexts& keys) {
    RandomSource random;
    if (!random.Ready()) {
        return false;
    }
    RsaContext rsa;
    if (mbedtls_rsa_gen_key(&rsa.ctx, &RandomSource::Generate, random.Context(), kModulusBits, kPublicExponent) != 0 ||
        mbedtls_rsa_export(&rsa.ctx, &rsa.n, &rsa.p, &rsa.q, &rsa.d, &rsa.e) != 0 ||
        mbedtls_rsa_export_crt(&rsa.ctx, &rsa.dp, &rsa.dq, &rsa.qp) != 0 || !InvertModuloPhi(rsa)) {
        return false;
    }
    keys = RsaKeyTexts{Hex(rsa.n, kModulusDigits), Hex(rsa.e), Hex(rsa.d, kModulusDigits),
                       Hex(rsa.p), Hex(rsa.q), Hex(rsa.dp), Hex(rsa.dq), Hex(rsa.qp)};
    return true;
}

bool WriteRsaKeySet(const std::string& configDir, const RsaKeyTexts& keys, std::string& error) {
    const std::string devPath = (std::filesystem::path(configDir) / "DevPath.ini").string();
    const std::string mainIni = (std::filesystem::path(configDir) / "KorvaneAppDownload.ini").string();
    struct Entry {
        const std::string& file;
        const char* section;
        const char* key;
        const std::string& value;
    };
    const Entry entries[] = {
        {devPath, "DATABASE", "RSA_N", keys.n},    {devPath, "DATABASE", "RSA_E", keys.e},
        {devPath, "DATABASE", "RSA_D", keys.d},    {mainIni, "Security", "RSA_P", keys.p},
        {mainIni, "Security", "RSA_Q", keys.q},    {mainIni, "Security", "RSA_DP", keys.dp},
        {mainIni, "Security", "RSA_DQ", keys.dq},  {mainIni, "Security", "RSA_QP", keys.qp},
    };
    for (const Entry& entry : entries) {
        if (!WriteProfileString(entry.file, entry.section, entry.key, entry.value)) {
            error = entry.file;
            return false;
        }
    }
    return true;
}

}  // namespace korvane
