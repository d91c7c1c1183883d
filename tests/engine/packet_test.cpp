#include "engine/packet.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "tests/fixtures/link_frames.h"

namespace korvane {
namespace {

using testing::Bytes;

Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(n);
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(random());
    }
    return bytes;
}

Bytes Of(std::initializer_list<int> values) {
    Bytes bytes;
    for (int v : values) {
        bytes.push_back(static_cast<uint8_t>(v));
    }
    return bytes;
}

// ---- CRC ----

TEST(PacketCrc, KnownVectors) {
    const std::string abc = "abc";
    EXPECT_EQ(crc32_packet(reinterpret_cast<const uint8_t*>(abc.data()), abc.size()), 0xCA6598D0U);
    EXPECT_EQ(crc32_packet(nullptr, 0), 0U);
}

TEST(PacketCrc, ChunkedEqualsWhole) {
    const Bytes data = RandomBytes(1816, 1);
    const uint32_t whole = crc32_packet(data.data(), data.size());
    for (size_t split : {size_t{0}, size_t{1}, size_t{268}, size_t{1000}, data.size()}) {
        const uint32_t first = crc32_packet(data.data(), split);
        EXPECT_EQ(crc32_packet(data.data() + split, data.size() - split, first), whole) << "split at " << split;
    }
}

TEST(PacketCrc, TableMatchesBitwiseDefinition) {
    for (uint32_t seed = 0; seed < 20; ++seed) {
        const Bytes data = RandomBytes(seed * 37, seed);
        EXPECT_EQ(crc32_packet(data.data(), data.size()), testing::BitwiseCrc(data)) << "seed " << seed;
    }
}

// ---- byte stuffing ----

TEST(PacketEscape, EscapesOnlyFlagAndEscapeBytes) {
    const struct {
        Bytes in;
        Bytes out;
    } cases[] = {
        {Of({0x7E}), Of({0x7D, 0x5E})},
        {Of({0x7D}), Of({0x7D, 0x5D})},
        {Of({0x00, 0x7D, 0x7E, 0x5D, 0x5E, 0x7F, 0xFF}), Of({0x00, 0x7D, 0x5D, 0x7D, 0x5E, 0x5D, 0x5E, 0x7F, 0xFF})},
        {Of({0x7E, 0x7E}), Of({0x7D, 0x5E, 0x7D, 0x5E})},
        {{}, {}},
    };
    for (const auto& c : cases) {
        Bytes out(2 * c.in.size() + 1, 0xAA);
        const size_t written = escape_frame(out.data(), c.in.data(), c.in.size());
        out.resize(written);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(EscapedLength(c.in.data(), c.in.size()), c.out.size());
    }
}

TEST(PacketEscape, WorstCaseDoublesAndMatchesIndependentStuffing) {
    Bytes all(256);
    std::iota(all.begin(), all.end(), 0);
    Bytes flags(100, 0x7E);
    for (const Bytes& in : {all, flags, RandomBytes(3000, 9)}) {
        Bytes out(2 * in.size());
        out.resize(escape_frame(out.data(), in.data(), in.size()));
        EXPECT_EQ(out, testing::Stuff(in));
    }
    EXPECT_EQ(EscapedLength(flags.data(), flags.size()), 200U);
}

// ---- payloads ----

TEST(PacketPayload, BlockStartDataEnd) {
    EXPECT_EQ(BlockStartPayload(1537), Of({0xEF, 0xCD, 0xAB, 0x89, 0x01, 0x06, 0x00, 0x00}));
    EXPECT_EQ(BlockEndPayload(), Of({0x89, 0xAB, 0xCD, 0xEF, 0, 0, 0, 0}));
    const Bytes chunk = Of({0x7E, 0x01, 0x02});
    EXPECT_EQ(BlockDataPayload(0x80001600, chunk), Of({0x00, 0x16, 0x00, 0x80, 0x03, 0, 0, 0, 0x7E, 0x01, 0x02}));
}

TEST(PacketPayload, EraseRecord) {
    const Record record = EraseRecord();
    const Bytes expected = Of({0x3A, 0x3A, 0x00, 0x00, '9', '0', '4', '7', '3', '1', 0x00, 0x00});
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), record.begin()));
    EXPECT_TRUE(std::all_of(record.begin() + 12, record.end(), [](uint8_t b) { return b == 0; }));
}

TEST(PacketPayload, InitPlusDataKeepsDriveTextInItsFourBytes) {
    const struct {
        std::string drive_text;
        Bytes first4;
    } cases[] = {
        {"C:", Of({'C', ':', 0, 0})},
        {"", Of({0, 0, 0, 0})},
        {"AB:", Of({'A', 'B', ':', 0})},
        // Longer texts are cut; the terminator and startAddr stay intact.
        {"ABCD:", Of({'A', 'B', 'C', 0})},
    };
    for (const auto& c : cases) {
        const Record record = InitPlusDataRecord(c.drive_text, 0x12345678, 0x1FF, 16);
        EXPECT_EQ(Bytes(record.begin(), record.begin() + 4), c.first4) << c.drive_text;
        EXPECT_EQ(GetU32(record.data() + 4), 0x12345678U);
        EXPECT_EQ(record[8], 0xFF);
        EXPECT_EQ(record[9], 16);
        EXPECT_TRUE(std::all_of(record.begin() + 10, record.end(), [](uint8_t b) { return b == 0; }));
    }
}

TEST(PacketPayload, FsConfigRecord) {
    const Record record = FsConfigRecord(2, 1, 115200);
    EXPECT_EQ(GetU32(record.data()), 2U);
    EXPECT_EQ(GetU32(record.data() + 4), 1U);
    EXPECT_EQ(GetU32(record.data() + 8), 115200U);
    EXPECT_TRUE(std::all_of(record.begin() + 12, record.end(), [](uint8_t b) { return b == 0; }));
}

TEST(PacketPayload, TextRecordsStayTerminated) {
    const struct {
        Record record;
        std::string text;
        uint32_t value;
    } cases[] = {
        {TextRecord("C:/music", 0), "C:/music", 0},
        {TextRecord("C:/music/a.mp3", 70000), "C:/music/a.mp3", 70000},
        {TextRecord(std::string(300, 'x'), 5), std::string(255, 'x'), 5},
        {FileHandleRecord(42, 1024), "handle:42", 1024},
        {FileHandleRecord(-3, 1), "handle:-3", 1},
        {FileFinishRecord(42), "finish.handle:42", 0},
    };
    for (const auto& c : cases) {
        const char* text = reinterpret_cast<const char*>(c.record.data());
        EXPECT_EQ(std::string(text, strnlen(text, kRecordTextSize)), c.text);
        EXPECT_EQ(c.record[kRecordTextSize - 1], 0);
        EXPECT_EQ(GetU32(c.record.data() + kRecordTextSize), c.value);
    }
}

TEST(PacketPayload, FileDataPayloadIsRecordThenChunk) {
    const Bytes chunk = RandomBytes(1024, 3);
    const Bytes payload = FileDataPayload(7, chunk);
    ASSERT_EQ(payload.size(), kRecordSize + chunk.size());
    const Record record = FileHandleRecord(7, 1024);
    EXPECT_TRUE(std::equal(record.begin(), record.end(), payload.begin()));
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), payload.begin() + kRecordSize));
}

}  // namespace
}  // namespace korvane
