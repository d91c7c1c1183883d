#include "sim/block_receiver.h"

#include <gtest/gtest.h>

#include "tests/sim/sim_test_link.h"

namespace korvane::sim {
namespace {

using testing::BlockData;
using testing::BlockEnd;
using testing::BlockStart;
using testing::Bytes;
using testing::PatternBytes;

struct Step {
    Bytes payload;
    const char* refusal;  // nullptr: accepted
};

// Feeds the steps and returns the block the last end packet completed, if any.
std::optional<ReceivedBlock> Feed(BlockReceiver& receiver, uint32_t cmd, const std::vector<Step>& steps) {
    std::optional<ReceivedBlock> done;
    for (size_t i = 0; i < steps.size(); ++i) {
        std::string refusal;
        const bool accepted = receiver.Accept(cmd, steps[i].payload, done, refusal);
        if (steps[i].refusal == nullptr) {
            EXPECT_TRUE(accepted) << "step " << i << ": " << refusal;
        } else {
            EXPECT_FALSE(accepted) << "step " << i;
            EXPECT_EQ(refusal, steps[i].refusal) << "step " << i;
        }
    }
    return done;
}

TEST(BlockReceiver, ReassemblesAnImageFromItsLoadAddress) {
    const Bytes image = PatternBytes(1537);
    const auto head = std::span(image).first(1536);
    const auto tail = std::span(image).subspan(1536);
    BlockReceiver receiver(true);
    const auto done = Feed(receiver, 0,
                          {{BlockStart(1537), nullptr},
                           {BlockData(0x80008000, head), nullptr},
                           {BlockData(0x80008000 + 1536, tail), nullptr},
                           {BlockEnd(), nullptr}});
    ASSERT_TRUE(done);
    EXPECT_EQ(done->address, 0x80008000U);
    EXPECT_EQ(done->data, image);
}

TEST(BlockReceiver, AppendsEveryChunkAtAddressZeroForLogoAndAudio) {
    const Bytes block = PatternBytes(3000, 9);
    BlockReceiver receiver(false);
    const auto done = Feed(receiver, 44,
                          {{BlockStart(3000), nullptr},
                           {BlockData(0, std::span(block).first(1536)), nullptr},
                           {BlockData(0, std::span(block).subspan(1536)), nullptr},
                           {BlockEnd(), nullptr}});
    ASSERT_TRUE(done);
    EXPECT_EQ(done->data, block);
    EXPECT_EQ(done->cmd, 44U);
}

TEST(BlockReceiver, AnEmptyBlockIsStartAndEndOnly) {
    BlockReceiver receiver(true);
    const auto done = Feed(receiver, 0, {{BlockStart(0), nullptr}, {BlockEnd(), nullptr}});
    ASSERT_TRUE(done);
    EXPECT_TRUE(done->data.empty());
}

TEST(BlockReceiver, RefusesPacketsThatDoNotFitTheTransfer) {
    const Bytes chunk = PatternBytes(100);
    Bytes wrong_length = BlockData(0x1000, chunk);
    wrong_length[4] = 99;
    const Bytes too_big(kMaxBlockChunk + 1, 1);
    struct Case {
        const char* name;
        bool contiguous;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases = {
        {"gap", true,
         {{BlockStart(300), nullptr}, {BlockData(0x1000, chunk), nullptr}, {BlockData(0x1000 + 101, chunk), "address gap"}}},
        {"overlap", true,
         {{BlockStart(300), nullptr}, {BlockData(0x1000, chunk), nullptr}, {BlockData(0x1000 + 99, chunk), "address overlap"}}},
        {"repeat", true,
         {{BlockStart(300), nullptr}, {BlockData(0x1000, chunk), nullptr}, {BlockData(0x1000, chunk), "address overlap"}}},
        {"short at end", true,
         {{BlockStart(300), nullptr}, {BlockData(0x1000, chunk), nullptr}, {BlockEnd(), "size mismatch"}}},
        {"more than total", true,
         {{BlockStart(150), nullptr}, {BlockData(0x1000, chunk), nullptr}, {BlockData(0x1000 + 100, chunk), "too much data"}}},
        {"data before start", true, {{BlockData(0x1000, chunk), "no transfer"}}},
        {"end before start", false, {{BlockEnd(), "no transfer"}}},
        {"length field differs", true, {{BlockStart(300), nullptr}, {wrong_length, "bad chunk length"}}},
        {"chunk over 1536", false, {{BlockStart(5000), nullptr}, {BlockData(0, too_big), "bad chunk length"}}},
        {"address for logo", false, {{BlockStart(300), nullptr}, {BlockData(0x10, chunk), "bad address"}}},
        {"huge total", false, {{BlockStart(kMaxBlockTotal + 1), "block too large"}}},
        {"truncated payload", false, {{Bytes{1, 2, 3}, "bad block packet"}}},
        {"unknown 8-byte packet", false, {{BlockData(0x12345678, {}), "bad chunk length"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BlockReceiver receiver(c.contiguous);
        EXPECT_FALSE(Feed(receiver, 0, c.steps));
    }
}

TEST(BlockReceiver, ARefusedChunkLeavesTheTransferUsable) {
    const Bytes data = PatternBytes(200);
    BlockReceiver receiver(true);
    const auto done = Feed(receiver, 0,
                          {{BlockStart(200), nullptr},
                           {BlockData(0x2000, std::span(data).first(100)), nullptr},
                           {BlockData(0x2000 + 150, std::span(data).subspan(100)), "address gap"},
                           {BlockData(0x2000 + 100, std::span(data).subspan(100)), nullptr},
                           {BlockEnd(), nullptr}});
    ASSERT_TRUE(done);
    EXPECT_EQ(done->data, data);
}

TEST(BlockReceiver, ADataPacketOfAnotherCommandIsNotPartOfTheTransfer) {
    BlockReceiver receiver(false);
    std::optional<ReceivedBlock> done;
    std::string refusal;
    ASSERT_TRUE(receiver.Accept(11, BlockStart(10), done, refusal));
    EXPECT_FALSE(receiver.Accept(44, BlockData(0, PatternBytes(10)), done, refusal));
    EXPECT_EQ(refusal, "no transfer");
}

TEST(BlockReceiver, ANewStartAbandonsTheUnfinishedTransfer) {
    const Bytes data = PatternBytes(10);
    BlockReceiver receiver(true);
    const auto done = Feed(receiver, 0,
                          {{BlockStart(20), nullptr},
                           {BlockData(0x100, data), nullptr},
                           {BlockStart(10), nullptr},
                           {BlockData(0x500, data), nullptr},
                           {BlockEnd(), nullptr}});
    ASSERT_TRUE(done);
    EXPECT_EQ(done->address, 0x500U);
    EXPECT_EQ(done->data, data);
}

}  // namespace
}  // namespace korvane::sim
