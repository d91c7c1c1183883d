// The signing module: signatures that verify, are the same for the same input, and fail for
// any change; key pair blocks that are not sound are refused.

#include "modules/signing/keypair.h"
#include "modules/signing/signing_abi.h"
#include "tests/modules/built_module.h"

#include <algorithm>
#include <array>
#include <string>

namespace korvane {
namespace {

using Signature = std::array<uint8_t, 96>;

template <size_t N>
std::array<uint8_t, N> FromHex(const std::string& hex) {
    std::array<uint8_t, N> bytes{};
    for (size_t i = 0; i < N; ++i) {
        bytes[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    }
    return bytes;
}

class SigningModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module_ = testing::LoadBuiltModule("RODEdar.so");
        key_ = GenerateKeyPair();
        other_key_ = GenerateKeyPair();
    }

    void SetUp() override {
        ASSERT_NE(module_, nullptr) << LastModuleError();
        ASSERT_TRUE(key_ && other_key_);
        sign_ = testing::EntryPoint<SignFn>(module_, "sign");
        verify_ = testing::EntryPoint<VerifyFn>(module_, "verify");
    }

    Signature Sign(const KeyPairBlock& key, const std::vector<uint8_t>& data) {
        Signature signature{};
        EXPECT_EQ(sign_(key.data(), data.data(), static_cast<uint32_t>(data.size()), 0, signature.data()), 0);
        return signature;
    }
    int Verify(const KeyPairBlock& key, const std::vector<uint8_t>& data, const Signature& signature) {
        return verify_(key.data(), data.data(), static_cast<uint32_t>(data.size()), 0, signature.data());
    }

    static inline ModuleHandle module_ = nullptr;
    static inline std::optional<KeyPairBlock> key_;
    static inline std::optional<KeyPairBlock> other_key_;
    SignFn sign_ = nullptr;
    VerifyFn verify_ = nullptr;
    // A signed region: 160 zero bytes, length, command, payload.
    const std::vector<uint8_t> packet_ = [] {
        std::vector<uint8_t> region(168 + 4, 0);
        region[160] = 0x10;
        region[161] = 0x01;
        region[164] = 48;
        region[168] = 0xA5;
        return region;
    }();
};

TEST_F(SigningModuleTest, SignatureVerifiesAndIsTheSameEachTime) {
    const Signature first = Sign(*key_, packet_);
    EXPECT_EQ(Verify(*key_, packet_, first), 1);
    EXPECT_EQ(Sign(*key_, packet_), first);
    EXPECT_NE(Sign(*other_key_, packet_), first);
    std::vector<uint8_t> next = packet_;
    next[164] = 49;
    EXPECT_NE(Sign(*key_, next), first);
}

TEST_F(SigningModuleTest, EmptyDataIsSignedToo) {
    Signature signature{};
    ASSERT_EQ(sign_(key_->data(), nullptr, 0, 0, signature.data()), 0);
    EXPECT_EQ(verify_(key_->data(), nullptr, 0, 0, signature.data()), 1);
}

// The P-384 key of RFC 6979, appendix A.2.6.
KeyPairBlock Rfc6979Key() {
    const auto scalar = FromHex<48>(
        "6B9D3DAD2E1B8C1C05B19875B6659F4DE23C3B667BF297BA9AA47740787137D896D5724E4C70A825F872C9EA60D2EDF5");
    const auto point = FromHex<97>(
        "04EC3A4E415B4E19A4568618029F427FA5DA9A8BC4AE92E02E06AAE5286B300C64DEF8F0EA9055866064A254515480BC13"
        "8015D9B72D7D57244EA8EF9AC0C621896708A59367F9DFB9F54CA84B3F1C9DB1288B231C3AE0D4FE7344FD2533264720");
    return BuildKeyPair(scalar, point);
}

// RFC 6979, appendix A.2.6: P-384, SHA-384, message "sample".
TEST_F(SigningModuleTest, KnownDeterministicSignature) {
    const KeyPairBlock key = Rfc6979Key();
    const std::vector<uint8_t> sample = {'s', 'a', 'm', 'p', 'l', 'e'};
    const auto expected = FromHex<96>(
        "94EDBB92A5ECB8AAD4736E56C691916B3F88140666CE9FA73D64C4EA95AD133C81A648152E44ACF96E36DD1E80FABE46"
        "99EF4AEB15F178CEA1FE40DB2603138F130E740A19624526203B6351D0A3A94FA329C145786E679E7B82C71A38628AC8");
    EXPECT_EQ(Sign(key, sample), expected);
}

// A packet's signed region under a fixed key: these bytes are what terminals in the field
// have always been given for it, so any change to how the module signs must keep them.
TEST_F(SigningModuleTest, PacketRegionSignatureIsTheRecordedOne) {
    const KeyPairBlock key = Rfc6979Key();
    std::vector<uint8_t> region(168 + 16, 0);  // length 284, command 0, 16 payload bytes
    region[160] = 0x1C;
    region[161] = 0x01;
    for (size_t i = 0; i < 16; ++i) {
        region[168 + i] = static_cast<uint8_t>(i * 17);
    }
    const auto expected = FromHex<96>(
        "F0B46A21562CAF977121879C3C6FE5012AAC2D1E0EF9C3C7537FE81AFD29405850BAA2B99023E967846FAF7BC556269E"
        "D3143B185E31BCF6AA8E8403576700F5FE884F2F2F1AEA2FEC797DEA8E3F5FC796AF6D1914FC3BA7A5C8143C4564A0D9");
    for (int call = 0; call < 2; ++call) {  // the first call also checks the key pair
        EXPECT_EQ(Sign(key, region), expected) << "call " << call;
    }
}

TEST_F(SigningModuleTest, AnyFlippedBitFailsVerification) {
    const Signature good = Sign(*key_, packet_);
    for (const size_t bit : {size_t{0}, size_t{7}, size_t{160 * 8}, packet_.size() * 8 - 1}) {
        std::vector<uint8_t> data = packet_;
        data[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        EXPECT_EQ(Verify(*key_, data, good), 0) << "data bit " << bit;
    }
    for (const size_t bit : {size_t{0}, size_t{47 * 8 + 7}, size_t{48 * 8}, size_t{95 * 8 + 7}}) {
        Signature bad = good;
        bad[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        EXPECT_EQ(Verify(*key_, packet_, bad), 0) << "signature bit " << bit;
    }
    EXPECT_EQ(Verify(*other_key_, packet_, good), 0);
}

TEST_F(SigningModuleTest, OutOfRangeSignatureFails) {
    Signature zero_r = Sign(*key_, packet_);
    std::fill(zero_r.begin(), zero_r.begin() + 48, 0);
    Signature zero_s = Sign(*key_, packet_);
    std::fill(zero_s.begin() + 48, zero_s.end(), 0);
    Signature all_ones{};
    all_ones.fill(0xFF);
    for (const Signature& bad : {zero_r, zero_s, all_ones, Signature{}}) {
        EXPECT_EQ(Verify(*key_, packet_, bad), 0);
    }
}

struct Malformation {
    const char* name;
    void (*apply)(KeyPairBlock& block, const KeyPairBlock& other);
};

const Malformation kMalformations[] = {
    {"BadMagic", [](KeyPairBlock& b, const KeyPairBlock&) { b[3] = '2'; }},
    {"BadHash", [](KeyPairBlock& b, const KeyPairBlock&) { b[kKeyPairPrivateOffset + 5] ^= 1; }},
    {"ZeroScalar",
     [](KeyPairBlock& b, const KeyPairBlock&) {
         std::fill_n(b.begin() + kKeyPairPrivateOffset, kKeyPairPrivateSize, uint8_t{0});
         SealKeyPair(b);
     }},
    {"ScalarIsTheOrder",
     [](KeyPairBlock& b, const KeyPairBlock&) {
         const auto order = FromHex<48>("FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFC7634D81F4372DDF581A0DB248B0A77AECEC196ACCC52973");
         std::copy(order.begin(), order.end(), b.begin() + kKeyPairPrivateOffset);
         SealKeyPair(b);
     }},
    {"PointOffTheCurve",
     [](KeyPairBlock& b, const KeyPairBlock&) {
         b[kKeyPairPublicOffset + kKeyPairPublicSize - 1] ^= 1;
         SealKeyPair(b);
     }},
    {"CompressedPointTag",
     [](KeyPairBlock& b, const KeyPairBlock&) {
         b[kKeyPairPublicOffset] = 0x02;
         SealKeyPair(b);
     }},
    {"AnotherKeysPoint",
     [](KeyPairBlock& b, const KeyPairBlock& other) {
         std::copy_n(other.begin() + kKeyPairPublicOffset, kKeyPairPublicSize, b.begin() + kKeyPairPublicOffset);
         SealKeyPair(b);
     }},
};

// Every call with an unsound block is refused, however often it comes and whatever sound
// block was used just before: a check made once never stands in for another block's.
TEST_F(SigningModuleTest, MalformedKeyPairIsRefusedAndTheOutputLeftAlone) {
    const Signature good = Sign(*key_, packet_);
    for (const Malformation& m : kMalformations) {
        KeyPairBlock block = *key_;
        m.apply(block, *other_key_);
        for (int call = 0; call < 2; ++call) {
            Signature signature;
            signature.fill(0xA5);
            EXPECT_NE(sign_(block.data(), packet_.data(), static_cast<uint32_t>(packet_.size()), 0, signature.data()),
                      0)
                << m.name << " call " << call;
            EXPECT_TRUE(std::all_of(signature.begin(), signature.end(), [](uint8_t b) { return b == 0xA5; }))
                << m.name << " call " << call;
            EXPECT_EQ(Sign(*key_, packet_), good) << m.name << " call " << call;
        }
    }
}

TEST_F(SigningModuleTest, VerifyNeedsOnlyTheMagicAndThePublicPoint) {
    const Signature good = Sign(*key_, packet_);
    KeyPairBlock public_only = *key_;
    std::fill_n(public_only.begin() + kKeyPairPrivateOffset, kKeyPairPrivateSize, uint8_t{0});
    std::fill_n(public_only.begin() + kKeyPairHashOffset, kKeyPairHashSize, uint8_t{0});
    EXPECT_EQ(Verify(public_only, packet_, good), 1);

    for (const char* name : {"BadMagic", "PointOffTheCurve", "CompressedPointTag"}) {
        const auto* m = std::find_if(std::begin(kMalformations), std::end(kMalformations),
                                     [&](const Malformation& x) { return std::string(x.name) == name; });
        KeyPairBlock block = *key_;
        m->apply(block, *other_key_);
        EXPECT_EQ(Verify(block, packet_, good), 0) << name;
    }
}

TEST_F(SigningModuleTest, MissingArgumentsAreRefused) {
    Signature signature{};
    EXPECT_NE(sign_(nullptr, packet_.data(), 4, 0, signature.data()), 0);
    EXPECT_NE(sign_(key_->data(), nullptr, 4, 0, signature.data()), 0);
    EXPECT_NE(sign_(key_->data(), packet_.data(), 4, 0, nullptr), 0);
    EXPECT_EQ(verify_(nullptr, packet_.data(), 4, 0, signature.data()), 0);
    EXPECT_EQ(verify_(key_->data(), nullptr, 4, 0, signature.data()), 0);
    EXPECT_EQ(verify_(key_->data(), packet_.data(), 4, 0, nullptr), 0);
}

TEST(KeyPair, GeneratedBlocksAreSealedAndDiffer) {
    const auto first = GenerateKeyPair();
    const auto second = GenerateKeyPair();
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(KeyPairSealed(*first));
    EXPECT_EQ((*first)[kKeyPairPublicOffset], 0x04);
    EXPECT_TRUE(std::all_of(first->begin() + kKeyPairReservedOffset, first->end(), [](uint8_t b) { return b == 0; }));
    EXPECT_NE(*first, *second);
}

}  // namespace
}  // namespace korvane
