#include "sim/file_receiver.h"

#include <gtest/gtest.h>

#include "tests/sim/sim_test_link.h"

namespace korvane::sim {
namespace {

using testing::Bytes;
using testing::PatternBytes;
using testing::TextRecord;

class FileReceiverTest : public ::testing::Test {
protected:
    // The answer text on success, "refused: <text>" otherwise.
    std::string Send(const Bytes& payload) {
        std::string answer;
        std::string refusal;
        if (!receiver_.Accept(payload, answer, done_, refusal)) {
            return "refused: " + refusal;
        }
        return answer;
    }

    FileReceiver receiver_;
    std::optional<ReceivedFile> done_;
};

TEST_F(FileReceiverTest, KeepsAFileSentUnderItsHandle) {
    const Bytes data = PatternBytes(1025);
    EXPECT_EQ(Send(TextRecord("C:/app/main.bin", 1025)), "handle:3");
    EXPECT_EQ(Send(TextRecord("handle:3", 1024, std::span(data).first(1024))), "");
    EXPECT_EQ(Send(TextRecord("handle:3", 1, std::span(data).subspan(1024))), "");
    EXPECT_FALSE(done_);
    EXPECT_EQ(Send(TextRecord("finish.handle:3", 0)), "");
    ASSERT_TRUE(done_);
    EXPECT_EQ(done_->path, "C:/app/main.bin");
    EXPECT_EQ(done_->data, data);
}

TEST_F(FileReceiverTest, EachOpenGetsItsOwnHandleAndAnEmptyFileIsKept) {
    EXPECT_EQ(Send(TextRecord("C:/a", 0)), "handle:3");
    EXPECT_EQ(Send(TextRecord("C:/b", 0)), "handle:4");
    EXPECT_EQ(Send(TextRecord("finish.handle:4", 0)), "");
    ASSERT_TRUE(done_);
    EXPECT_EQ(done_->path, "C:/b");
    EXPECT_TRUE(done_->data.empty());
}

TEST_F(FileReceiverTest, RefusesWrongHandlesAndSizes) {
    const Bytes chunk = PatternBytes(10);
    ASSERT_EQ(Send(TextRecord("C:/f", 15)), "handle:3");
    struct Case {
        Bytes payload;
        const char* answer;
    };
    const std::vector<Case> cases = {
        {TextRecord("handle:4", 10, chunk), "refused: bad handle"},
        {TextRecord("handle:", 10, chunk), "refused: bad handle"},
        {TextRecord("handle:3x", 10, chunk), "refused: bad handle"},
        {TextRecord("handle:3", 9, chunk), "refused: bad chunk length"},
        {TextRecord("handle:3", 0, {}), "refused: bad chunk length"},
        {TextRecord("handle:3", 1025, Bytes(1025, 1)), "refused: bad chunk length"},
        {TextRecord("finish.handle:9", 0), "refused: bad handle"},
        {TextRecord("", 5), "refused: bad record"},
        {Bytes(100, 0), "refused: bad record"},
        {Bytes(260, 'x'), "refused: bad record"},  // no NUL in the text field
        {TextRecord("C:/too/big", kMaxFileSize + 1), "refused: file too large"},
        {TextRecord("handle:3", 10, chunk), ""},
        {TextRecord("handle:3", 10, chunk), "refused: too much data"},
        {TextRecord("finish.handle:3", 0), "refused: size mismatch"},
        {TextRecord("handle:3", 5, std::span(chunk).first(5)), "refused: bad handle"},  // closed by the finish
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(Send(cases[i].payload), cases[i].answer) << "case " << i;
    }
    EXPECT_FALSE(done_);
}

TEST_F(FileReceiverTest, BoundsTheOpenFiles) {
    for (size_t i = 0; i < kMaxOpenFiles; ++i) {
        EXPECT_EQ(Send(TextRecord("C:/f" + std::to_string(i), 1)).rfind("handle:", 0), 0U);
    }
    EXPECT_EQ(Send(TextRecord("C:/one-more", 1)), "refused: too many open files");
}

}  // namespace
}  // namespace korvane::sim
