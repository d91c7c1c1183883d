#include "engine/transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include "engine/data_sign.h"
#include "engine/packet.h"
#include "tests/fixtures/engine_rig.h"
#include "tests/fixtures/fake_signing.h"
#include "tests/fixtures/link_frames.h"

namespace korvane {
namespace {

using testing::Bytes;
using testing::DecodedPacket;
using testing::LoadU32;
using testing::OkFrame;
using testing::RemoteErrorFrame;

constexpr uint32_t kLoadAddress = 0x80001000;

Bytes Pattern(size_t n) {
    Bytes bytes(n);
    for (size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 31 + 7);
    }
    return bytes;
}

Bytes Image(size_t n) {
    Bytes image = Pattern(n);
    if (n >= kLoadAddressOffset + 4) {
        PutU32(image.data() + kLoadAddressOffset, kLoadAddress);
    }
    return image;
}

std::string RecordText(const Bytes& payload) {
    const char* text = reinterpret_cast<const char*>(payload.data());
    return std::string(text, strnlen(text, std::min(payload.size(), kRecordTextSize)));
}

class TransferTest : public ::testing::Test {
protected:
    using Answer = std::function<Bytes(const DecodedPacket&, size_t index)>;

    // The terminal: every packet written is decoded, kept and answered with what answer
    // returns for it (nothing for an empty frame).
    void AnswerWith(Answer answer) {
        rig_.channel.OnWrite([this, answer](std::span<const uint8_t> bytes) {
            const auto packet = testing::DecodeCommandFrame(bytes);
            ASSERT_TRUE(packet) << "undecodable frame";
            EXPECT_TRUE(packet->crc_ok);
            packets_.push_back(*packet);
            rig_.channel.Arrive(answer(*packet, packets_.size() - 1));
        });
    }
    void AnswerAllOk() {
        AnswerWith([](const DecodedPacket&, size_t) { return OkFrame(); });
    }

    std::string Message() const { return std::string(BufferText(message_)); }
    std::vector<std::string> Progress() const { return rig_.view.Log("SetProgress"); }

    // The block packets: start, chunks at base (+ offset when follows), end.
    void ExpectBlock(uint32_t cmd, const Bytes& data, uint32_t base, bool follows) {
        const size_t chunks = (data.size() + kImageChunk - 1) / kImageChunk;
        ASSERT_EQ(packets_.size(), chunks + 2);
        for (const DecodedPacket& p : packets_) {
            EXPECT_EQ(p.cmd, cmd);
            EXPECT_EQ(p.length, 268 + p.payload.size());
        }
        EXPECT_EQ(packets_.front().payload, BlockStartPayload(static_cast<uint32_t>(data.size())));
        EXPECT_EQ(packets_.back().payload, BlockEndPayload());
        for (size_t i = 0; i < chunks; ++i) {
            const size_t offset = i * kImageChunk;
            const size_t length = std::min<size_t>(kImageChunk, data.size() - offset);
            const Bytes& payload = packets_[i + 1].payload;
            ASSERT_EQ(payload.size(), 8 + length);
            EXPECT_EQ(LoadU32(payload.data()), follows ? base + offset : base) << "chunk " << i;
            EXPECT_EQ(LoadU32(payload.data() + 4), length);
            EXPECT_TRUE(std::equal(payload.begin() + 8, payload.end(), data.begin() + static_cast<long>(offset)));
        }
    }

    std::vector<std::string> ProgressLines(std::initializer_list<size_t> done) const {
        std::vector<std::string> lines;
        for (size_t d : done) {
            lines.push_back("SetProgress " + std::to_string(testing::kRigPort) + " " + std::to_string(d));
        }
        return lines;
    }

    testing::SessionRig rig_;
    std::vector<DecodedPacket> packets_;
    std::array<char, 256> message_{};
};

// ---- images and blocks ----

TEST_F(TransferTest, ImageIsChunkedFromItsLoadAddress) {
    const struct {
        size_t size;
        std::vector<size_t> progress;
    } cases[] = {
        {384, {384}},
        {1536, {1536}},
        {1537, {1536, 1537}},
        {4000, {1536, 3072, 4000}},
    };
    for (const auto& c : cases) {
        packets_.clear();
        rig_.view.Clear();
        AnswerAllOk();
        const Bytes image = Image(c.size);
        EXPECT_EQ(send_image(rig_.session, image, message_), 0) << c.size;
        ExpectBlock(kCmdImage, image, kLoadAddress, true);
        std::vector<std::string> expected;
        for (size_t d : c.progress) {
            expected.push_back(ProgressLines({d})[0]);
        }
        EXPECT_EQ(Progress(), expected) << c.size;
    }
}

TEST_F(TransferTest, ImageSetsTheTenSecondTimeOutAndKeepsIt) {
    rig_.session.response_timeout = 5000;
    const uint32_t start = rig_.clock.Now();
    EXPECT_EQ(send_image(rig_.session, Image(1000), message_), -1);
    EXPECT_EQ(Message(), kMsgTimeOut);
    EXPECT_GT(rig_.clock.Now() - start, 10000U);
    EXPECT_LE(rig_.clock.Now() - start, 10010U);
    EXPECT_EQ(rig_.session.response_timeout, kImageTimeoutMs);
    EXPECT_EQ(rig_.channel.Writes().size(), 1U);  // no data after an unanswered start
}

TEST_F(TransferTest, ImageShorterThanItsHeaderIsRefusedBeforeSending) {
    for (size_t size : {size_t{0}, size_t{100}, size_t{383}}) {
        rig_.session.response_timeout = 5000;
        EXPECT_EQ(send_image(rig_.session, Image(size), message_), -1);
        EXPECT_EQ(Message(), "image too short (" + std::to_string(size) + " bytes)");
        EXPECT_TRUE(rig_.channel.Writes().empty());
        EXPECT_EQ(rig_.session.response_timeout, 5000U);
    }
}

TEST_F(TransferTest, FirstFailedAnswerStopsTheTransfer) {
    AnswerWith([](const DecodedPacket&, size_t index) {
        return index == 2 ? RemoteErrorFrame("APP is Running") : OkFrame();
    });
    EXPECT_EQ(send_image(rig_.session, Image(5000), message_), -1);
    EXPECT_EQ(Message(), "remote: APP is Running");
    EXPECT_EQ(packets_.size(), 3U);  // start, two chunks; no end packet
    EXPECT_EQ(Progress(), ProgressLines({1536}));
}

TEST_F(TransferTest, BlockUsesAddressZeroAndTheTimeOutInForce) {
    for (uint32_t cmd : {kCmdLogo, kCmdAmr}) {
        packets_.clear();
        rig_.view.Clear();
        rig_.session.response_timeout = 5000;
        AnswerAllOk();
        const Bytes block = Pattern(3100);
        EXPECT_EQ(send_block(rig_.session, cmd, block, message_), 0);
        ExpectBlock(cmd, block, 0, false);
        EXPECT_EQ(rig_.session.response_timeout, 5000U);
        EXPECT_EQ(Progress(), ProgressLines({1536, 3072, 3100}));
    }
}

TEST_F(TransferTest, EmptyBlockSendsOnlyStartAndEnd) {
    AnswerAllOk();
    EXPECT_EQ(send_block(rig_.session, kCmdAmr, {}, message_), 0);
    ExpectBlock(kCmdAmr, {}, 0, false);
    EXPECT_TRUE(Progress().empty());
}

TEST_F(TransferTest, AnswerDataEndsInTheMessage) {
    AnswerWith([](const DecodedPacket& p, size_t) {
        return LoadU32(p.payload.data()) == kBlockEndMagic ? OkFrame("block stored") : OkFrame("chunk");
    });
    EXPECT_EQ(send_block(rig_.session, kCmdLogo, Pattern(10), message_), 0);
    EXPECT_EQ(Message(), "block stored");
}

TEST_F(TransferTest, StopEndsATransferWithAnEmptyMessage) {
    AnswerWith([this](const DecodedPacket&, size_t index) {
        if (index == 1) {
            rig_.stop.store(true);
        }
        return index == 0 ? OkFrame("started") : Bytes{};
    });
    SetMessage(message_, "stale");
    EXPECT_EQ(send_block(rig_.session, kCmdLogo, Pattern(3000), message_), -1);
    EXPECT_EQ(Message(), "");
    EXPECT_EQ(packets_.size(), 2U);
}

TEST_F(TransferTest, RefusedWriteFailsAtOnce) {
    rig_.channel.FailWrites(true);
    EXPECT_EQ(send_block(rig_.session, kCmdLogo, Pattern(10), message_), -1);
    EXPECT_EQ(Message(), kMsgPortLost);
    EXPECT_EQ(rig_.channel.ReadCalls(), 0);
}

// A terminal that is still there but takes no data is not reported as unplugged.
TEST_F(TransferTest, StuckWriteHasItsOwnMessage) {
    rig_.channel.StallWrites();
    EXPECT_EQ(send_block(rig_.session, kCmdLogo, Pattern(10), message_), -1);
    EXPECT_EQ(Message(), kMsgWriteTimeOut);
    EXPECT_EQ(rig_.channel.ReadCalls(), 0);
}

// ---- the next packet is built while the current one is answered ----

// Packets signed and frames written, in the order they happened, each with the number of
// Read calls the channel had seen by then: a Read is the reader awaiting an answer.
struct LinkEvent {
    enum class Kind { kSign, kWrite } kind;
    Bytes signed_region;  // packet bytes 100 .. end of the payload
    int reads;
};

std::vector<LinkEvent>* g_link_events = nullptr;
const testing::ScriptedChannel* g_link_channel = nullptr;

int RecordingSign(const uint8_t key_pair[188], const uint8_t* data, uint32_t length, uint32_t flags,
                  uint8_t signature[96]) {
    g_link_events->push_back({LinkEvent::Kind::kSign, Bytes(data, data + length), g_link_channel->ReadCalls()});
    return testing::FakeSign(key_pair, data, length, flags, signature);
}

class BuildAheadTest : public TransferTest {
protected:
    void SetUp() override {
        g_link_events = &events_;
        g_link_channel = &rig_.channel;
        rig_.signing.pfnSign = &RecordingSign;
    }
    void TearDown() override {
        g_link_events = nullptr;
        g_link_channel = nullptr;
    }

    // As AnswerWith, recording each write as an event.
    void AnswerRecordingWith(Answer answer) {
        rig_.channel.OnWrite([this, answer](std::span<const uint8_t> bytes) {
            const auto packet = testing::DecodeCommandFrame(bytes);
            ASSERT_TRUE(packet) << "undecodable frame";
            events_.push_back({LinkEvent::Kind::kWrite, Bytes(packet->bytes.begin() + kSignedRegionOffset,
                                                              packet->bytes.end() - kCrcSize),
                               rig_.channel.ReadCalls()});
            packets_.push_back(*packet);
            rig_.channel.Arrive(answer(*packet, packets_.size() - 1));
        });
    }

    std::vector<LinkEvent> Events(LinkEvent::Kind kind) const {
        std::vector<LinkEvent> picked;
        std::copy_if(events_.begin(), events_.end(), std::back_inserter(picked),
                     [kind](const LinkEvent& e) { return e.kind == kind; });
        return picked;
    }
    // Where in the whole order the n-th event of a kind happened.
    size_t PositionOf(LinkEvent::Kind kind, size_t n) const {
        for (size_t i = 0; i < events_.size(); ++i) {
            if (events_[i].kind == kind && n-- == 0) {
                return i;
            }
        }
        return events_.size();
    }

    std::vector<LinkEvent> events_;
};

using Transfer = std::function<int(Session&, MessageBuffer)>;

Transfer ImageOf(size_t size) {
    return [size](Session& s, MessageBuffer m) { return send_image(s, Image(size), m); };
}
Transfer BlockOf(uint32_t cmd, size_t size) {
    return [cmd, size](Session& s, MessageBuffer m) { return send_block(s, cmd, Pattern(size), m); };
}
Transfer FileOf(size_t size) {
    return [size](Session& s, MessageBuffer m) { return send_file(s, Pattern(size), "C:/a", m); };
}

TEST_F(BuildAheadTest, NextPacketIsSignedBeforeTheCurrentAnswerIsAwaited) {
    const struct {
        const char* name;
        Transfer transfer;
        size_t first_ahead;  // the first packet built while its predecessor is answered
    } cases[] = {
        {"image", ImageOf(4000), 1},
        {"logo", BlockOf(kCmdLogo, 1536), 1},
        {"audio", BlockOf(kCmdAmr, 3100), 1},
        // The data packets carry the handle of the open packet's answer.
        {"file", FileOf(2100), 2},
    };
    for (const auto& c : cases) {
        events_.clear();
        packets_.clear();
        AnswerRecordingWith(
            [](const DecodedPacket&, size_t index) { return index == 0 ? OkFrame("handle:5") : OkFrame(); });
        ASSERT_EQ(c.transfer(rig_.session, message_), 0) << c.name;

        const std::vector<LinkEvent> signs = Events(LinkEvent::Kind::kSign);
        const std::vector<LinkEvent> writes = Events(LinkEvent::Kind::kWrite);
        ASSERT_EQ(signs.size(), writes.size()) << c.name;  // every packet signed once, all sent
        for (size_t k = 0; k < writes.size(); ++k) {
            EXPECT_EQ(signs[k].signed_region, writes[k].signed_region) << c.name << " packet " << k;
            EXPECT_LT(PositionOf(LinkEvent::Kind::kSign, k), PositionOf(LinkEvent::Kind::kWrite, k)) << c.name;
            if (k == 0) {
                continue;
            }
            // Packet k is written only after packet k-1 was answered...
            EXPECT_GT(writes[k].reads, writes[k - 1].reads) << c.name << " packet " << k;
            if (k < c.first_ahead) {
                EXPECT_GT(signs[k].reads, writes[k - 1].reads) << c.name << " packet " << k;
                continue;
            }
            // ...but signed after packet k-1 went out and before its answer was awaited.
            EXPECT_GT(PositionOf(LinkEvent::Kind::kSign, k), PositionOf(LinkEvent::Kind::kWrite, k - 1))
                << c.name << " packet " << k;
            EXPECT_EQ(signs[k].reads, writes[k - 1].reads) << c.name << " packet " << k;
        }
    }
}

TEST_F(BuildAheadTest, FailedAnswerOrStopWritesNothingMore) {
    enum class Ending { kRemoteError, kSilence, kStop };
    const struct {
        const char* name;
        Transfer transfer;
        size_t failing_packet;
        Ending ending;
        const char* message;
        size_t signed_packets;  // the written ones and, unless the last failed, the next one
        std::vector<size_t> progress;
    } cases[] = {
        {"image chunk refused", ImageOf(4000), 2, Ending::kRemoteError, "remote: flash error", 4, {1536}},
        {"block start unanswered", BlockOf(kCmdLogo, 3000), 0, Ending::kSilence, kMsgTimeOut, 2, {}},
        {"block end refused", BlockOf(kCmdAmr, 100), 2, Ending::kRemoteError, "remote: flash error", 3, {100}},
        {"stop while a chunk is answered", BlockOf(kCmdAmr, 3000), 1, Ending::kStop, "", 3, {}},
        {"file chunk refused", FileOf(3000), 2, Ending::kRemoteError, "remote: flash error", 4, {1024}},
        {"file finish unanswered", FileOf(1000), 2, Ending::kSilence, kMsgTimeOut, 3, {1000}},
    };
    for (const auto& c : cases) {
        events_.clear();
        packets_.clear();
        rig_.view.Clear();
        rig_.stop.store(false);
        const size_t failing = c.failing_packet;
        const Ending ending = c.ending;
        AnswerRecordingWith([this, failing, ending](const DecodedPacket&, size_t index) {
            if (index != failing) {
                return OkFrame("handle:5");
            }
            if (ending == Ending::kStop) {
                rig_.stop.store(true);
            }
            return ending == Ending::kRemoteError ? RemoteErrorFrame("flash error") : Bytes{};
        });
        EXPECT_EQ(c.transfer(rig_.session, message_), -1) << c.name;
        EXPECT_EQ(Message(), c.message) << c.name;
        EXPECT_EQ(packets_.size(), c.failing_packet + 1) << c.name;
        EXPECT_EQ(Events(LinkEvent::Kind::kSign).size(), c.signed_packets) << c.name;
        std::vector<std::string> progress;
        for (size_t done : c.progress) {
            progress.push_back(ProgressLines({done})[0]);
        }
        EXPECT_EQ(Progress(), progress) << c.name;
    }
}

// A fixed-content command's library signature is recorded in the signature store, so it
// is signed only when its packet is sent: a packet that never went out leaves no record.
TEST_F(BuildAheadTest, FixedContentCommandIsSignedOnlyAtItsTurn) {
    AnswerRecordingWith(
        [](const DecodedPacket&, size_t index) { return index == 0 ? RemoteErrorFrame("busy") : OkFrame(); });
    EXPECT_EQ(send_block(rig_.session, kCmdMakeDir, Pattern(3000), message_), -1);
    ASSERT_EQ(packets_.size(), 1U);
    EXPECT_EQ(Events(LinkEvent::Kind::kSign).size(), 1U);
    EXPECT_EQ(rig_.test_signing.StoreValue("40"), SignatureToHex(packets_[0].signature.data()));
}

// ---- records ----

TEST_F(TransferTest, RecordPacketCarriesTheRecord) {
    AnswerWith([](const DecodedPacket&, size_t) { return OkFrame("configured"); });
    rig_.session.response_timeout = 7000;
    const Record record = FsConfigRecord(1, 2, 3);
    EXPECT_EQ(send_record(rig_.session, kCmdFsConfig, record, message_), 0);
    ASSERT_EQ(packets_.size(), 1U);
    EXPECT_EQ(packets_[0].cmd, kCmdFsConfig);
    EXPECT_EQ(packets_[0].length, 528U);
    EXPECT_EQ(packets_[0].payload, Bytes(record.begin(), record.end()));
    EXPECT_EQ(rig_.session.response_timeout, 7000U);
    EXPECT_EQ(Message(), "configured");
}

TEST_F(TransferTest, PartitionInitSendsTwelveBytesAndSetsFiftySeconds) {
    AnswerAllOk();
    Record record = InitPlusDataRecord("C:", 256, 2, 8);
    std::fill(record.begin() + 12, record.end(), 0xEE);  // never sent
    EXPECT_EQ(send_record(rig_.session, kCmdPartitionInit, record, message_), 0);
    ASSERT_EQ(packets_.size(), 1U);
    EXPECT_EQ(packets_[0].length, 528U);
    EXPECT_TRUE(std::equal(record.begin(), record.begin() + 12, packets_[0].payload.begin()));
    EXPECT_TRUE(std::all_of(packets_[0].payload.begin() + 12, packets_[0].payload.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(rig_.session.response_timeout, kPartitionTimeoutMs);
}

TEST_F(TransferTest, EraseWaitsForASecondAnswerUnlessTheFirstIsEmpty) {
    const struct {
        const char* name;
        Bytes first;
        int result;
        size_t answers_read;
        uint32_t final_timeout;  // 0: no second answer awaited
    } cases[] = {
        {"empty first answer", OkFrame(), 0, 1, 0},
        {"equal size", OkFrame("Equal size"), -1, 1, kEraseEqualSizeTimeoutMs},
        {"any other text", OkFrame("Erasing"), -1, 1, kEraseFullTimeoutMs},
        {"prefix of equal size", OkFrame("Equal size!"), -1, 1, kEraseFullTimeoutMs},
    };
    for (const auto& c : cases) {
        testing::SessionRig rig;
        std::array<char, 128> message{};
        rig.channel.AnswerWrites({c.first});
        // A second answer that is not awaited stays in the channel.
        if (c.final_timeout == 0) {
            rig.channel.ArriveAt(rig.clock.Now() + 1, OkFrame("late"));
        }
        const uint32_t start = rig.clock.Now();
        EXPECT_EQ(send_record(rig.session, kCmdErase, EraseRecord(), message), c.result) << c.name;
        ASSERT_EQ(rig.channel.Writes().size(), 1U);
        const auto packet = testing::DecodeCommandFrame(rig.channel.Writes()[0]);
        ASSERT_TRUE(packet);
        const Record erase = EraseRecord();
        EXPECT_EQ(packet->payload, Bytes(erase.begin(), erase.end()));
        if (c.final_timeout == 0) {
            EXPECT_TRUE(rig.channel.Pending()) << c.name;
        } else {
            // Nothing more came: the final wait ran for its own time-out.
            EXPECT_EQ(std::string(BufferText(message)), kMsgTimeOut) << c.name;
            EXPECT_GT(rig.clock.Now() - start, c.final_timeout) << c.name;
            EXPECT_LE(rig.clock.Now() - start, c.final_timeout + 20) << c.name;
            EXPECT_EQ(rig.session.response_timeout, c.final_timeout) << c.name;
        }
    }
}

TEST_F(TransferTest, EraseFinalAnswerDecides) {
    rig_.channel.AnswerWrites({OkFrame("Erasing")});
    rig_.channel.ArriveAt(rig_.clock.Now() + 40000, OkFrame("Erase done"));
    EXPECT_EQ(send_record(rig_.session, kCmdErase, EraseRecord(), message_), 0);
    EXPECT_EQ(Message(), "Erase done");

    testing::SessionRig failing;
    failing.channel.AnswerWrites({OkFrame("Equal size")});
    failing.channel.ArriveAt(failing.clock.Now() + 100, RemoteErrorFrame("erase failed"));
    EXPECT_EQ(send_record(failing.session, kCmdErase, EraseRecord(), message_), -1);
    EXPECT_EQ(Message(), "remote: erase failed");

    testing::SessionRig first_fails;
    first_fails.channel.AnswerWrites({RemoteErrorFrame("busy")});
    first_fails.channel.ArriveAt(first_fails.clock.Now() + 100, OkFrame("never read"));
    EXPECT_EQ(send_record(first_fails.session, kCmdErase, EraseRecord(), message_), -1);
    EXPECT_EQ(Message(), "remote: busy");
}

// ---- files ----

TEST_F(TransferTest, FileIsOpenedSentInChunksUnderItsHandleAndFinished) {
    const struct {
        size_t size;
        std::vector<size_t> chunks;
    } cases[] = {
        {0, {}},
        {1024, {1024}},
        {1025, {1024, 1}},
        {3000, {1024, 1024, 952}},
    };
    for (const auto& c : cases) {
        packets_.clear();
        rig_.view.Clear();
        AnswerWith([](const DecodedPacket&, size_t index) { return index == 0 ? OkFrame("handle:42") : OkFrame(); });
        const Bytes file = Pattern(c.size);
        EXPECT_EQ(send_file(rig_.session, file, "C:/music/song.mp3", message_), 0);
        ASSERT_EQ(packets_.size(), c.chunks.size() + 2) << c.size;
        for (const DecodedPacket& p : packets_) {
            EXPECT_EQ(p.cmd, kCmdFile);
            EXPECT_EQ(p.length, 268 + p.payload.size());
        }
        EXPECT_EQ(packets_.front().length, 528U);
        EXPECT_EQ(RecordText(packets_.front().payload), "C:/music/song.mp3");
        EXPECT_EQ(LoadU32(packets_.front().payload.data() + 256), c.size);
        size_t offset = 0;
        std::vector<std::string> progress;
        for (size_t i = 0; i < c.chunks.size(); ++i) {
            const Bytes& payload = packets_[i + 1].payload;
            ASSERT_EQ(payload.size(), kRecordSize + c.chunks[i]);
            EXPECT_EQ(RecordText(payload), "handle:42");
            EXPECT_EQ(LoadU32(payload.data() + 256), c.chunks[i]);
            EXPECT_TRUE(std::equal(payload.begin() + kRecordSize, payload.end(), file.begin() + static_cast<long>(offset)));
            offset += c.chunks[i];
            progress.push_back(ProgressLines({offset})[0]);
        }
        EXPECT_EQ(RecordText(packets_.back().payload), "finish.handle:42");
        EXPECT_EQ(LoadU32(packets_.back().payload.data() + 256), 0U);
        EXPECT_EQ(packets_.back().length, 528U);
        EXPECT_EQ(Progress(), progress);
    }
}

TEST_F(TransferTest, HandleIsTheNumberAfterTheFirstColon) {
    const struct {
        Bytes answer;
        std::string data_record;
    } cases[] = {
        {OkFrame("handle:42"), "handle:42"},
        {OkFrame("42"), "handle:42"},
        {OkFrame("fd: 17 open"), "handle:17"},
        {OkFrame("a:b:5"), "handle:0"},
        {OkFrame("handle:-3"), "handle:-3"},
        {OkFrame("handle:99999999999"), "handle:2147483647"},
        {OkFrame("handle:-99999999999"), "handle:-2147483648"},
        {OkFrame("handle:\t+7x"), "handle:7"},
        {OkFrame("handle:--5"), "handle:0"},
        {OkFrame("handle:+-5"), "handle:0"},
        {OkFrame("handle:--9223372036854775808"), "handle:0"},
        {OkFrame("handle:-9223372036854775808"), "handle:-2147483648"},
        {OkFrame("handle:- 5"), "handle:0"},
        {OkFrame(), "handle:0"},
    };
    for (const auto& c : cases) {
        packets_.clear();
        const Bytes answer = c.answer;
        AnswerWith([answer](const DecodedPacket&, size_t index) { return index == 0 ? answer : OkFrame(); });
        EXPECT_EQ(send_file(rig_.session, Pattern(10), "C:/a", message_), 0);
        ASSERT_EQ(packets_.size(), 3U);
        EXPECT_EQ(RecordText(packets_[1].payload), c.data_record);
        EXPECT_EQ(RecordText(packets_[2].payload), "finish." + c.data_record);
    }
}

TEST_F(TransferTest, TargetPathMustBeShorterThan256Bytes) {
    AnswerAllOk();
    EXPECT_EQ(send_file(rig_.session, Pattern(10), std::string(255, 'p'), message_), 0);
    EXPECT_EQ(RecordText(packets_.front().payload), std::string(255, 'p'));

    packets_.clear();
    EXPECT_EQ(send_file(rig_.session, Pattern(10), std::string(256, 'p'), message_), -1);
    EXPECT_EQ(Message(), "target path too long (256 bytes)");
    EXPECT_TRUE(packets_.empty());
}

TEST_F(TransferTest, FileFailureKeepsTheFailedAnswersMessage) {
    const struct {
        size_t failing_packet;
        size_t packets_sent;
    } cases[] = {{0, 1}, {2, 3}, {4, 5}};  // open, a data packet, finish of a 3000-byte file
    for (const auto& c : cases) {
        packets_.clear();
        const size_t failing = c.failing_packet;
        AnswerWith([failing](const DecodedPacket&, size_t index) {
            return index == failing ? RemoteErrorFrame("no space") : OkFrame("handle:1");
        });
        EXPECT_EQ(send_file(rig_.session, Pattern(3000), "C:/a", message_), -1);
        EXPECT_EQ(Message(), "remote: no space");
        EXPECT_EQ(packets_.size(), c.packets_sent);
    }
}

TEST_F(TransferTest, SendCommandReturnsTheAnswersData) {
    AnswerWith([](const DecodedPacket& p, size_t) {
        return p.cmd == kCmdSecureBootQuery ? OkFrame("Secure boot disable!") : OkFrame();
    });
    std::array<uint8_t, 256> data{};
    uint32_t length = 0;
    EXPECT_EQ(SendCommand(rig_.session, kCmdSecureBootQuery, kSecureBootPayload, data, message_, &length), 0);
    EXPECT_EQ(BufferText(std::span<const uint8_t>(data.data(), length)), "Secure boot disable!");
    ASSERT_EQ(packets_.size(), 1U);
    EXPECT_EQ(packets_[0].payload, Bytes(16, 0));
}

}  // namespace
}  // namespace korvane
