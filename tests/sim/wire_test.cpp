#include "sim/wire.h"

#include <gtest/gtest.h>

#include "tests/fixtures/link_frames.h"
#include "tests/sim/sim_test_link.h"

namespace korvane::sim {
namespace {

using testing::Bytes;

std::span<const uint8_t> Span(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

TEST(LinkCrc32, MatchesKnownValuesAndTheBitwiseDefinition) {
    EXPECT_EQ(LinkCrc32(Span("abc")), 0xCA6598D0U);
    EXPECT_EQ(LinkCrc32({}), 0U);
    const Bytes one = {0x01};
    EXPECT_EQ(LinkCrc32(one), 0x77073096U);  // table entry 1: initial value 0
    const Bytes pattern = testing::PatternBytes(3000, 5);
    EXPECT_EQ(LinkCrc32(pattern), testing::BitwiseCrc(pattern));
    // Every tail length after the eight-byte steps, from an odd start.
    for (size_t length = 0; length <= 24; ++length) {
        const auto piece = std::span(pattern).subspan(1, length);
        EXPECT_EQ(LinkCrc32(piece), testing::BitwiseCrc(Bytes(piece.begin(), piece.end()))) << length;
    }
}

TEST(Stuffing, EscapesOnlyFlagAndEscapeAndRoundTrips) {
    struct Case {
        Bytes plain;
        Bytes stuffed;
    };
    const Case cases[] = {
        {{}, {}},
        {{0x7E}, {0x7D, 0x5E}},
        {{0x7D}, {0x7D, 0x5D}},
        {{0x7D, 0x7E, 0x7D}, {0x7D, 0x5D, 0x7D, 0x5E, 0x7D, 0x5D}},
        {{0x5D, 0x5E, 0x20, 0x00, 0xFF}, {0x5D, 0x5E, 0x20, 0x00, 0xFF}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StuffBytes(c.plain), c.stuffed);
        Bytes back;
        ASSERT_TRUE(UnstuffBytes(c.stuffed, back));
        EXPECT_EQ(back, c.plain);
    }
    const Bytes all = testing::PatternBytes(1024);
    Bytes back;
    ASSERT_TRUE(UnstuffBytes(StuffBytes(all), back));
    EXPECT_EQ(back, all);
}

TEST(Stuffing, RefusesDanglingOrNeedlessEscapes) {
    Bytes out;
    const Bytes dangling = {0x01, 0x7D};
    const Bytes needless = {0x7D, 0x61};  // would be 0x41, which is never escaped
    EXPECT_FALSE(UnstuffBytes(dangling, out));
    EXPECT_FALSE(UnstuffBytes(needless, out));
}

TEST(FrameCollector, SeparatesTextAndFramesAcrossFeeds) {
    FrameCollector collector;
    std::vector<StreamPiece> pieces;
    const Bytes first = {'n', 'o', 0x7E, 0x01, 0x7D};
    const Bytes second = {0x5E, 0x02, 0x7E, 'h', 'i'};
    collector.Feed(first, pieces);
    collector.Feed(second, pieces);
    ASSERT_EQ(pieces.size(), 3U);
    EXPECT_EQ(pieces[0].kind, StreamPiece::Kind::kText);
    EXPECT_EQ(pieces[0].bytes, (Bytes{'n', 'o'}));
    EXPECT_EQ(pieces[1].kind, StreamPiece::Kind::kFrame);
    EXPECT_EQ(pieces[1].bytes, (Bytes{0x01, 0x7D, 0x5E, 0x02}));
    EXPECT_EQ(pieces[2].bytes, (Bytes{'h', 'i'}));
}

TEST(FrameCollector, AdjacentFlagsOpenRatherThanMakeAnEmptyFrame) {
    FrameCollector collector;
    std::vector<StreamPiece> pieces;
    const Bytes stream = {0x7E, 0x7E, 0x7E, 0x41, 0x7E};
    collector.Feed(stream, pieces);
    ASSERT_EQ(pieces.size(), 1U);
    EXPECT_EQ(pieces[0].bytes, (Bytes{0x41}));
}

TEST(FrameCollector, ReportsAnOverlongFrameOnceAndRecovers) {
    FrameCollector collector;
    std::vector<StreamPiece> pieces;
    Bytes stream = {0x7E};
    stream.resize(1 + kMaxStuffed + 10, 0x11);
    stream.push_back(0x7E);
    collector.Feed(stream, pieces);
    const Bytes next = {0x7E, 0x22, 0x7E};
    collector.Feed(next, pieces);
    ASSERT_EQ(pieces.size(), 2U);
    EXPECT_EQ(pieces[0].kind, StreamPiece::Kind::kTooLong);
    EXPECT_EQ(pieces[1].kind, StreamPiece::Kind::kFrame);
    EXPECT_EQ(pieces[1].bytes, (Bytes{0x22}));

    // Exactly the largest frame is still a frame.
    pieces.clear();
    Bytes largest = {0x7E};
    largest.resize(1 + kMaxStuffed, 0x33);
    largest.push_back(0x7E);
    collector.Feed(largest, pieces);
    ASSERT_EQ(pieces.size(), 1U);
    EXPECT_EQ(pieces[0].kind, StreamPiece::Kind::kFrame);
}

// The collector takes runs between flags at once; wherever the reads happen to split the
// stream (text, adjacent flags, a frame, an overlong frame, the largest frame), the pieces
// are the same as from one read.
TEST(FrameCollector, AnySplitOfTheStreamGivesTheSamePieces) {
    Bytes stream = {'a', 'b', 0x7E, 0x7E, 0x01, 0x7D, 0x5E, 0x7E, 'c'};
    stream.push_back(0x7E);
    stream.insert(stream.end(), kMaxStuffed + 3, 0x11);
    stream.insert(stream.end(), {0x7E, 'd', 0x7E});
    stream.insert(stream.end(), kMaxStuffed, 0x22);
    stream.insert(stream.end(), {0x7E, 'e'});
    const auto collect = [](std::span<const uint8_t> first, std::span<const uint8_t> second) {
        FrameCollector collector;
        std::vector<StreamPiece> pieces;
        collector.Feed(first, pieces);
        collector.Feed(second, pieces);
        // Text pieces may come in parts; join neighbours so only the content is compared.
        std::vector<std::pair<StreamPiece::Kind, Bytes>> joined;
        for (const StreamPiece& piece : pieces) {
            if (!joined.empty() && piece.kind == StreamPiece::Kind::kText &&
                joined.back().first == StreamPiece::Kind::kText) {
                joined.back().second.insert(joined.back().second.end(), piece.bytes.begin(), piece.bytes.end());
            } else {
                joined.emplace_back(piece.kind, piece.bytes);
            }
        }
        return joined;
    };
    const auto whole = collect(stream, {});
    ASSERT_EQ(whole.size(), 7U);
    EXPECT_EQ(whole[0].second, (Bytes{'a', 'b'}));
    EXPECT_EQ(whole[1].first, StreamPiece::Kind::kFrame);
    EXPECT_EQ(whole[1].second, (Bytes{0x01, 0x7D, 0x5E}));
    EXPECT_EQ(whole[2].second, (Bytes{'c'}));
    EXPECT_EQ(whole[3].first, StreamPiece::Kind::kTooLong);
    EXPECT_EQ(whole[4].second, (Bytes{'d'}));
    EXPECT_EQ(whole[5].first, StreamPiece::Kind::kFrame);
    EXPECT_EQ(whole[5].second.size(), kMaxStuffed);
    EXPECT_EQ(whole[6].second, (Bytes{'e'}));
    for (size_t split = 1; split < stream.size(); ++split) {
        const std::span<const uint8_t> all(stream);
        ASSERT_EQ(collect(all.first(split), all.subspan(split)), whole) << "split at " << split;
    }
}

TEST(Answers, CarryStatusLengthAndDataOrNulTerminatedText) {
    const auto ok = testing::DecodeAnswer(FrameOf(SuccessAnswer(std::string_view("handle:3"))));
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->status, 1U);
    EXPECT_EQ(ok->length, 8U);
    EXPECT_EQ(ok->text, "handle:3");
    const auto failed = testing::DecodeAnswer(FrameOf(FailureAnswer("bad crc")));
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->status, 0U);
    EXPECT_EQ(failed->text, "bad crc");
    // Data holding a flag and an escape survives the framing.
    const Bytes tricky = {0x7E, 0x7D, 0x00};
    EXPECT_EQ(FrameOf(SuccessAnswer(tricky)),
              (Bytes{0x7E, 1, 0, 0, 0, 3, 0, 0, 0, 0x7D, 0x5E, 0x7D, 0x5D, 0x00, 0x7E}));
}

}  // namespace
}  // namespace korvane::sim
