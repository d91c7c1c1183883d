#include "sim/packet_check.h"

#include <gtest/gtest.h>

#include "tests/fixtures/link_frames.h"
#include "tests/sim/sim_test_link.h"

namespace korvane::sim {
namespace {

using testing::Bytes;

std::string Judge(const Bytes& packet) {
    LinkPacket parsed;
    std::string refusal;
    return CheckLinkPacket(testing::Stuff(packet), parsed, refusal) ? "ok" : refusal;
}

// Puts a fresh CRC on a packet that was changed on purpose.
Bytes Resealed(Bytes packet) {
    packet.resize(packet.size() - 4);
    const uint32_t crc = testing::BitwiseCrc(packet);
    for (int i = 0; i < 4; ++i) {
        packet.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    }
    return packet;
}

TEST(CheckLinkPacket, AcceptsAWellFormedPacketAndExposesItsParts) {
    const Bytes payload = testing::PatternBytes(300);
    const Bytes packet = testing::PacketBytes(37, payload);
    LinkPacket parsed;
    std::string refusal;
    ASSERT_TRUE(CheckLinkPacket(testing::Stuff(packet), parsed, refusal)) << refusal;
    EXPECT_EQ(parsed.cmd, 37U);
    EXPECT_EQ(Bytes(parsed.Payload().begin(), parsed.Payload().end()), payload);
    EXPECT_EQ(parsed.SignedRegion().size(), 168 + payload.size());
    EXPECT_EQ(parsed.Signature()[0], packet[4]);
    EXPECT_EQ(Judge(testing::PacketBytes(5, {})), "ok");  // no payload: 272 bytes
}

TEST(CheckLinkPacket, OneFlippedByteAnywhereIsRefused) {
    const Bytes good = testing::PacketBytes(0, testing::BlockData(0x80000000, testing::PatternBytes(64)));
    struct Case {
        size_t offset;
        const char* refusal;
    };
    const Case cases[] = {
        {0, "bad crc"},                  // magic
        {4, "bad crc"},                  // signature
        {99, "bad crc"},                 // last signature byte
        {150, "bad crc"},                // reserved
        {260, "bad length"},             // length field
        {263, "bad length"},
        {264, "bad crc"},                // cmd
        {268, "bad crc"},                // payload
        {good.size() - 5, "bad crc"},    // last payload byte
        {good.size() - 4, "bad crc"},    // CRC itself
        {good.size() - 1, "bad crc"},
    };
    for (const Case& c : cases) {
        Bytes flipped = good;
        flipped[c.offset] ^= 0x04;
        EXPECT_EQ(Judge(flipped), c.refusal) << "offset " << c.offset;
    }
}

TEST(CheckLinkPacket, RefusesBrokenStructureEvenWithAGoodCrc) {
    Bytes wrong_magic = testing::PacketBytes(48, testing::TextBytes("0"));
    wrong_magic[0] = 0xA4;
    Bytes reserved = testing::PacketBytes(48, testing::TextBytes("0"));
    reserved[200] = 1;
    Bytes short_length = testing::PacketBytes(48, testing::TextBytes("0"));
    short_length[260] = 0x0B;  // 267: shorter than the header
    Bytes too_short = testing::PacketBytes(5, {});
    too_short.erase(too_short.begin() + 10, too_short.begin() + 11);

    EXPECT_EQ(Judge(Resealed(wrong_magic)), "bad magic");
    EXPECT_EQ(Judge(Resealed(reserved)), "bad header");
    EXPECT_EQ(Judge(Resealed(short_length)), "bad length");
    EXPECT_EQ(Judge(Resealed(too_short)), "short packet");
    EXPECT_EQ(Judge(Bytes(100, 0)), "short packet");
}

TEST(CheckLinkPacket, RefusesABrokenEscape) {
    Bytes stuffed = testing::Stuff(testing::PacketBytes(48, testing::TextBytes("0")));
    stuffed.push_back(0x7D);  // dangling
    LinkPacket parsed;
    std::string refusal;
    EXPECT_FALSE(CheckLinkPacket(stuffed, parsed, refusal));
    EXPECT_EQ(refusal, "bad escape");
}

}  // namespace
}  // namespace korvane::sim
