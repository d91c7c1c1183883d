// The terminal's own verifier: ECDSA P-384 with SHA-384 over the public point of the key
// pair, computed by OpenSSL. It shares no code with the signing module, so a fault in the
// module's arithmetic cannot hide itself by being repeated here, and a verification costs
// a fraction of one made with the module.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "modules/signing/signing_abi.h"
#include "sim/signature_check.h"
#include "sim/verified_signatures.h"

namespace korvane::sim {
namespace {

constexpr size_t kPublicPointOffset = 52;
constexpr size_t kPublicPointSize = 97;  // 0x04, X, Y
constexpr size_t kScalarSize = 48;       // r and s each
constexpr std::array<uint8_t, 4> kKeyPairMagic = {'K', 'V', 'K', '1'};

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct KeyContextFree {
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct DigestFree {
    void operator()(EVP_MD* digest) const { EVP_MD_free(digest); }
};
struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct SignatureFree {
    void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};

using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, KeyContextFree>;
using Digest = std::unique_ptr<EVP_MD, DigestFree>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;

// The public point as an OpenSSL key; null when it is not a point of the curve.
Key PublicKey(std::span<const uint8_t> point) {
    char group[] = "secp384r1";
    std::array<uint8_t, kPublicPointSize> bytes{};
    std::copy(point.begin(), point.end(), bytes.begin());
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, bytes.data(), bytes.size()),
        OSSL_PARAM_construct_end()};
    const KeyContext making(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* made = nullptr;
    if (!making || EVP_PKEY_fromdata_init(making.get()) != 1 ||
        EVP_PKEY_fromdata(making.get(), &made, EVP_PKEY_PUBLIC_KEY, const_cast<OSSL_PARAM*>(params)) != 1) {
        return nullptr;
    }
    Key key(made);
    const KeyContext checking(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
    if (!checking || EVP_PKEY_public_check(checking.get()) != 1) {
        return nullptr;
    }
    return key;
}

// r||s as the DER sequence OpenSSL verifies; empty when either half does not convert.
std::vector<uint8_t> DerSignature(std::span<const uint8_t> signature) {
    const std::unique_ptr<ECDSA_SIG, SignatureFree> sig(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(signature.data(), kScalarSize, nullptr);
    BIGNUM* s = BN_bin2bn(signature.data() + kScalarSize, kScalarSize, nullptr);
    if (!sig || r == nullptr || s == nullptr || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return {};
    }
    unsigned char* der = nullptr;
    const int length = i2d_ECDSA_SIG(sig.get(), &der);
    if (length <= 0) {
        return {};
    }
    std::vector<uint8_t> bytes(der, der + length);
    OPENSSL_free(der);
    return bytes;
}

class KeySignatureCheck final : public SignatureCheck {
public:
    KeySignatureCheck(Key key, Digest digest) : key_(std::move(key)), digest_(std::move(digest)) {}

    bool Verify(std::span<const uint8_t> signed_region, std::span<const uint8_t> signature) const override {
        if (signature.size() != KORVANE_SIGNATURE_SIZE) {
            return false;
        }
        const std::vector<uint8_t> der = DerSignature(signature);
        const DigestContext context(EVP_MD_CTX_new());
        return !der.empty() && context &&
               EVP_DigestVerifyInit(context.get(), nullptr, digest_.get(), nullptr, key_.get()) == 1 &&
               EVP_DigestVerify(context.get(), der.data(), der.size(), signed_region.data(), signed_region.size()) ==
                   1;
    }

private:
    Key key_;        // read only after construction; OpenSSL lets many threads verify with it
    Digest digest_;  // fetched once instead of by name on every packet
};

}  // namespace

std::unique_ptr<SignatureCheck> LoadKeySignatureCheck(const std::string& key_file, std::string& error) {
    std::array<uint8_t, KORVANE_KEYPAIR_SIZE> key_pair{};
    if (!ReadKeyPairFile(key_file, key_pair, error)) {
        return nullptr;
    }
    if (!std::equal(kKeyPairMagic.begin(), kKeyPairMagic.end(), key_pair.begin())) {
        error = "key pair " + key_file + " does not begin with KVK1";
        return nullptr;
    }
    Key key = PublicKey(std::span(key_pair).subspan(kPublicPointOffset, kPublicPointSize));
    if (!key) {
        error = "key pair " + key_file + " holds no public point of P-384";
        return nullptr;
    }
    Digest digest(EVP_MD_fetch(nullptr, "SHA384", nullptr));
    if (!digest) {
        error = "no SHA-384 in this OpenSSL";
        return nullptr;
    }
    return RememberAccepted(std::make_unique<KeySignatureCheck>(std::move(key), std::move(digest)));
}

}  // namespace korvane::sim
