#include "engine/response_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "tests/fixtures/engine_rig.h"
#include "tests/fixtures/link_frames.h"

namespace korvane {
namespace {

using testing::Bytes;
using testing::OkFrame;
using testing::RemoteErrorFrame;
using testing::ResponseFrame;
using testing::ToBytes;

constexpr uint8_t kUntouched = 0xCC;

class ReaderTest : public ::testing::Test {
protected:
    ReaderTest() {
        data_.fill(kUntouched);
        SetMessage(message_, "untouched");
        start_ = rig_.clock.Now();
    }

    int Check() { return check_response(rig_.session, data_, message_, &length_); }
    std::string Message() const { return std::string(BufferText(message_)); }
    std::string Data(size_t n) const { return std::string(data_.begin(), data_.begin() + static_cast<long>(n)); }
    uint32_t Elapsed() { return rig_.clock.Now() - start_; }

    testing::SessionRig rig_;
    std::array<uint8_t, 256> data_{};
    std::array<char, 256> message_{};
    uint32_t length_ = 12345;
    uint32_t start_ = 0;
};

// ---- check_response: frames ----

TEST_F(ReaderTest, SuccessCopiesDataAndLength) {
    rig_.channel.Arrive(OkFrame("V1.0\r\nQV41C\r\nLDR 2.3"));
    EXPECT_EQ(Check(), 0);
    EXPECT_EQ(length_, 20U);
    EXPECT_EQ(Data(20), "V1.0\r\nQV41C\r\nLDR 2.3");
    EXPECT_EQ(data_[20], kUntouched);
    EXPECT_EQ(Message(), "untouched");
}

TEST_F(ReaderTest, NoiseBeforeTheOpeningFlagIsSkipped) {
    rig_.channel.Arrive(Bytes{0x00, 0x41, 0x7D, 0x5E, 0xFF});
    rig_.channel.ArriveAt(start_ + 300, OkFrame("ok"));
    EXPECT_EQ(Check(), 0);
    EXPECT_EQ(Data(2), "ok");
}

TEST_F(ReaderTest, StuffedBytesAreRestored) {
    const Bytes payload = {0x7E, 0x7D, 0x20, 0x5E};
    rig_.channel.Arrive(ResponseFrame(1, payload));
    EXPECT_EQ(Check(), 0);
    EXPECT_EQ(length_, 4U);
    EXPECT_EQ(Bytes(data_.begin(), data_.begin() + 4), payload);
}

TEST_F(ReaderTest, SuccessWithoutDataLeavesDataAndLengthAlone) {
    rig_.channel.Arrive(OkFrame());
    EXPECT_EQ(Check(), 0);
    EXPECT_EQ(length_, 12345U);
    EXPECT_TRUE(std::all_of(data_.begin(), data_.end(), [](uint8_t b) { return b == kUntouched; }));
}

TEST_F(ReaderTest, SuccessWithoutCallerBuffersIsFine) {
    rig_.channel.Arrive(OkFrame("data nobody wants"));
    EXPECT_EQ(check_response(rig_.session, {}, message_, nullptr), 0);
}

TEST_F(ReaderTest, RemoteFailureCarriesTheTerminalsText) {
    const struct {
        Bytes frame;
        std::string message;
    } cases[] = {
        {RemoteErrorFrame("APP is Running"), "remote: APP is Running"},
        {Bytes{0x7E, 0x7E}, "remote: "},  // an empty frame reads as status 0
        {Bytes{0x7E, 0x00, 0x00, 0x7E}, "remote: "},
        {ResponseFrame(0, ToBytes("no NUL")), "remote: no NUL"},
    };
    for (const auto& c : cases) {
        testing::SessionRig rig;
        std::array<char, 256> message{};
        rig.channel.Arrive(c.frame);
        EXPECT_EQ(check_response(rig.session, {}, message, nullptr), -1);
        EXPECT_EQ(std::string(BufferText(message)), c.message);
    }
}

TEST_F(ReaderTest, RemoteTextLongerThanTheMessageIsCutAndTerminated) {
    const std::string text(300, 'e');
    rig_.channel.Arrive(RemoteErrorFrame(text));
    std::array<char, 129> message{};
    message.back() = 'Z';  // a guard byte the reader must not reach
    EXPECT_EQ(check_response(rig_.session, {}, std::span<char>(message.data(), 128), nullptr), -1);
    EXPECT_EQ(std::string(message.data()), "remote: " + std::string(119, 'e'));
    EXPECT_EQ(message.back(), 'Z');
}

TEST_F(ReaderTest, RemoteTextFillingTheWholeFrameStaysBounded) {
    Bytes body(4096, 'x');
    std::fill_n(body.begin(), 8, 0);  // status 0, length 0, then text without NUL
    rig_.channel.Arrive(testing::Framed(body));
    EXPECT_EQ(Check(), -1);
    EXPECT_EQ(Message(), "remote: " + std::string(255 - 8, 'x'));
}

TEST_F(ReaderTest, DataIsBoundedByWhatArrivedAndByTheCallersBuffer) {
    const struct {
        const char* name;
        uint32_t declared;
        size_t sent;
        size_t expected;
    } cases[] = {
        {"declared beyond the frame", 100, 5, 5},
        {"declared beyond the buffer", 300, 300, 256},
        {"declared huge, frame full", 0xFFFFFFFF, 4088, 256},
        {"declared, nothing sent", 10, 0, 0},
    };
    for (const auto& c : cases) {
        testing::SessionRig rig;
        Bytes body(8 + c.sent, 0x61);
        std::fill_n(body.begin(), 8, 0);
        body[0] = 1;
        std::memcpy(body.data() + 4, &c.declared, 4);
        rig.channel.Arrive(testing::Framed(body));
        std::array<uint8_t, 257> data{};
        data.fill(kUntouched);
        uint32_t length = 99;
        EXPECT_EQ(check_response(rig.session, std::span<uint8_t>(data.data(), 256), {}, &length), 0) << c.name;
        EXPECT_EQ(length, c.expected) << c.name;
        EXPECT_TRUE(std::all_of(data.begin(), data.begin() + static_cast<long>(c.expected),
                                [](uint8_t b) { return b == 0x61; }))
            << c.name;
        EXPECT_EQ(data[c.expected], kUntouched) << c.name;
    }
}

TEST_F(ReaderTest, FrameOf4096BytesIsReadAndOneByteMoreIsRefused) {
    Bytes body(4096, 0x01);
    rig_.channel.Arrive(testing::Framed(body));
    EXPECT_EQ(Check(), 0);
    EXPECT_EQ(length_, 256U);

    testing::SessionRig rig;
    std::array<char, 64> message{};
    body.push_back(0x01);
    rig.channel.Arrive(testing::Framed(body));
    EXPECT_EQ(check_response(rig.session, {}, message, nullptr), -1);
    EXPECT_EQ(std::string(BufferText(message)), kMsgFrameTooLong);
}

// ---- check_response: time ----

TEST_F(ReaderTest, OpeningFlagTimeOutRunsFromTheCallNotFromTheLastByte) {
    rig_.session.response_timeout = 5000;
    for (uint32_t t = 500; t < 12000; t += 500) {
        rig_.channel.ArriveAt(start_ + t, Bytes{0x55});
    }
    EXPECT_EQ(Check(), -1);
    EXPECT_EQ(Message(), kMsgTimeOut);
    EXPECT_GT(Elapsed(), 5000U);
    EXPECT_LE(Elapsed(), 5010U);
}

TEST_F(ReaderTest, FrameThatStallsIsAbandoned3000MsAfterItsFlag) {
    const struct {
        uint32_t response_timeout;
        uint32_t flag_at;
    } cases[] = {
        {5000, 4000},   // stalls inside the response time-out
        {1000, 500},    // and beyond it: the frame has its own limit
        {60000, 100},
    };
    for (const auto& c : cases) {
        testing::SessionRig rig;
        const uint32_t start = rig.clock.Now();
        rig.session.response_timeout = c.response_timeout;
        rig.channel.ArriveAt(start + c.flag_at, Bytes{0x7E, 0x01, 0x00});
        std::array<char, 64> message{};
        EXPECT_EQ(check_response(rig.session, {}, message, nullptr), -1);
        EXPECT_EQ(std::string(BufferText(message)), kMsgTimeOut);
        const uint32_t after_flag = rig.clock.Now() - start - c.flag_at;
        EXPECT_GT(after_flag, kFrameCompletionMs) << c.flag_at;
        EXPECT_LE(after_flag, kFrameCompletionMs + 10) << c.flag_at;
    }
}

TEST_F(ReaderTest, FrameArrivingInPiecesWithinItsTimeIsRead) {
    const Bytes frame = OkFrame("slow");
    for (size_t i = 0; i < frame.size(); ++i) {
        rig_.channel.ArriveAt(start_ + 100 + static_cast<uint32_t>(i) * 200, Bytes{frame[i]});
    }
    EXPECT_EQ(Check(), 0);
    EXPECT_EQ(Data(4), "slow");
}

TEST_F(ReaderTest, StopLeavesTheMessageUntouched) {
    const struct {
        const char* name;
        bool session_flag;  // the session's own stop flag rather than the run flag
        bool inside_frame;
    } cases[] = {
        {"run stopped while waiting for the flag", false, false},
        {"session stopped while waiting for the flag", true, false},
        {"run stopped inside a frame", false, true},
        {"session stopped inside a frame", true, true},
    };
    for (const auto& c : cases) {
        testing::SessionRig rig;
        const uint32_t start = rig.clock.Now();
        if (c.inside_frame) {
            rig.channel.Arrive(Bytes{0x7E, 0x01});
        }
        rig.channel.OnIdle([&] {
            if (rig.clock.Now() - start >= 2000) {
                c.session_flag ? rig.stop.store(true) : rig.running.store(0);
            }
        });
        std::array<char, 64> message{};
        SetMessage(message, "before");
        EXPECT_EQ(check_response(rig.session, {}, message, nullptr), -1) << c.name;
        EXPECT_EQ(std::string(BufferText(message)), "before") << c.name;
        EXPECT_LE(rig.clock.Now() - start, 2010U) << c.name;
    }
}

TEST_F(ReaderTest, LostPortEndsTheWaitAtOnce) {
    for (bool inside_frame : {false, true}) {
        testing::SessionRig rig;
        if (inside_frame) {
            rig.channel.Arrive(Bytes{0x7E, 0x01});
            rig.channel.OnIdle([&] { rig.channel.FailReads(true); });
        } else {
            rig.channel.FailReads(true);
        }
        std::array<char, 64> message{};
        EXPECT_EQ(check_response(rig.session, {}, message, nullptr), -1);
        EXPECT_EQ(std::string(BufferText(message)), kMsgPortLost);
        EXPECT_LE(rig.channel.ReadCalls(), 4);
    }
}

// ---- the plain-text replies ----

class TextReplyTest : public ReaderTest {
protected:
    int Tusn() { return read_tusn_reply(rig_.session, message_, tusn_); }
    std::string TusnText() const { return std::string(BufferText(tusn_)); }
    std::array<char, 256> tusn_{};
};

TEST_F(TextReplyTest, TusnReplyIsTakenWhole) {
    rig_.channel.Arrive(ToBytes("garbage"));
    rig_.channel.ArriveAt(start_ + 200, ToBytes("00005012345678901234"));
    EXPECT_EQ(Tusn(), 0);
    EXPECT_EQ(TusnText(), "00005012345678901234");
}

TEST_F(TextReplyTest, OnlyTheLatestReadCountsNotWhatAnEarlierOneLeftBehind) {
    rig_.channel.Arrive(ToBytes("a much longer line of noise than the reply"));
    rig_.channel.ArriveAt(start_ + 200, ToBytes("000050ABC"));
    EXPECT_EQ(Tusn(), 0);
    EXPECT_EQ(TusnText(), "000050ABC");
}

TEST_F(TextReplyTest, NearMissesAreNotAcceptedAndTimeOut) {
    const char* near_misses[] = {"00005x12345678901234", "00004012345678901234", " 000050", "00005"};
    for (const char* reply : near_misses) {
        testing::SessionRig rig;
        const uint32_t start = rig.clock.Now();
        rig.session.response_timeout = 3000;
        rig.channel.Arrive(ToBytes(reply));
        std::array<char, 64> message{};
        std::array<char, 64> tusn{};
        EXPECT_EQ(read_tusn_reply(rig.session, message, tusn), -1) << reply;
        EXPECT_EQ(std::string(BufferText(message)), kMsgTimeOut) << reply;
        EXPECT_GT(rig.clock.Now() - start, 3000U) << reply;
        EXPECT_EQ(tusn[0], '\0') << reply;
    }
}

TEST_F(TextReplyTest, TextSplitAcrossTwoReadsIsNotJoined) {
    rig_.channel.Arrive(ToBytes("000"));
    rig_.channel.ArriveAt(start_ + 50, ToBytes("05012345678901234"));
    EXPECT_EQ(Tusn(), -1);
    EXPECT_EQ(Message(), kMsgTimeOut);
}

TEST_F(TextReplyTest, ReplyFillingTheWholeBufferIsCutToTheCallersBuffer) {
    rig_.channel.Arrive(ToBytes("000050" + std::string(5000, '7')));
    std::array<char, 33> tusn{};
    tusn.back() = 'Z';
    EXPECT_EQ(read_tusn_reply(rig_.session, message_, std::span<char>(tusn.data(), 32)), 0);
    EXPECT_EQ(std::string(tusn.data()), "000050" + std::string(25, '7'));
    EXPECT_EQ(tusn.back(), 'Z');
}

TEST_F(TextReplyTest, OkayReplies) {
    const struct {
        std::vector<std::string> reads;
        int result;
        std::string message;
    } cases[] = {
        {{"OKAY"}, 0, "untouched"},
        {{"noise", "OKAY\r\n"}, 0, "untouched"},
        {{"OK", "AY"}, -1, kMsgTimeOut},
        {{"FAIL"}, -1, kMsgTimeOut},
        {{"okay"}, -1, kMsgTimeOut},
    };
    for (const auto& c : cases) {
        testing::SessionRig rig;
        uint32_t at = rig.clock.Now();
        for (const std::string& read : c.reads) {
            rig.channel.ArriveAt(at += 100, ToBytes(read));
        }
        std::array<char, 64> message{};
        SetMessage(message, "untouched");
        EXPECT_EQ(wait_okay(rig.session, message), c.result) << c.reads.front();
        EXPECT_EQ(std::string(BufferText(message)), c.message) << c.reads.front();
    }
}

TEST_F(TextReplyTest, TimeOutStopAndLostPort) {
    rig_.session.response_timeout = 5000;
    EXPECT_EQ(wait_okay(rig_.session, message_), -1);
    EXPECT_EQ(Message(), kMsgTimeOut);
    EXPECT_GT(Elapsed(), 5000U);
    EXPECT_LE(Elapsed(), 5010U);

    testing::SessionRig stopped;
    stopped.running = 0;
    std::array<char, 64> message{};
    SetMessage(message, "before");
    std::array<char, 64> tusn{};
    EXPECT_EQ(read_tusn_reply(stopped.session, message, tusn), -1);
    EXPECT_EQ(std::string(BufferText(message)), "before");
    EXPECT_EQ(stopped.channel.ReadCalls(), 0);

    testing::SessionRig lost;
    lost.channel.FailReads(true);
    EXPECT_EQ(wait_okay(lost.session, message), -1);
    EXPECT_EQ(std::string(BufferText(message)), kMsgPortLost);
    EXPECT_EQ(lost.channel.ReadCalls(), 1);
}

TEST(WriteBytesTest, WritesWholeBuffersAndTellsAFailedWriteFromAStuckTerminal) {
    testing::SessionRig rig;
    const Bytes command = ToBytes("GOTO FASTBOOT");
    EXPECT_EQ(WriteBytes(rig.session, command.data(), command.size()), WriteOutcome::kWritten);
    ASSERT_EQ(rig.channel.Writes().size(), 1U);
    EXPECT_EQ(rig.channel.Writes()[0], command);

    rig.channel.FailWrites(true);
    EXPECT_EQ(WriteBytes(rig.session, command.data(), command.size()), WriteOutcome::kPortLost);
    rig.channel.FailWrites(false);
    rig.channel.StallWrites();
    const uint32_t before = rig.clock.Now();
    EXPECT_EQ(WriteBytes(rig.session, command.data(), command.size()), WriteOutcome::kTimedOut);
    EXPECT_EQ(rig.clock.Now() - before, 2000U);

    EXPECT_STREQ(WriteFailureText(WriteOutcome::kPortLost), "Port lost");
    EXPECT_STREQ(WriteFailureText(WriteOutcome::kTimedOut), "Write time out");
    EXPECT_STREQ(WriteFailureText(WriteOutcome::kStopped), "");
}

// A channel whose tenth entry is there only when its version says so: another module's
// table may end after Write, and whatever follows it must never be called.
struct VersionedChannel {
    static inline uint32_t version = 0;
    static inline int writes = 0;
    static inline int tenthEntryCalls = 0;
    static uint32_t GetVersion(IChannel*) { return version; }
    static int32_t Write(IChannel*, const void*, uint32_t length, uint32_t) {
        ++writes;
        return static_cast<int32_t>(length);
    }
    static int32_t Tenth(IChannel*, const void*, uint32_t length, int32_t (*)(void*), void*) {
        ++tenthEntryCalls;
        return static_cast<int32_t>(length);
    }
};

TEST(WriteBytesTest, TheTenthEntryIsUsedOnlyWhenTheChannelsVersionHasIt) {
    struct Case {
        const char* name;
        bool hasVersionEntry;
        uint32_t version;
        bool tenthUsed;
    };
    const Case cases[] = {
        {"a nine-entry table of another module", true, 0x00000105, false},
        {"no version entry", false, 0, false},
        {"a version just before the tenth entry", true, CHANNEL_VERSION_WRITE_WHILE - 1, false},
        {"this module's version", true, CHANNEL_VERSION_WRITE_WHILE, true},
        {"a later version of this module", true, CHANNEL_VERSION_CANCEL_IO, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IChannelVtbl table{};
        table.GetVersion = c.hasVersionEntry ? &VersionedChannel::GetVersion : nullptr;
        table.Write = &VersionedChannel::Write;
        table.WriteWhile = &VersionedChannel::Tenth;
        IChannel channel{&table};
        VersionedChannel::version = c.version;
        VersionedChannel::writes = VersionedChannel::tenthEntryCalls = 0;
        testing::SessionRig rig;
        rig.session.channel = &channel;
        const Bytes command = ToBytes("CHECK SP");
        EXPECT_EQ(WriteBytes(rig.session, command.data(), command.size()), WriteOutcome::kWritten);
        EXPECT_EQ(VersionedChannel::tenthEntryCalls, c.tenthUsed ? 1 : 0);
        EXPECT_EQ(VersionedChannel::writes, c.tenthUsed ? 0 : 1);
    }
}

// A write held by a terminal that takes no data ends soon after the session is told to
// stop or the run is stopped, not at the end of the write limit.
TEST(WriteBytesTest, StuckWriteEndsSoonAfterAStop) {
    for (const bool whole_run : {false, true}) {
        testing::SessionRig rig;
        const uint32_t start = rig.clock.Now();
        rig.channel.StallWrites([&rig, start, whole_run] {
            if (rig.clock.Now() - start >= 300) {
                whole_run ? rig.running.store(0) : rig.stop.store(true);
            }
        });
        const Bytes command = ToBytes("GOTO FASTBOOT");
        EXPECT_EQ(WriteBytes(rig.session, command.data(), command.size()), WriteOutcome::kStopped);
        EXPECT_LE(rig.clock.Now() - start, 300U + CHANNEL_STOP_CHECK_MS);
    }
}

}  // namespace
}  // namespace korvane
