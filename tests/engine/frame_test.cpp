#include "engine/frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "engine/packet.h"
#include "tests/fixtures/engine_rig.h"
#include "tests/fixtures/fake_signing.h"
#include "tests/fixtures/link_frames.h"

namespace korvane {
namespace {

using testing::Bytes;
using testing::DecodeCommandFrame;
using testing::DecodedPacket;

class FrameTest : public ::testing::Test {
protected:
    // Builds a frame; the frame bytes, or empty for -1.
    Bytes Build(uint32_t cmd, const Bytes& payload, size_t* escaped = nullptr) {
        std::array<uint8_t, kMaxFrame> output{};
        const int length = build_command_frame(&app_.signing, payload, output.data(), cmd, escaped);
        return length < 0 ? Bytes{} : Bytes(output.begin(), output.begin() + length);
    }

    DecodedPacket BuildAndDecode(uint32_t cmd, const Bytes& payload) {
        const Bytes frame = Build(cmd, payload);
        const auto packet = DecodeCommandFrame(frame);
        EXPECT_TRUE(packet.has_value());
        return packet.value_or(DecodedPacket{});
    }

    testing::TestSigning app_;
};

TEST_F(FrameTest, PacketWithoutPayloadIsHeaderAndCrc) {
    const DecodedPacket packet = BuildAndDecode(kCmdVersion, {});
    EXPECT_EQ(packet.bytes.size(), 272U);
    EXPECT_EQ(packet.magic, kPacketMagic);
    EXPECT_EQ(packet.length, 268U);
    EXPECT_EQ(packet.cmd, 5U);
    EXPECT_TRUE(packet.payload.empty());
    EXPECT_TRUE(packet.reserved_zero);
    EXPECT_TRUE(packet.crc_ok);
    EXPECT_EQ(Bytes(packet.bytes.begin(), packet.bytes.begin() + 4), (Bytes{0xA5, 0xA5, 0x5A, 0x5A}));
}

TEST_F(FrameTest, LengthFieldCoversHeaderAndPayloadOnly) {
    const struct {
        uint32_t cmd;
        Bytes payload;
        size_t packet_size;
    } cases[] = {
        {kCmdOpenDownload, {'0'}, 273},
        {kCmdSecureBootQuery, Bytes(16, 0), 288},
        {kCmdFsConfig, Bytes(kRecordSize, 0), 532},
        {kCmdImage, BlockDataPayload(0x1000, Bytes(1536, 0x11)), 1816},
    };
    for (const auto& c : cases) {
        const DecodedPacket packet = BuildAndDecode(c.cmd, c.payload);
        EXPECT_EQ(packet.bytes.size(), c.packet_size) << "cmd " << c.cmd;
        EXPECT_EQ(packet.length, c.packet_size - kCrcSize) << "cmd " << c.cmd;
        EXPECT_EQ(packet.payload, c.payload) << "cmd " << c.cmd;
        EXPECT_TRUE(packet.crc_ok) << "cmd " << c.cmd;
    }
}

TEST_F(FrameTest, RecordPacketIs528BytesBeforeItsCrc) {
    const Record record = FsConfigRecord(1, 2, 3);
    const DecodedPacket packet = BuildAndDecode(kCmdFsConfig, Bytes(record.begin(), record.end()));
    EXPECT_EQ(packet.length, 528U);
    EXPECT_EQ(packet.bytes.size(), 532U);
}

TEST_F(FrameTest, FlagAndEscapeBytesInPayloadAreStuffedAndFlagsStaySingle) {
    const Bytes payload = {0x7E, 0x7D, 0x00, 0x7E};
    const Bytes frame = Build(kCmdLogo, payload);
    ASSERT_FALSE(frame.empty());
    EXPECT_EQ(frame.front(), 0x7E);
    EXPECT_EQ(frame.back(), 0x7E);
    EXPECT_EQ(std::count(frame.begin(), frame.end(), 0x7E), 2);
    const Bytes stuffed_payload = {0x7D, 0x5E, 0x7D, 0x5D, 0x00, 0x7D, 0x5E};
    EXPECT_NE(std::search(frame.begin(), frame.end(), stuffed_payload.begin(), stuffed_payload.end()), frame.end());
    const auto packet = DecodeCommandFrame(frame);
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->payload, payload);
    EXPECT_EQ(frame.size(), 2 + testing::Stuff(packet->bytes).size());
}

TEST_F(FrameTest, CrcBytesAreStuffedToo) {
    // Look for a payload whose CRC holds a byte that needs stuffing; bulk commands keep
    // the store out of the way.
    bool seen = false;
    for (uint32_t value = 0; value < 5000 && !seen; ++value) {
        Bytes payload(4);
        PutU32(payload.data(), value);
        const Bytes frame = Build(kCmdLogo, payload);
        const auto packet = DecodeCommandFrame(frame);
        ASSERT_TRUE(packet);
        Bytes crc(4);
        PutU32(crc.data(), packet->crc);
        if (std::none_of(crc.begin(), crc.end(), [](uint8_t b) { return b == 0x7D || b == 0x7E; })) {
            continue;
        }
        seen = true;
        const Bytes stuffed_crc = testing::Stuff(crc);
        ASSERT_GT(stuffed_crc.size(), 4U);
        EXPECT_TRUE(std::equal(stuffed_crc.begin(), stuffed_crc.end(), frame.end() - 1 - stuffed_crc.size()));
        EXPECT_TRUE(packet->crc_ok);
    }
    EXPECT_TRUE(seen);
}

TEST_F(FrameTest, SignatureCoversTheSignedRegionAndIsInPlaceBeforeTheCrc) {
    const Bytes payload = {'1'};
    const DecodedPacket first = BuildAndDecode(kCmdAutoRun, payload);
    const auto expected = testing::FakeSignature(app_.signing.keyPairData.data(), first.bytes.data() + 100, 169);
    EXPECT_EQ(first.signature, expected);
    EXPECT_TRUE(first.crc_ok);

    // Another key pair gives another signature, and with it another CRC over the same
    // header and payload: the CRC is taken after the signature is in place.
    app_.signing.keyPairData[0] ^= 0xFF;
    const DecodedPacket second = BuildAndDecode(kCmdAutoRun, payload);
    EXPECT_NE(second.signature, first.signature);
    EXPECT_NE(second.crc, first.crc);
    EXPECT_TRUE(second.crc_ok);
}

TEST_F(FrameTest, EscapedPacketBeyond4094BytesIsRefusedWithoutWriting) {
    std::array<uint8_t, kMaxFrame> output{};
    output.fill(0xAA);
    size_t escaped = 0;
    const Bytes payload(2100, 0x7E);
    EXPECT_EQ(build_command_frame(&app_.signing, payload, output.data(), kCmdLogo, &escaped), -1);
    EXPECT_GE(escaped, 272U + 2 * 2100U);
    EXPECT_TRUE(std::all_of(output.begin(), output.end(), [](uint8_t b) { return b == 0xAA; }));
}

TEST_F(FrameTest, FramesUpTo4096BytesAreBuiltAndLongerOnesRefused) {
    bool fitted = false;
    bool refused = false;
    for (size_t n = 3810; n < 3840; ++n) {
        size_t escaped = 0;
        const Bytes frame = Build(kCmdLogo, Bytes(n, 0x00), &escaped);
        if (escaped <= kMaxEscaped) {
            EXPECT_EQ(frame.size(), escaped + 2) << n;
            EXPECT_LE(frame.size(), kMaxFrame);
            fitted = true;
        } else {
            EXPECT_TRUE(frame.empty()) << n;
            refused = true;
        }
    }
    EXPECT_TRUE(fitted);
    EXPECT_TRUE(refused);
}

}  // namespace
}  // namespace korvane
