#include "crypto/digest.h"

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/trace.h"
#include "tests/fixtures/temp_dir.h"
#include "tests/fixtures/test_env.h"

namespace korvane {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::string HexOf(const uint8_t* digest, size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < size; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 15];
    }
    return hex;
}

struct DigestVector {
    std::string input;
    std::string md5;
    std::string sha256;
};

// RFC 1321 and FIPS 180-2 test vectors.
const DigestVector kVectors[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0",
     "f7846f55cf23e14eebeab5b4e1550cad5b509e3348fbc4efa3a1413d393cb650"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "8215ef0796a20bcaaae116d3876c664a",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
};

TEST(DigestTest, KnownVectorsGiveLowerCaseHexAndDigests) {
    for (const DigestVector& vector : kVectors) {
        const std::vector<uint8_t> input = Bytes(vector.input);
        EXPECT_EQ(Md5Hex(input.data(), input.size()), vector.md5) << vector.input;
        uint8_t digest[32];
        Sha256(input.data(), input.size(), digest);
        EXPECT_EQ(HexOf(digest, sizeof digest), vector.sha256) << vector.input;
    }
}

// The image "abc" has the digest 900150983cd24fb0d6963f7d28e17f72.
struct ExpectedCase {
    const char* expected;
    bool matches;
};

const ExpectedCase kExpectedCases[] = {
    {"900150983cd24fb0d6963f7d28e17f72", true},
    {"900150983CD24FB0D6963F7D28E17F72", true},
    {"900150983Cd24fB0d6963F7d28e17F72", true},
    {" 900150983cd24fb0d6963f7d28e17f72", false},
    {"900150983cd24fb0d6963f7d28e17f72 ", false},
    {"0x900150983cd24fb0d6963f7d28e17f72", false},
    {"90:01:50:98:3c:d2:4f:b0:d6:96:3f:7d:28:e1:7f:72", false},
    {"90 01 50 98 3c d2 4f b0 d6 96 3f 7d 28 e1 7f 72", false},
    {"900150983cd24fb0d6963f7d28e17f7", false},
    {"900150983cd24fb0d6963f7d28e17f720", false},
    {"900150983cd24fb0d6963f7d28e17f73", false},
    {"", false},
};

std::string AsciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + 32);
        }
    }
    return text;
}

TEST(CheckImageMd5Test, MatchesOnlyTheSameDigitsInEitherCaseAndLowerCasesTheExpectedText) {
    const std::vector<uint8_t> image = Bytes("abc");
    for (const ExpectedCase& c : kExpectedCases) {
        std::string expected = c.expected;
        EXPECT_EQ(CheckImageMd5(image.data(), static_cast<int32_t>(image.size()), expected), c.matches)
            << '"' << c.expected << '"';
        EXPECT_EQ(expected, AsciiLower(c.expected));
    }
}

TEST(CheckImageMd5Test, LowerCasingTouchesOnlyAsciiCapitals) {
    const std::vector<uint8_t> image = Bytes("abc");
    std::string expected = "\xC3\x84X-\xE4\xB8\xAD";  // "ÄX-中"
    EXPECT_FALSE(CheckImageMd5(image.data(), 3, expected));
    EXPECT_EQ(expected, "\xC3\x84x-\xE4\xB8\xAD");
}

// Collects what CheckImageMd5 writes to the trace sink.
class TraceCapture {
public:
    TraceCapture() : file_(dir_.File("trace.txt")) {
        testing::SetTestVariable("KORVANE_TRACE_FILE", file_);
        TraceReconfigure();
    }
    ~TraceCapture() {
        testing::SetTestVariable("KORVANE_TRACE_FILE", std::nullopt);
        TraceReconfigure();
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    std::string Text() const {
        std::ifstream in(file_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    testing::TempDir dir_;
    std::string file_;
};

TEST(CheckImageMd5Test, TracesTheComputedAndTheExpectedTextAsGiven) {
    TraceCapture trace;
    const std::vector<uint8_t> image = Bytes("abc");
    std::string expected = "900150983CD24fb0d6963f7d28e17f72";
    EXPECT_TRUE(CheckImageMd5(image.data(), 3, expected));
    EXPECT_EQ(trace.Text(),
              "unicodeCalc::900150983cd24fb0d6963f7d28e17f72\n"
              "unicodeINI::900150983CD24fb0d6963f7d28e17f72\n");
}

TEST(CheckImageMd5Test, EmptyImageFailsWithoutTraceOrChange) {
    TraceCapture trace;
    const uint8_t image[1] = {0};
    std::string expected = "D41D8CD98F00B204E9800998ECF8427E";  // the MD5 of nothing
    EXPECT_FALSE(CheckImageMd5(image, 0, expected));
    EXPECT_FALSE(CheckImageMd5(nullptr, 0, expected));
    EXPECT_FALSE(CheckImageMd5(image, -1, expected));
    EXPECT_EQ(trace.Text(), "");
    EXPECT_EQ(expected, "D41D8CD98F00B204E9800998ECF8427E");
}

TEST(Md5HexTest, ConcurrentCallersEachGetTheirOwnDigest) {
    std::vector<std::vector<uint8_t>> inputs;
    std::vector<std::string> wanted;
    for (int i = 0; i < 4; ++i) {
        inputs.emplace_back(4096 + i, static_cast<uint8_t>(i * 31));
        wanted.push_back(Md5Hex(inputs.back().data(), inputs.back().size()));
    }
    std::vector<int> mismatches(inputs.size(), 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < inputs.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                mismatches[t] += Md5Hex(inputs[t].data(), inputs[t].size()) != wanted[t];
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int count : mismatches) {
        EXPECT_EQ(count, 0);
    }
}

}  // namespace
}  // namespace korvane
