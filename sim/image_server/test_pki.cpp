#include "sim/image_server/test_pki.h"

#include <memory>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace korvane::sim {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
    void operator()(X509* cert) const { X509_free(cert); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;
using Bio = std::unique_ptr<BIO, BioFree>;

constexpr long kValidBeforeSeconds = 24L * 3600;
constexpr long kValidAfterSeconds = 30L * 24 * 3600;

std::string OpenSslError(const char* what) {
    const unsigned long code = ERR_get_error();
    char text[256] = "unknown error";
    if (code != 0) {
        ERR_error_string_n(code, text, sizeof text);
    }
    return std::string(what) + ": " + text;
}

std::string ToPem(const Key& key) {
    Bio bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<size_t>(size));
}

std::string ToPem(const Cert& cert) {
    Bio bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509(bio.get(), cert.get());
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<size_t>(size));
}

Key KeyFromPem(const std::string& pem) {
    Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    return Key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
}

Cert CertFromPem(const std::string& pem) {
    Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    return Cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
}

bool AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (extension == nullptr) {
        return false;
    }
    const bool added = X509_add_ext(cert, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

std::string JoinNames(const std::vector<std::string>& altNames) {
    std::string joined;
    for (const std::string& name : altNames) {
        joined += (joined.empty() ? "" : ",") + name;
    }
    return joined;
}

// A certificate for key, signed by issuerKey under issuer's name (itself when issuer is
// null); authority certificates may sign others, server certificates name their hosts.
Cert MakeCertificate(const Key& key, const std::string& commonName, X509* issuer, const Key& issuerKey,
                     bool authority, const std::vector<std::string>& altNames) {
    Cert cert(X509_new());
    X509_set_version(cert.get(), 2);
    unsigned char serial[16];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F;
    BIGNUM* serialNumber = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(serialNumber, X509_get_serialNumber(cert.get()));
    BN_free(serialNumber);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -kValidBeforeSeconds);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), kValidAfterSeconds);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Korvane test"), -1,
                               -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                               -1, -1, 0);
    X509* signer = issuer != nullptr ? issuer : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
    bool ok = AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash") &&
              AddExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");
    if (authority) {
        ok = ok && AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE") &&
             AddExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        ok = ok && AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE") &&
             AddExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature") &&
             AddExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth") &&
             (altNames.empty() || AddExtension(cert.get(), signer, NID_subject_alt_name, JoinNames(altNames)));
    }
    if (!ok || X509_sign(cert.get(), issuerKey.get(), EVP_sha256()) == 0) {
        return nullptr;
    }
    return cert;
}

Key NewKey() {
    return Key(EVP_EC_gen("P-256"));
}

}  // namespace

bool MakeAuthority(const std::string& commonName, PemIdentity& authority, std::string& error) {
    Key key = NewKey();
    if (!key) {
        error = OpenSslError("key generation");
        return false;
    }
    Cert cert = MakeCertificate(key, commonName, nullptr, key, true, {});
    if (!cert) {
        error = OpenSslError("authority certificate");
        return false;
    }
    authority = {ToPem(cert), ToPem(key)};
    return true;
}

bool IssueServerCertificate(const PemIdentity& authority, const std::vector<std::string>& altNames,
                            PemIdentity& server, std::string& error) {
    Key issuerKey = KeyFromPem(authority.privateKey);
    Cert issuer = CertFromPem(authority.certificate);
    Key key = NewKey();
    if (!issuerKey || !issuer || !key) {
        error = OpenSslError("server key");
        return false;
    }
    Cert cert = MakeCertificate(key, "korvane image server", issuer.get(), issuerKey, false, altNames);
    if (!cert) {
        error = OpenSslError("server certificate");
        return false;
    }
    server = {ToPem(cert), ToPem(key)};
    return true;
}

bool MakeSelfSigned(const std::vector<std::string>& altNames, PemIdentity& server, std::string& error) {
    Key key = NewKey();
    if (!key) {
        error = OpenSslError("key generation");
        return false;
    }
    Cert cert = MakeCertificate(key, "korvane untrusted server", nullptr, key, false, altNames);
    if (!cert) {
        error = OpenSslError("self-signed certificate");
        return false;
    }
    server = {ToPem(cert), ToPem(key)};
    return true;
}

}  // namespace korvane::sim
