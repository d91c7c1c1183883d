#include "crypto/envelope.h"

#include <algorithm>
#include <span>
#include <vector>

#include <gtest/gtest.h>

#include "crypto/digest.h"
#include "crypto/seal.h"
#include "tests/fixtures/rsa_test_keys.h"

namespace korvane {
namespace {

using testing::MakeTestImage;
using testing::TestImageHeader;
using testing::TestRsaKeys;

int Verify(const RsaKeyTexts& keys, std::span<const uint8_t> envelope, OpenedBlock& opened) {
    opened.fill(0);
    return VerifyImageEnvelope(keys, envelope, opened);
}

int Verify(const RsaKeyTexts& keys, std::span<const uint8_t> envelope) {
    OpenedBlock opened{};
    return Verify(keys, envelope, opened);
}

// header || SHA-256(header) || extra, sealed with the given padding length.
std::vector<uint8_t> SealMessage(const RsaKeyTexts& keys, const std::vector<uint8_t>& message, size_t padding) {
    OpenedBlock encoded{};
    OpenedBlock sealed{};
    EXPECT_TRUE(EncodeType2(message, padding, encoded));
    EXPECT_TRUE(SealBlock(keys, encoded, sealed));
    return std::vector<uint8_t>(sealed.begin(), sealed.end());
}

std::vector<uint8_t> HeaderAndDigest(uint8_t seed) {
    std::vector<uint8_t> message = TestImageHeader(seed);
    message.resize(kImageHeader + kHeaderDigest);
    Sha256(message.data(), kImageHeader, message.data() + kImageHeader);
    return message;
}

TEST(EnvelopeTest, ValidEnvelopesUnwrapToHeaderAndPayload) {
    for (size_t payload : {size_t{0}, size_t{1}, size_t{5000}, kImageBufferCapacity - kEnvelopeBlock}) {
        SCOPED_TRACE(payload);
        const testing::TestImage sealed = MakeTestImage(TestRsaKeys(), payload, 3);
        std::vector<uint8_t> buffer(kImageBufferCapacity, 0xEE);
        std::copy(sealed.envelope.begin(), sealed.envelope.end(), buffer.begin());
        int32_t length = static_cast<int32_t>(sealed.envelope.size());

        OpenedBlock opened{};
        ASSERT_EQ(Verify(TestRsaKeys(), std::span(buffer).first(static_cast<size_t>(length)), opened), 1);
        ASSERT_TRUE(UnwrapImage(buffer, length, opened));

        ASSERT_EQ(length, static_cast<int32_t>(payload + kImageHeader));
        EXPECT_TRUE(std::equal(sealed.image.begin(), sealed.image.end(), buffer.begin()));
        EXPECT_TRUE(std::all_of(buffer.begin() + length, buffer.end(), [](uint8_t b) { return b == 0; }));
    }
}

TEST(EnvelopeTest, OpenedBlockHoldsHeaderDigestThenZeros) {
    const testing::TestImage sealed = MakeTestImage(TestRsaKeys(), 10, 4);
    OpenedBlock opened{};
    ASSERT_EQ(Verify(TestRsaKeys(), sealed.envelope, opened), 1);
    const std::vector<uint8_t> message = HeaderAndDigest(4);
    EXPECT_TRUE(std::equal(message.begin(), message.end(), opened.begin()));
    EXPECT_TRUE(std::all_of(opened.begin() + 160, opened.end(), [](uint8_t b) { return b == 0; }));
}

TEST(EnvelopeTest, AnyChangedByteOfTheSealedBlockFails) {
    const testing::TestImage sealed = MakeTestImage(TestRsaKeys(), 300, 5);
    for (size_t offset : {size_t{0}, size_t{1}, size_t{2}, size_t{77}, size_t{128}, size_t{200}, size_t{255}}) {
        std::vector<uint8_t> changed = sealed.envelope;
        changed[offset] ^= 0x01;
        EXPECT_EQ(Verify(TestRsaKeys(), changed), 0) << "offset " << offset;
    }
}

TEST(EnvelopeTest, PayloadIsNotCoveredBySeal) {
    const testing::TestImage sealed = MakeTestImage(TestRsaKeys(), 300, 6);
    std::vector<uint8_t> changed = sealed.envelope;
    changed[256] ^= 0xFF;
    changed.back() ^= 0xFF;
    EXPECT_EQ(Verify(TestRsaKeys(), changed), 1);
}

TEST(EnvelopeTest, EnvelopeOfAnotherKeyPairFails) {
    const testing::TestImage sealed = MakeTestImage(TestRsaKeys(1), 100, 7);
    EXPECT_EQ(Verify(TestRsaKeys(0), sealed.envelope), 0);
    EXPECT_EQ(Verify(TestRsaKeys(1), sealed.envelope), 1);
}

TEST(EnvelopeTest, PaddingOfAnyLengthIncludingNoneIsAccepted) {
    // No padding: 0x00 0x02 0x00 and 253 message bytes; the bytes after the digest are
    // opened as they are.
    std::vector<uint8_t> message = HeaderAndDigest(8);
    for (size_t i = message.size(); i < kLongestBlockMessage; ++i) {
        message.push_back(static_cast<uint8_t>(i));
    }
    OpenedBlock opened{};
    ASSERT_EQ(Verify(TestRsaKeys(), SealMessage(TestRsaKeys(), message, 0), opened), 1);
    EXPECT_TRUE(std::equal(message.begin(), message.end(), opened.begin()));
    EXPECT_EQ(opened[253], 0);

    const std::vector<uint8_t> exact = HeaderAndDigest(8);
    EXPECT_EQ(Verify(TestRsaKeys(), SealMessage(TestRsaKeys(), exact, kLongestBlockMessage - exact.size())), 1);
}

TEST(EnvelopeTest, MessageShorterThanHeaderAndDigestFailsAgainstTheZeros) {
    std::vector<uint8_t> message = HeaderAndDigest(9);
    message.resize(150);
    OpenedBlock opened{};
    EXPECT_EQ(Verify(TestRsaKeys(), SealMessage(TestRsaKeys(), message, kLongestBlockMessage - 150), opened), 0);
}

TEST(EnvelopeTest, BrokenBlockTypeTwoFramingFails) {
    const std::vector<uint8_t> message = HeaderAndDigest(10);
    OpenedBlock good{};
    ASSERT_TRUE(EncodeType2(message, kLongestBlockMessage - message.size(), good));
    const size_t separator = kEnvelopeBlock - message.size() - 1;

    OpenedBlock wrongType = good;
    wrongType[1] = 0x01;
    OpenedBlock leadingByte = good;
    leadingByte[0] = 0x01;
    OpenedBlock noSeparator = good;
    noSeparator[separator] = 0x5A;
    std::fill(noSeparator.begin() + static_cast<std::ptrdiff_t>(separator), noSeparator.end(), uint8_t{0x5A});

    for (const OpenedBlock* encoded : {&wrongType, &leadingByte, &noSeparator}) {
        OpenedBlock sealed{};
        ASSERT_TRUE(SealBlock(TestRsaKeys(), *encoded, sealed));
        EXPECT_EQ(Verify(TestRsaKeys(), sealed), 0);
    }
}

TEST(EnvelopeTest, BadKeySetsFailEveryVerification) {
    const testing::TestImage sealed = MakeTestImage(TestRsaKeys(), 100, 11);
    const RsaKeyTexts& good = TestRsaKeys();

    RsaKeyTexts evenModulus = good;
    evenModulus.n.back() = '0';
    RsaKeyTexts otherPrime = good;
    otherPrime.p = TestRsaKeys(1).p;
    RsaKeyTexts swappedCrt = good;
    std::swap(swappedCrt.dp, swappedCrt.dq);
    RsaKeyTexts notHex = good;
    notHex.d = "XYZ";
    RsaKeyTexts empty;

    for (const RsaKeyTexts* keys : {&evenModulus, &otherPrime, &swappedCrt, &notHex, &empty}) {
        EXPECT_EQ(Verify(*keys, sealed.envelope), 0);
    }
}

// Every D that inverts E modulo P - 1 and Q - 1 opens the block, but only one that also
// inverts it modulo (P - 1)(Q - 1) is a key set the program accepts.
TEST(EnvelopeTest, PrivateExponentMustInvertEModuloPhi) {
    using testing::PrivateExponent;
    const testing::TestImage sealed = MakeTestImage(TestRsaKeys(), 100, 13);
    const RsaKeyTexts phi = testing::WithPrivateExponent(TestRsaKeys(), PrivateExponent::kModuloPhi);
    const RsaKeyTexts lcm = testing::WithPrivateExponent(TestRsaKeys(), PrivateExponent::kModuloLcm);
    const RsaKeyTexts plusLcm = testing::WithPrivateExponent(TestRsaKeys(), PrivateExponent::kPlusLcm);
    ASSERT_FALSE(testing::InvertsEModuloPhi(plusLcm));
    EXPECT_EQ(Verify(phi, sealed.envelope), 1);
    EXPECT_EQ(Verify(plusLcm, sealed.envelope), 0);
    // The smallest D passes only where it happens to equal the inverse modulo (P - 1)(Q - 1).
    EXPECT_EQ(Verify(lcm, sealed.envelope), testing::InvertsEModuloPhi(lcm) ? 1 : 0);
}

TEST(EnvelopeTest, ShortEnvelopeIsRefusedWithoutReadingPastIt) {
    const testing::TestImage sealed = MakeTestImage(TestRsaKeys(), 0, 12);
    // A heap block of exactly 255 bytes: a read past it is caught by the address sanitizer.
    const std::vector<uint8_t> shortEnvelope(sealed.envelope.begin(), sealed.envelope.begin() + 255);
    EXPECT_EQ(Verify(TestRsaKeys(), shortEnvelope), 0);
    EXPECT_EQ(Verify(TestRsaKeys(), std::span<const uint8_t>()), 0);
}

TEST(EnvelopeTest, UnwrapRefusesLengthsOutsideTheBuffer) {
    const OpenedBlock opened{};
    std::vector<uint8_t> buffer(300, 0x11);
    for (int32_t length : {-1, 0, 255, 301}) {
        int32_t inOut = length;
        EXPECT_FALSE(UnwrapImage(buffer, inOut, opened));
        EXPECT_EQ(inOut, length);
    }
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0x11; }));
}

}  // namespace
}  // namespace korvane
