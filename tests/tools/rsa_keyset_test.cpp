// The RSA key set generator and korvane-rsakeys.
#include "tools/rsa_keyset.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <mbedtls/bignum.h>
#include <mbedtls/rsa.h>

#include "platform/profile.h"
#include "tests/fixtures/rsa_test_keys.h"
#include "tests/fixtures/temp_dir.h"

namespace korvane {
namespace {

using testing::TempDir;

bool IsUpperHex(const std::string& text) {
    return !text.empty() &&
           text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

// An mbedTLS number from hex text; the texts of the key set must parse as they are.
struct Mpi {
    explicit Mpi(const std::string& hex) {
        mbedtls_mpi_init(&value);
        ok = mbedtls_mpi_read_string(&value, 16, hex.c_str()) == 0;
    }
    ~Mpi() { mbedtls_mpi_free(&value); }
    Mpi(const Mpi&) = delete;
    Mpi& operator=(const Mpi&) = delete;
    mbedtls_mpi value;
    bool ok = false;
};

TEST(RsaKeySetTest, GeneratedTextsFormAConsistentKeyInTheConfigurationsForm) {
    RsaKeyTexts keys;
    ASSERT_TRUE(GenerateRsaKeySet(keys));
    EXPECT_EQ(keys.n.size(), 512u);
    EXPECT_NE(keys.n[0], '0');
    EXPECT_EQ(keys.d.size(), 512u);
    EXPECT_EQ(keys.e, "10001");
    for (const std::string* text : {&keys.n, &keys.d, &keys.p, &keys.q, &keys.dp, &keys.dq, &keys.qp}) {
        EXPECT_TRUE(IsUpperHex(*text)) << *text;
    }
    for (const std::string* text : {&keys.p, &keys.q, &keys.dp, &keys.dq, &keys.qp}) {
        EXPECT_NE((*text)[0], '0') << "no leading zeros: " << *text;
    }

    Mpi n(keys.n), p(keys.p), q(keys.q), d(keys.d), e(keys.e), dp(keys.dp), dq(keys.dq), qp(keys.qp);
    for (const Mpi* value : {&n, &p, &q, &d, &e, &dp, &dq, &qp}) {
        ASSERT_TRUE(value->ok);
    }
    mbedtls_rsa_context rsa;
    mbedtls_rsa_init(&rsa, MBEDTLS_RSA_PKCS_V15, 0);
    ASSERT_EQ(mbedtls_rsa_import(&rsa, &n.value, &p.value, &q.value, &d.value, &e.value), 0);
    ASSERT_EQ(mbedtls_rsa_complete(&rsa), 0);
    EXPECT_EQ(mbedtls_rsa_check_privkey(&rsa), 0);
    EXPECT_EQ(mbedtls_rsa_get_len(&rsa), 256u);
    // The CRT texts are the ones the key itself gives.
    Mpi ownDp("0"), ownDq("0"), ownQp("0");
    ASSERT_EQ(mbedtls_rsa_export_crt(&rsa, &ownDp.value, &ownDq.value, &ownQp.value), 0);
    EXPECT_EQ(mbedtls_mpi_cmp_mpi(&ownDp.value, &dp.value), 0);
    EXPECT_EQ(mbedtls_mpi_cmp_mpi(&ownDq.value, &dq.value), 0);
    EXPECT_EQ(mbedtls_mpi_cmp_mpi(&ownQp.value, &qp.value), 0);
    mbedtls_rsa_free(&rsa);

    RsaKeyTexts other;
    ASSERT_TRUE(GenerateRsaKeySet(other));
    EXPECT_NE(other.n, keys.n);
}

// The smallest D fails (D * E) mod ((P - 1)(Q - 1)) = 1 about every second key; the tool's
// D must meet it every time, and it is the inverse modulo (P - 1)(Q - 1) itself.
TEST(RsaKeySetTest, PrivateExponentInvertsEModuloPhi) {
    for (int i = 0; i < 4; ++i) {
        RsaKeyTexts keys;
        ASSERT_TRUE(GenerateRsaKeySet(keys));
        EXPECT_TRUE(testing::InvertsEModuloPhi(keys));
        EXPECT_EQ(keys.d, testing::WithPrivateExponent(keys, testing::PrivateExponent::kModuloPhi).d);
    }
}

TEST(RsaKeySetTest, WritingKeepsTheOtherLinesOfBothFiles) {
    TempDir dir;
    std::ofstream(dir.File("DevPath.ini")) << "; device settings\n[DATABASE]\nURL_A=http://host/list\nRSA_N=old\n"
                                              "[COUNTS]\nAT=2\n";
    const RsaKeyTexts keys{std::string(512, 'A'), "10001", std::string(512, 'D'), "11", "13", "15", "17", "19"};
    std::string error;
    ASSERT_TRUE(WriteRsaKeySet(dir.Path(), keys, error)) << error;

    const std::string devPath = dir.File("DevPath.ini");
    const std::string mainIni = dir.File("KorvaneAppDownload.ini");
    EXPECT_EQ(ReadProfileString(devPath, "DATABASE", "RSA_N"), keys.n);
    EXPECT_EQ(ReadProfileString(devPath, "DATABASE", "RSA_E"), "10001");
    EXPECT_EQ(ReadProfileString(devPath, "DATABASE", "RSA_D"), keys.d);
    EXPECT_EQ(ReadProfileString(devPath, "DATABASE", "URL_A"), "http://host/list");
    EXPECT_EQ(ReadProfileString(devPath, "COUNTS", "AT"), "2");
    std::stringstream text;
    text << std::ifstream(devPath).rdbuf();
    EXPECT_EQ(text.str().rfind("; device settings\n", 0), 0u);
    EXPECT_EQ(text.str().find("old"), std::string::npos);
    // The key components go to [Security] of the main settings, made when missing.
    EXPECT_EQ(ReadProfileString(mainIni, "Security", "RSA_P"), "11");
    EXPECT_EQ(ReadProfileString(mainIni, "Security", "RSA_Q"), "13");
    EXPECT_EQ(ReadProfileString(mainIni, "Security", "RSA_DP"), "15");
    EXPECT_EQ(ReadProfileString(mainIni, "Security", "RSA_DQ"), "17");
    EXPECT_EQ(ReadProfileString(mainIni, "Security", "RSA_QP"), "19");

    EXPECT_FALSE(WriteRsaKeySet(dir.File("no/such/folder"), keys, error));
    EXPECT_NE(error.find("no/such/folder"), std::string::npos);
}

int RunTool(const std::string& args) {
    const int raw = std::system((std::string(KORVANE_RSAKEYS) + " " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(RsaKeysToolTest, WritesIntoTheFolderOrExplainsItsUsage) {
    TempDir dir;
    EXPECT_EQ(RunTool("--config-dir " + dir.Path()), 0);
    const std::optional<std::string> n = ReadProfileString(dir.File("DevPath.ini"), "DATABASE", "RSA_N");
    ASSERT_TRUE(n.has_value());
    EXPECT_EQ(n->size(), 512u);
    EXPECT_TRUE(ReadProfileString(dir.File("KorvaneAppDownload.ini"), "Security", "RSA_QP").has_value());

    EXPECT_EQ(RunTool(""), 2);
    EXPECT_EQ(RunTool("--config-dir"), 2);
    EXPECT_EQ(RunTool("--bogus"), 2);
    EXPECT_EQ(RunTool("--help"), 0);
    EXPECT_EQ(RunTool("--config-dir " + dir.File("missing/folder")), 1);
}

}  // namespace
}  // namespace korvane
