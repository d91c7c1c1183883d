#include "sim/terminal_logic.h"

#include <gtest/gtest.h>

#include "tests/sim/sim_test_link.h"

namespace korvane::sim {
namespace {

using testing::BlockData;
using testing::BlockEnd;
using testing::BlockStart;
using testing::Bytes;
using testing::DecodedAnswer;
using testing::PacketFrame;
using testing::PatternBytes;
using testing::TextBytes;
using testing::TextRecord;

const Bytes kZero16(16, 0);

class TerminalLogicTest : public ::testing::Test {
protected:
    void Start(TerminalMode mode, std::vector<const char*> faults = {}, bool verify = true) {
        TerminalSettings settings = settings_;
        settings.start_mode = mode;
        for (const char* rule_text : faults) {
            FaultRule rule;
            std::string error;
            ASSERT_TRUE(ParseFaultRule(rule_text, rule, error)) << error;
            settings.faults.push_back(rule);
        }
        logic_ = std::make_unique<TerminalLogic>(settings, verify ? &check_ : nullptr);
    }

    Reaction Send(const Bytes& bytes) {
        Reaction reaction;
        logic_->Receive(bytes, reaction);
        return reaction;
    }

    Reaction Send(std::string_view text) { return Send(TextBytes(text)); }

    // One packet that must get exactly one answer.
    DecodedAnswer Exchange(uint32_t cmd, const Bytes& payload = {}) {
        const Reaction reaction = Send(PacketFrame(cmd, payload));
        EXPECT_EQ(reaction.answers.size(), 1U) << "cmd " << cmd;
        if (reaction.answers.empty()) {
            return {};
        }
        const auto answer = testing::DecodeAnswer(reaction.answers[0].bytes);
        EXPECT_TRUE(answer) << "cmd " << cmd;
        return answer.value_or(DecodedAnswer{});
    }

    static std::string Text(const Reaction& reaction, size_t index = 0) {
        if (index >= reaction.answers.size()) {
            return "<none>";
        }
        const Bytes& bytes = reaction.answers[index].bytes;
        return {bytes.begin(), bytes.end()};
    }

    void ExpectAccepted(uint32_t cmd, const Bytes& payload, std::string_view data = "") {
        const DecodedAnswer answer = Exchange(cmd, payload);
        EXPECT_EQ(answer.status, 1U) << "cmd " << cmd << ": " << answer.text;
        EXPECT_EQ(answer.text, data) << "cmd " << cmd;
    }

    void ExpectRefused(uint32_t cmd, const Bytes& payload, std::string_view text) {
        const DecodedAnswer answer = Exchange(cmd, payload);
        EXPECT_EQ(answer.status, 0U) << "cmd " << cmd;
        EXPECT_EQ(answer.text, text) << "cmd " << cmd;
    }

    void SendImage(uint32_t address, const Bytes& image) {
        ExpectAccepted(0, BlockStart(static_cast<uint32_t>(image.size())));
        for (size_t offset = 0; offset < image.size(); offset += 1536) {
            const auto chunk = std::span(image).subspan(offset, std::min<size_t>(1536, image.size() - offset));
            ExpectAccepted(0, BlockData(address + static_cast<uint32_t>(offset), chunk));
        }
        ExpectAccepted(0, BlockEnd());
    }

    TerminalSettings settings_;
    testing::FakeSignatureCheck check_;
    std::unique_ptr<TerminalLogic> logic_;
};

TEST_F(TerminalLogicTest, ApplicationAnswersPlainTextAndIgnoresFrames) {
    settings_.tusn = "00005001QV0010000042";
    Start(TerminalMode::kApplication);
    EXPECT_TRUE(Send(PacketFrame(5)).answers.empty());
    EXPECT_EQ(Text(Send("READ TUSN")), "00005001QV0010000042");
    const Reaction entered = Send("GOTO FASTBOOT");
    EXPECT_EQ(Text(entered), "OKAY");
    EXPECT_EQ(logic_->Mode(), TerminalMode::kLoader);
    EXPECT_EQ(Exchange(5).text, std::string(kDefaultVersionText));
    EXPECT_EQ(logic_->Record().Sequence(), (std::vector<std::string>{"READ TUSN", "GOTO FASTBOOT", "5"}));
}

TEST_F(TerminalLogicTest, ApplicationFindsCommandsSplitAcrossReadsAndAmongJunk) {
    Start(TerminalMode::kApplication);
    EXPECT_TRUE(Send("\x01junkREAD T").answers.empty());
    EXPECT_EQ(Text(Send("USNtrailing")), DefaultTusn(1));
    EXPECT_EQ(Text(Send("CHECK SP")), "OKAY");
    EXPECT_TRUE(logic_->Record().check_sp);
    EXPECT_EQ(logic_->Mode(), TerminalMode::kApplication);
}

TEST_F(TerminalLogicTest, BytesAfterGotoFastbootInTheSameReadReachTheLoader) {
    Start(TerminalMode::kApplication);
    Bytes stream = TextBytes("GOTO FASTBOOT");
    const Bytes frame = PacketFrame(48, TextBytes("0"));
    stream.insert(stream.end(), frame.begin(), frame.end());
    const Reaction reaction = Send(stream);
    ASSERT_EQ(reaction.answers.size(), 2U);
    EXPECT_EQ(Text(reaction), "OKAY");
    EXPECT_EQ(testing::DecodeAnswer(reaction.answers[1].bytes)->status, 1U);
    EXPECT_EQ(logic_->Record().download_opened, 1U);
    ASSERT_FALSE(reaction.events.empty());
    EXPECT_EQ(reaction.events.back().kind, "download-open");
}

TEST_F(TerminalLogicTest, DefaultTusnIsTwentyCharactersEndingInThePort) {
    EXPECT_EQ(DefaultTusn(3), "0000500141K010000003");
    EXPECT_EQ(DefaultTusn(1234).size(), 20U);
}

TEST_F(TerminalLogicTest, LoaderAnswersEachCommandAndKeepsItsSettings) {
    Start(TerminalMode::kLoader);
    ExpectAccepted(5, {}, kDefaultVersionText);
    ExpectAccepted(48, TextBytes("0"));
    ExpectAccepted(43, testing::FsConfigRecord(1, 2, 3));
    ExpectAccepted(35, testing::PartitionRecord("C:", 0x100, 4, 16));
    ExpectAccepted(40, TextRecord("C:/app", 0));
    ExpectAccepted(2, TextBytes("1"));
    ExpectAccepted(33, kZero16, kSecureBootDisabledText);
    ExpectAccepted(31, kZero16);
    ExpectAccepted(33, kZero16, kSecureBootEnabledText);

    const TerminalRecord& record = logic_->Record();
    EXPECT_EQ(record.download_opened, 1U);
    ASSERT_TRUE(record.fs_config);
    EXPECT_EQ(*record.fs_config, (std::array<uint32_t, 3>{1, 2, 3}));
    ASSERT_EQ(record.partitions.size(), 1U);
    EXPECT_EQ(record.partitions[0].drive, "C:");
    EXPECT_EQ(record.partitions[0].start_addr, 0x100U);
    EXPECT_EQ(record.partitions[0].size, 4);
    EXPECT_EQ(record.partitions[0].flash_size, 16);
    EXPECT_EQ(record.dirs, std::vector<std::string>{"C:/app"});
    EXPECT_EQ(record.auto_run, '1');
    EXPECT_TRUE(record.secure_boot_queried);
    EXPECT_TRUE(record.secure_boot_enabled);
    ASSERT_EQ(record.packets.size(), 9U);
    EXPECT_EQ(record.packets[3].payload_size, 260U);
    EXPECT_EQ(record.packets[3].signature, SignatureResult::kValid);
}

TEST_F(TerminalLogicTest, LoaderRefusesMalformedPayloads) {
    Start(TerminalMode::kLoader);
    Bytes dir_with_junk = TextRecord("C:/app", 0);
    dir_with_junk[200] = 'x';
    Bytes erase_wrong_code = testing::EraseRecord();
    erase_wrong_code[4] = '8';
    struct Case {
        uint32_t cmd;
        Bytes payload;
        const char* refusal;
    };
    const std::vector<Case> cases = {
        {5, TextBytes("x"), "bad payload"},
        {48, TextBytes("1"), "bad payload"},
        {48, {}, "bad payload"},
        {1, TextBytes("0"), "bad payload"},
        {2, TextBytes("2"), "bad payload"},
        {25, TextBytes("00"), "bad payload"},
        {33, Bytes(15, 0), "bad payload"},
        {31, Bytes(16, 1), "bad payload"},
        {35, testing::PartitionRecord("", 0, 0, 0), "bad record"},
        {35, Bytes(100, 0), "bad record"},
        {36, erase_wrong_code, "bad record"},
        {40, dir_with_junk, "bad record"},
        {40, TextRecord("", 0), "bad record"},
        {43, Bytes(261, 0), "bad record"},
        {99, {}, "unknown command"},
    };
    for (const Case& c : cases) {
        ExpectRefused(c.cmd, c.payload, c.refusal);
    }
    EXPECT_TRUE(logic_->Record().dirs.empty());
    EXPECT_EQ(logic_->Record().erase_count, 0U);
}

TEST_F(TerminalLogicTest, EraseAnswersOnceOrTwiceByItsFirstAnswer) {
    const struct {
        const char* first;
        size_t answers;
    } cases[] = {{"", 1}, {"Equal size", 2}, {"Erasing", 2}};
    for (const auto& c : cases) {
        settings_.erase_first_answer = c.first;
        Start(TerminalMode::kLoader);
        const Reaction reaction = Send(PacketFrame(36, testing::EraseRecord()));
        ASSERT_EQ(reaction.answers.size(), c.answers) << c.first;
        const auto first = testing::DecodeAnswer(reaction.answers[0].bytes);
        EXPECT_EQ(first->status, 1U);
        EXPECT_EQ(first->text, c.first);
        if (c.answers == 2) {
            const auto last = testing::DecodeAnswer(reaction.answers[1].bytes);
            EXPECT_EQ(last->status, 1U);
            EXPECT_EQ(last->length, 0U);
        }
        EXPECT_EQ(logic_->Record().erase_count, 1U);
    }
}

TEST_F(TerminalLogicTest, ResetAndRunAppReturnToTheApplication) {
    Start(TerminalMode::kLoader);
    ExpectAccepted(25, TextBytes("0"));
    EXPECT_EQ(logic_->Mode(), TerminalMode::kApplication);
    EXPECT_TRUE(logic_->Record().reset);
    EXPECT_TRUE(Send(PacketFrame(5)).answers.empty());
    EXPECT_EQ(Text(Send("GOTO FASTBOOT")), "OKAY");
    ExpectAccepted(1, {});
    EXPECT_TRUE(logic_->Record().run_app);
    EXPECT_EQ(logic_->Mode(), TerminalMode::kApplication);
    EXPECT_EQ(Text(Send("CHECK SP")), "OKAY");
    EXPECT_EQ(logic_->Record().mode_changes,
              (std::vector<TerminalMode>{TerminalMode::kApplication, TerminalMode::kLoader, TerminalMode::kApplication}));
}

TEST_F(TerminalLogicTest, LoaderAcceptsCheckSpBetweenFrames) {
    Start(TerminalMode::kLoader);
    ExpectAccepted(48, TextBytes("0"));
    EXPECT_EQ(Text(Send("CHEC")), "<none>");
    EXPECT_EQ(Text(Send("K SP")), "OKAY");
    EXPECT_TRUE(logic_->Record().check_sp);
    EXPECT_TRUE(Send("READ TUSN").answers.empty());  // the loader has no TUSN to tell
}

TEST_F(TerminalLogicTest, AFlippedByteIsRefusedAndTheNextPacketStillServed) {
    Start(TerminalMode::kLoader);
    Bytes packet = testing::PacketBytes(2, TextBytes("1"));
    packet[268] ^= 0x01;  // the payload: "0" instead of "1"
    const Reaction reaction = Send(testing::FrameOfPacket(packet));
    ASSERT_EQ(reaction.answers.size(), 1U);
    const auto answer = testing::DecodeAnswer(reaction.answers[0].bytes);
    EXPECT_EQ(answer->status, 0U);
    EXPECT_EQ(answer->text, "bad crc");
    EXPECT_FALSE(logic_->Record().auto_run);
    ASSERT_EQ(logic_->Record().packets.size(), 1U);
    EXPECT_FALSE(logic_->Record().packets[0].accepted);
    EXPECT_FALSE(logic_->Record().packets[0].cmd);
    ExpectAccepted(2, TextBytes("1"));
    EXPECT_EQ(logic_->Record().auto_run, '1');
}

TEST_F(TerminalLogicTest, AnOverlongFrameIsRefused) {
    Start(TerminalMode::kLoader);
    const Reaction reaction = Send(PacketFrame(37, TextRecord("handle:3", 4000, Bytes(4000, 0x7E))));
    ASSERT_EQ(reaction.answers.size(), 1U);
    EXPECT_EQ(testing::DecodeAnswer(reaction.answers[0].bytes)->text, "frame too long");
}

TEST_F(TerminalLogicTest, EveryPacketRecordsItsBytesOnTheLineBothWays) {
    Start(TerminalMode::kLoader);
    // Flags and escapes in the payload are stuffed: they count twice on the line.
    const std::vector<Bytes> payloads = {TextBytes("0"), Bytes{0x7E, 0x7D, 0x01}, Bytes(300, 0x7E)};
    for (const Bytes& payload : payloads) {
        const Bytes frame = PacketFrame(48, payload);
        const Reaction reaction = Send(frame);
        ASSERT_EQ(reaction.answers.size(), 1U);
        const ReceivedPacket& packet = logic_->Record().packets.back();
        EXPECT_EQ(packet.wire_in, frame.size()) << payload.size();
        EXPECT_EQ(packet.wire_out, reaction.answers[0].bytes.size()) << payload.size();
    }
}

TEST_F(TerminalLogicTest, FlagAndEscapeBytesRoundTripThroughEveryTransfer) {
    Start(TerminalMode::kLoader);
    const Bytes image = PatternBytes(4000, 0x7D);
    SendImage(0x80008000, image);

    const Bytes logo = PatternBytes(1600, 0x7E);
    ExpectAccepted(11, BlockStart(1600));
    ExpectAccepted(11, BlockData(0, std::span(logo).first(1536)));
    ExpectAccepted(11, BlockData(0, std::span(logo).subspan(1536)));
    ExpectAccepted(11, BlockEnd());

    const Bytes file = PatternBytes(1500, 3);
    ExpectAccepted(37, TextRecord("C:/app/res.bin", 1500), "handle:3");
    ExpectAccepted(37, TextRecord("handle:3", 1024, std::span(file).first(1024)));
    ExpectAccepted(37, TextRecord("handle:3", 476, std::span(file).subspan(1024)));
    ExpectAccepted(37, TextRecord("finish.handle:3", 0));

    const TerminalRecord& record = logic_->Record();
    ASSERT_EQ(record.images.count(0x80008000), 1U);
    EXPECT_EQ(record.images.at(0x80008000), image);
    ASSERT_TRUE(record.logo);
    EXPECT_EQ(*record.logo, logo);
    ASSERT_EQ(record.files.count("C:/app/res.bin"), 1U);
    EXPECT_EQ(record.files.at("C:/app/res.bin"), file);
}

TEST_F(TerminalLogicTest, TwoImagesAreKeptByLoadAddressAndAGapIsRefused) {
    Start(TerminalMode::kLoader);
    SendImage(0x80000000, PatternBytes(100, 1));
    SendImage(0x81000000, PatternBytes(2000, 2));
    ExpectAccepted(0, BlockStart(3000));
    ExpectAccepted(0, BlockData(0x82000000, PatternBytes(1536)));
    ExpectRefused(0, BlockData(0x82000000 + 1537, PatternBytes(100)), "address gap");
    ExpectRefused(0, BlockData(0x82000000 + 1000, PatternBytes(100)), "address overlap");
    ExpectRefused(0, BlockEnd(), "size mismatch");
    EXPECT_EQ(logic_->Record().images.size(), 2U);
    EXPECT_EQ(logic_->Record().images.at(0x81000000), PatternBytes(2000, 2));
}

TEST_F(TerminalLogicTest, AWrongSignatureIsRefusedAndNothingIsDone) {
    Start(TerminalMode::kLoader);
    testing::Signature wrong = testing::GoodSignature(Bytes(10, 0));
    const Reaction reaction = Send(PacketFrame(2, TextBytes("1"), wrong));
    ASSERT_EQ(reaction.answers.size(), 1U);
    const auto answer = testing::DecodeAnswer(reaction.answers[0].bytes);
    EXPECT_EQ(answer->status, 0U);
    EXPECT_EQ(answer->text, "bad signature");
    EXPECT_FALSE(logic_->Record().auto_run);
    EXPECT_EQ(logic_->Record().packets.back().signature, SignatureResult::kInvalid);

    // The signature covers the region from offset 100: a signature of another command is wrong.
    const Bytes other = testing::PacketBytes(2, TextBytes("0"));
    testing::Signature copied;
    std::copy_n(other.begin() + 4, 96, copied.begin());
    const Reaction swapped = Send(PacketFrame(2, TextBytes("1"), copied));
    ASSERT_EQ(swapped.answers.size(), 1U);
    EXPECT_EQ(testing::DecodeAnswer(swapped.answers[0].bytes)->text, "bad signature");
}

TEST_F(TerminalLogicTest, WithoutVerificationSignaturesAreUnchecked) {
    Start(TerminalMode::kLoader, {}, false);
    const Reaction reaction = Send(PacketFrame(2, TextBytes("1"), testing::Signature{}));
    EXPECT_EQ(testing::DecodeAnswer(reaction.answers.at(0).bytes)->status, 1U);
    EXPECT_EQ(logic_->Record().packets.back().signature, SignatureResult::kUnchecked);
}

// The frame handler's order: a lost packet (unplug, silence) is lost before anything is
// judged; then the structure and the signature; then the refusals faults inject; only then
// the command's own payload check.
TEST_F(TerminalLogicTest, FramesAreCheckedThenFaultedThenDispatched) {
    Bytes broken = testing::PacketBytes(5, {});
    broken.back() ^= 0x01;  // the last byte of the CRC
    const Bytes bad_crc = FrameOf(broken);
    const testing::Signature wrong = testing::GoodSignature(Bytes(10, 0));
    const struct {
        const char* name;
        const char* fault;
        Bytes frame;
        const char* answer;   // null: no answer at all
        const char* recorded; // the fault the record names
        SignatureResult signature;
    } cases[] = {
        {"silence beats a broken CRC", "silent:packet=1", bad_crc, nullptr, "silent", SignatureResult::kUnchecked},
        {"silence beats a wrong signature", "silent:packet=1", PacketFrame(2, TextBytes("1"), wrong), nullptr,
         "silent", SignatureResult::kUnchecked},
        {"a broken CRC beats an injected error", "remote-error:packet=1", bad_crc, "bad crc", "",
         SignatureResult::kUnchecked},
        {"a wrong signature beats an injected error", "remote-error:packet=1", PacketFrame(2, TextBytes("1"), wrong),
         "bad signature", "", SignatureResult::kInvalid},
        {"an injected error beats a bad payload", "remote-error:packet=1", PacketFrame(2, TextBytes("7")),
         "injected error", "remote-error", SignatureResult::kValid},
        {"an injected error beats an unknown command", "remote-error=busy:packet=1", PacketFrame(99), "busy",
         "remote-error", SignatureResult::kValid},
        {"app-running beats a bad payload", "app-running:cmd=5", PacketFrame(5, TextBytes("x")), "APP is Running",
         "app-running", SignatureResult::kValid},
        {"a bad payload is the command's own refusal", "remote-error:packet=2", PacketFrame(2, TextBytes("7")),
         "bad payload", "", SignatureResult::kValid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Start(TerminalMode::kLoader, {c.fault});
        const Reaction reaction = Send(c.frame);
        if (c.answer == nullptr) {
            EXPECT_TRUE(reaction.answers.empty());
        } else {
            ASSERT_EQ(reaction.answers.size(), 1U);
            const auto answer = testing::DecodeAnswer(reaction.answers[0].bytes);
            ASSERT_TRUE(answer);
            EXPECT_EQ(answer->status, 0U);
            EXPECT_EQ(answer->text, c.answer);
        }
        ASSERT_EQ(logic_->Record().packets.size(), 1U);
        const ReceivedPacket& packet = logic_->Record().packets[0];
        EXPECT_EQ(packet.fault, c.recorded);
        EXPECT_EQ(packet.signature, c.signature);
        EXPECT_EQ(packet.answered, c.answer != nullptr);
    }
}

// Faults that change what is answered.

TEST_F(TerminalLogicTest, RemoteErrorRefusesTheChosenCommandOrPacket) {
    Start(TerminalMode::kLoader, {"remote-error=flash busy:cmd=35", "remote-error:packet=3"});
    ExpectAccepted(48, TextBytes("0"));
    ExpectRefused(35, testing::PartitionRecord("C:", 1, 1, 1), "flash busy");
    ExpectRefused(5, {}, "injected error");
    ExpectAccepted(5, {}, kDefaultVersionText);
    EXPECT_TRUE(logic_->Record().partitions.empty());
    EXPECT_EQ(logic_->Record().packets[1].fault, "remote-error");
}

TEST_F(TerminalLogicTest, AppRunningAnswersTheImageDataAndTheResetStillWorks) {
    Start(TerminalMode::kLoader, {"app-running"});
    ExpectAccepted(0, BlockStart(10));
    ExpectRefused(0, BlockData(0x80000000, PatternBytes(10)), "APP is Running");
    ExpectAccepted(2, TextBytes("0"));
    ExpectAccepted(25, TextBytes("0"));
    EXPECT_EQ(logic_->Mode(), TerminalMode::kApplication);
    EXPECT_TRUE(logic_->Record().images.empty());
}

TEST_F(TerminalLogicTest, AppRunningOnRunAppLeavesTheTerminalInItsApplication) {
    Start(TerminalMode::kLoader, {"app-running:cmd=1"});
    ExpectRefused(1, {}, "APP is Running");
    EXPECT_EQ(logic_->Mode(), TerminalMode::kApplication);
    EXPECT_EQ(Text(Send("CHECK SP")), "OKAY");
}

TEST_F(TerminalLogicTest, SilentLeavesTheChosenPacketsOrEverythingUnanswered) {
    Start(TerminalMode::kLoader, {"silent:cmd=48"});
    EXPECT_TRUE(Send(PacketFrame(48, TextBytes("0"))).answers.empty());
    ExpectAccepted(5, {}, kDefaultVersionText);
    EXPECT_FALSE(logic_->Record().packets[0].answered);
    EXPECT_EQ(logic_->Record().download_opened, 0U);

    Start(TerminalMode::kApplication, {"silent"});
    EXPECT_TRUE(Send("READ TUSN").answers.empty());
    EXPECT_TRUE(Send("GOTO FASTBOOT").answers.empty());
    EXPECT_EQ(logic_->Mode(), TerminalMode::kApplication);
}

TEST_F(TerminalLogicTest, NoisePrecedesTheOpeningFlagWithoutAFlagOfItsOwn) {
    Start(TerminalMode::kLoader, {"noise=40:cmd=5"});
    const Reaction reaction = Send(PacketFrame(5));
    ASSERT_EQ(reaction.answers.size(), 1U);
    const Bytes& bytes = reaction.answers[0].bytes;
    const Bytes clean = FrameOf(SuccessAnswer(kDefaultVersionText));
    ASSERT_EQ(bytes.size(), 40 + clean.size());
    EXPECT_EQ(std::count(bytes.begin(), bytes.begin() + 40, uint8_t{0x7E}), 0);
    EXPECT_TRUE(std::equal(clean.begin(), clean.end(), bytes.begin() + 40));
    EXPECT_EQ(Exchange(48, TextBytes("0")).status, 1U);  // only command 5 is noisy
}

TEST_F(TerminalLogicTest, CutSendsHalfAnAnswerAndThenNothing) {
    Start(TerminalMode::kLoader, {"cut:cmd=5"});
    const Reaction reaction = Send(PacketFrame(5));
    ASSERT_EQ(reaction.answers.size(), 1U);
    const Bytes clean = FrameOf(SuccessAnswer(kDefaultVersionText));
    EXPECT_EQ(reaction.answers[0].bytes, Bytes(clean.begin(), clean.begin() + clean.size() / 2));
    EXPECT_FALSE(testing::DecodeAnswer(reaction.answers[0].bytes));
    EXPECT_TRUE(logic_->Muted());
    EXPECT_TRUE(Send(PacketFrame(48, TextBytes("0"))).answers.empty());
}

TEST_F(TerminalLogicTest, DelayMarksEveryAnswerOfTheChosenExchange) {
    Start(TerminalMode::kApplication, {"delay=300:text=GOTO", "delay=700:cmd=36"});
    EXPECT_EQ(Send("READ TUSN").answers.at(0).delay_ms, 0U);
    EXPECT_EQ(Send("GOTO FASTBOOT").answers.at(0).delay_ms, 300U);
    const Reaction erase = Send(PacketFrame(36, testing::EraseRecord()));
    ASSERT_EQ(erase.answers.size(), 2U);
    EXPECT_EQ(erase.answers[0].delay_ms, 700U);
    EXPECT_EQ(erase.answers[1].delay_ms, 700U);
}

TEST_F(TerminalLogicTest, UnplugAtTheChosenPacketOrText) {
    Start(TerminalMode::kLoader, {"unplug-at:packet=2"});
    ExpectAccepted(48, TextBytes("0"));
    const Reaction reaction = Send(PacketFrame(0, BlockStart(10)));
    ASSERT_EQ(reaction.answers.size(), 1U);
    EXPECT_EQ(reaction.answers[0].kind, Answer::Kind::kUnplug);
    EXPECT_TRUE(logic_->Muted());
    EXPECT_EQ(logic_->Record().packets.back().fault, "unplug-at");

    Start(TerminalMode::kApplication, {"unplug-at:text=GOTO"});
    EXPECT_EQ(Text(Send("READ TUSN")), DefaultTusn(1));
    EXPECT_EQ(Send("GOTO FASTBOOT").answers.at(0).kind, Answer::Kind::kUnplug);
}

TEST_F(TerminalLogicTest, FaultsCountPacketsInOrderOfArrival) {
    Start(TerminalMode::kLoader, {"remote-error:cmd=0:nth=3"});
    ExpectAccepted(0, BlockStart(20));
    ExpectAccepted(0, BlockData(0x1000, PatternBytes(10)));
    ExpectRefused(0, BlockData(0x1000 + 10, PatternBytes(10)), "injected error");
    ExpectAccepted(0, BlockData(0x1000 + 10, PatternBytes(10)));
    ExpectAccepted(0, BlockEnd());
    EXPECT_EQ(logic_->Record().images.size(), 1U);
}

}  // namespace
}  // namespace korvane::sim
