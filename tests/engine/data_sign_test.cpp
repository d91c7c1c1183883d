#include "engine/data_sign.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <array>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "engine/frame.h"
#include "engine/packet.h"
#include "platform/profile.h"
#include "platform/trace.h"
#include "tests/fixtures/engine_rig.h"
#include "tests/fixtures/fake_signing.h"
#include "tests/fixtures/link_frames.h"
#include "tests/fixtures/test_env.h"

namespace korvane {
namespace {

using testing::Bytes;
using testing::DecodedPacket;

std::string Hex(const std::array<uint8_t, 96>& bytes) { return SignatureToHex(bytes.data()); }

class DataSignTest : public ::testing::Test {
protected:
    void SetUp() override { testing::ResetFakeSignCalls(); }

    DecodedPacket Send(uint32_t cmd, const Bytes& payload) {
        std::array<uint8_t, kMaxFrame> frame{};
        const int length = build_command_frame(&app_.signing, payload, frame.data(), cmd);
        const auto packet = testing::DecodeCommandFrame(Bytes(frame.begin(), frame.begin() + std::max(length, 0)));
        EXPECT_TRUE(packet);
        return packet.value_or(DecodedPacket{});
    }

    // What the library makes for this packet.
    std::array<uint8_t, 96> LibrarySignature(const DecodedPacket& packet) const {
        return testing::FakeSignature(app_.signing.keyPairData.data(), packet.bytes.data() + kSignedRegionOffset,
                                      packet.length - kSignedRegionOffset);
    }

    std::string Stored(const std::string& key) const { return app_.StoreValue(key); }
    void Store(const std::string& key, const std::string& value) {
        ASSERT_TRUE(WriteProfileString(app_.signing.signedDataIniPath, kStoreSection, key, value));
    }
    std::vector<std::string> StoredKeys() const {
        return ReadProfileKeys(app_.signing.signedDataIniPath, kStoreSection);
    }

    static Bytes RecordBytes(const Record& record) { return Bytes(record.begin(), record.end()); }

    testing::TestSigning app_;
};

TEST_F(DataSignTest, LibrarySigningRecordsEveryFixedContentCommandUnderItsKey) {
    struct Sent {
        std::string key;
        DecodedPacket packet;
    };
    std::vector<Sent> sent = {
        {"48", Send(kCmdOpenDownload, {'0'})},
        {"2.1", Send(kCmdAutoRun, {'1'})},
        {"2.0", Send(kCmdAutoRun, {'0'})},
        {"35.256", Send(kCmdPartitionInit, RecordBytes(InitPlusDataRecord("C:", 256, 2, 8)))},
        {"35.1024", Send(kCmdPartitionInit, RecordBytes(InitPlusDataRecord("D:", 1024, 2, 8)))},
        {"36", Send(kCmdErase, RecordBytes(EraseRecord()))},
        {"5", Send(kCmdVersion, {})},
    };
    EXPECT_EQ(testing::FakeSignCalls(), static_cast<int>(sent.size()));
    for (const Sent& s : sent) {
        EXPECT_EQ(s.packet.signature, LibrarySignature(s.packet)) << s.key;
        EXPECT_EQ(Stored(s.key), Hex(s.packet.signature)) << s.key;
    }
    EXPECT_EQ(StoredKeys().size(), sent.size());
}

TEST_F(DataSignTest, TwoDirectoriesShareOneKeyAndTheLastOneStays) {
    Send(kCmdMakeDir, RecordBytes(TextRecord("C:/music", 0)));
    const DecodedPacket last = Send(kCmdMakeDir, RecordBytes(TextRecord("C:/video", 0)));
    EXPECT_EQ(Stored("40"), Hex(last.signature));
    EXPECT_EQ(StoredKeys(), std::vector<std::string>{"40"});
}

TEST_F(DataSignTest, StoreSigningReadsTheRecordedValuesWithoutTheLibrary) {
    const DecodedPacket recorded_on = Send(kCmdAutoRun, {'1'});
    const DecodedPacket recorded_part = Send(kCmdPartitionInit, RecordBytes(InitPlusDataRecord("C:", 256, 2, 8)));
    // A value the library would never make proves it comes from the store.
    const std::string pattern = std::string(96, 'a') + std::string(96, '5');
    Store("48", pattern);

    app_.signing.b_useSignedData = 1;
    testing::ResetFakeSignCalls();
    EXPECT_EQ(Send(kCmdAutoRun, {'1'}).signature, recorded_on.signature);
    EXPECT_EQ(Send(kCmdPartitionInit, RecordBytes(InitPlusDataRecord("C:", 256, 2, 8))).signature,
              recorded_part.signature);
    const DecodedPacket open = Send(kCmdOpenDownload, {'0'});
    EXPECT_EQ(Hex(open.signature), pattern);
    EXPECT_TRUE(open.crc_ok);
    EXPECT_EQ(testing::FakeSignCalls(), 0);
}

TEST_F(DataSignTest, BulkCommandsAreAlwaysSignedByTheLibraryAndNeverTouchTheStore) {
    const std::string pattern(192, 'b');
    for (int use_store : {0, 1}) {
        app_.signing.b_useSignedData = use_store;
        for (uint32_t cmd : {kCmdImage, kCmdLogo, kCmdFile, kCmdAmr}) {
            Store(std::to_string(cmd), pattern);
            testing::ResetFakeSignCalls();
            const DecodedPacket packet = Send(cmd, BlockDataPayload(0, Bytes(100, 0x33)));
            EXPECT_EQ(testing::FakeSignCalls(), 1) << "cmd " << cmd << " store " << use_store;
            EXPECT_EQ(packet.signature, LibrarySignature(packet)) << "cmd " << cmd << " store " << use_store;
            EXPECT_EQ(Stored(std::to_string(cmd)), pattern) << "cmd " << cmd << " store " << use_store;
        }
    }
}

// The station's own key pair may not be the one the terminals trust, so a signature it makes
// must never replace what the store holds: the packet goes out with it, the store stays.
TEST_F(DataSignTest, StoreSigningWithoutAUsableValueSignsWithTheLibraryAndLeavesTheStore) {
    const std::string digits = std::string(96, '0') + std::string(96, 'f');
    const struct {
        const char* name;
        std::optional<std::string> value;
    } cases[] = {
        {"missing", std::nullopt},
        {"empty", ""},
        {"191 digits", digits.substr(0, 191)},
        {"not hex", "zz" + digits.substr(2)},
        {"blank inside", digits.substr(0, 100) + " " + digits.substr(101)},
    };
    app_.signing.b_useSignedData = 1;
    for (const auto& c : cases) {
        WriteProfileString(app_.signing.signedDataIniPath, kStoreSection, "48", c.value);
        testing::ResetFakeSignCalls();
        const DecodedPacket packet = Send(kCmdOpenDownload, {'0'});
        EXPECT_EQ(testing::FakeSignCalls(), 1) << c.name;
        EXPECT_EQ(packet.signature, LibrarySignature(packet)) << c.name;
        EXPECT_EQ(ReadProfileString(app_.signing.signedDataIniPath, kStoreSection, "48"), c.value) << c.name;
    }
}

TEST_F(DataSignTest, StoreValuesAreReadFromTheirFirst192Digits) {
    const std::string digits = std::string(96, '0') + std::string(96, 'F');
    app_.signing.b_useSignedData = 1;
    for (const std::string& value : {digits, digits + "0123trailing"}) {
        Store("48", value);
        testing::ResetFakeSignCalls();
        const DecodedPacket packet = Send(kCmdOpenDownload, {'0'});
        EXPECT_EQ(testing::FakeSignCalls(), 0);
        EXPECT_EQ(Hex(packet.signature), std::string(96, '0') + std::string(96, 'f'));
    }
}

TEST_F(DataSignTest, SignatureTheLibraryRefusedIsSentButNeverRecorded) {
    app_.signing.pfnSign = &testing::RefusingSign;
    const DecodedPacket packet = Send(kCmdOpenDownload, {'0'});
    EXPECT_EQ(packet.signature, (std::array<uint8_t, 96>{}));
    EXPECT_TRUE(packet.crc_ok);
    EXPECT_TRUE(StoredKeys().empty());
}

TEST(DataSignHex, RoundTripAndRefusals) {
    std::array<uint8_t, 96> signature{};
    for (size_t i = 0; i < signature.size(); ++i) {
        signature[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    const std::string hex = SignatureToHex(signature.data());
    EXPECT_EQ(hex.size(), 192U);
    EXPECT_EQ(hex.substr(0, 6), "030a11");
    std::array<uint8_t, 96> back{};
    EXPECT_TRUE(SignatureFromHex(hex, back.data()));
    EXPECT_EQ(back, signature);

    std::array<uint8_t, 96> untouched{};
    untouched.fill(0x55);
    EXPECT_FALSE(SignatureFromHex(hex.substr(0, 191), untouched.data()));
    EXPECT_FALSE(SignatureFromHex("g" + hex.substr(1), untouched.data()));
    EXPECT_TRUE(std::all_of(untouched.begin(), untouched.end(), [](uint8_t b) { return b == 0x55; }));
}

// The debug lines of a signature, with the region dumped as hex.
class DataSignTraceTest : public DataSignTest {
protected:
    void SetUp() override {
        DataSignTest::SetUp();
        saved_ = getenv("KORVANE_TRACE_FILE") != nullptr ? std::optional<std::string>(getenv("KORVANE_TRACE_FILE"))
                                                          : std::nullopt;
        testing::SetTestVariable("KORVANE_TRACE_FILE", trace_file_);
        TraceReconfigure();
    }
    void TearDown() override {
        testing::SetTestVariable("KORVANE_TRACE_FILE", saved_);
        TraceReconfigure();
    }
    std::string Trace() const {
        std::ifstream in(trace_file_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string trace_file_ = app_.dir.File("trace.txt");
    std::optional<std::string> saved_;
};

TEST_F(DataSignTraceTest, WritesTheRegionAndTheRecordedSignature) {
    const DecodedPacket packet = Send(kCmdAutoRun, {'1'});
    const std::string trace = Trace();
    std::string region_hex;
    for (size_t i = kSignedRegionOffset; i < packet.length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", packet.bytes[i]);
        region_hex += pair;
    }
    for (const std::string& line : {std::string("dataSign, psData->cmd = 2\n"), std::string("dataSign, psData->length = 269\n"),
                                    std::string("dataSign, param size = 169\n"), std::string("dataSign, data Len = 1\n"),
                                    "dataSign, data::" + region_hex + "\n", std::string("dataSign, autoRunData = 1\n"),
                                    "signData, result::" + Hex(packet.signature) + "\n"}) {
        EXPECT_NE(trace.find(line), std::string::npos) << line;
    }
}

TEST_F(DataSignTraceTest, WritesTheBlockAndPartitionFields) {
    Send(kCmdImage, BlockDataPayload(0x80001600, Bytes(3, 1)));
    Send(kCmdPartitionInit, RecordBytes(InitPlusDataRecord("C:", 300, 2, 8)));
    const std::string trace = Trace();
    EXPECT_NE(trace.find("dataSign, psImgBlock->addr = 0x80001600\n"), std::string::npos);
    EXPECT_NE(trace.find("dataSign, psImgBlock->len = 3\n"), std::string::npos);
    EXPECT_NE(trace.find("dataSign, initPlusData.startAddr = 300\n"), std::string::npos);
}

}  // namespace
}  // namespace korvane
