#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "crypto/envelope.h"
#include "images/server_images.h"
#include "sim/image_server/image_server.h"
#include "tests/fixtures/image_server_rig.h"

namespace korvane {
namespace {

using sim::ServeFault;
using testing::ImageServerRig;

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i * 13 + 5);
    }
    return bytes;
}

std::vector<uint8_t> AsBytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

// A destination buffer that shows whether a failed fetch touched it.
struct Destination {
    explicit Destination(size_t capacity) : buffer(capacity, 0xA5), length(static_cast<int32_t>(capacity)) {}
    bool Untouched(size_t capacity) const {
        return length == static_cast<int32_t>(capacity) &&
               std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0xA5; });
    }
    std::vector<uint8_t> buffer;
    int32_t length;
};

TEST(FetchImageTest, WholeFileIsCopiedWithItsLength) {
    ImageServerRig rig;
    const std::string file = Pattern(5000);
    rig.server.Serve("/img", file);
    Destination dest(8192);
    ASSERT_EQ(FetchImage(rig.Url("/img"), dest.buffer.data(), dest.length), 1);
    ASSERT_EQ(dest.length, 5000);
    const std::vector<uint8_t> bytes = AsBytes(file);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), dest.buffer.begin()));
    EXPECT_EQ(dest.buffer[5000], 0xA5);

    const auto requests = rig.server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].userAgent, "lpload");
}

TEST(FetchImageTest, CapacityOfOneMebibyteTakesExactlyThatMuch) {
    ImageServerRig rig;
    rig.server.Serve("/exact", Pattern(kImageBufferCapacity));
    rig.server.Serve("/over", Pattern(kImageBufferCapacity + 1));
    Destination exact(kImageBufferCapacity);
    EXPECT_EQ(FetchImage(rig.Url("/exact"), exact.buffer.data(), exact.length), 1);
    EXPECT_EQ(exact.length, static_cast<int32_t>(kImageBufferCapacity));

    Destination over(kImageBufferCapacity);
    EXPECT_EQ(FetchImage(rig.Url("/over"), over.buffer.data(), over.length), 0);
    EXPECT_TRUE(over.Untouched(kImageBufferCapacity));
}

TEST(FetchImageTest, RefusedAnswersLeaveTheDestinationAlone) {
    ImageServerRig rig;
    rig.server.Serve("/404", Pattern(100), ServeFault::kNotFound);
    rig.server.Serve("/nolength", Pattern(100), ServeFault::kNoContentLength);
    rig.server.Serve("/empty", "");
    rig.server.Serve("/short", Pattern(100), ServeFault::kShortBody);
    rig.server.Serve("/dropped", Pattern(100), ServeFault::kDropConnection);
    for (const char* path : {"/404", "/nolength", "/empty", "/short", "/dropped", "/unknown"}) {
        Destination dest(4096);
        EXPECT_EQ(FetchImage(rig.Url(path), dest.buffer.data(), dest.length), 0) << path;
        EXPECT_TRUE(dest.Untouched(4096)) << path;
    }
}

TEST(FetchImageTest, OnlyHttpUrlsAreOpened) {
    ImageServerRig rig;
    Destination dest(64);
    const std::string ftp = "ftp://127.0.0.1:" + std::to_string(rig.server.Port()) + "/img";
    EXPECT_EQ(FetchImage(ftp, dest.buffer.data(), dest.length), 0);
    EXPECT_EQ(FetchImage("", dest.buffer.data(), dest.length), 0);
    EXPECT_TRUE(dest.Untouched(64));
    EXPECT_EQ(rig.server.ConnectionCount(), 0);
}

TEST(FetchImageTest, StalledAnswerGivesUp) {
    ImageServerRig rig;
    rig.server.Serve("/slow", Pattern(100), ServeFault::kSlowAnswer);
    rig.server.SetSlowAnswerMs(10000);
    Destination dest(4096);
    EXPECT_EQ(FetchImage(rig.Url("/slow"), dest.buffer.data(), dest.length), 0);
    EXPECT_TRUE(dest.Untouched(4096));
}

class FetchImageHttpsTest : public ::testing::Test {
protected:
    testing::TrustedTestAuthority authority_;
};

TEST_F(FetchImageHttpsTest, CertificateMustBeTrustedAndNameTheServer) {
    struct Case {
        std::vector<std::string> names;
        int result;
    };
    const Case cases[] = {{{"IP:127.0.0.1"}, 1}, {{"DNS:images.other.test"}, 0}};
    for (const Case& c : cases) {
        const sim::PemIdentity identity = authority_.Issue(c.names);
        ImageServerRig rig(&identity);
        rig.server.Serve("/img", Pattern(300));
        Destination dest(4096);
        EXPECT_EQ(FetchImage(rig.Url("/img"), dest.buffer.data(), dest.length), c.result) << c.names[0];
    }
}

// An https address may be sent on to another https address, never to plain http.
TEST_F(FetchImageHttpsTest, RedirectKeepsTheEncryption) {
    const sim::PemIdentity identity = authority_.Issue({"IP:127.0.0.1"});
    ImageServerRig plain;
    ImageServerRig secure(&identity);
    plain.server.Serve("/img", Pattern(300));
    secure.server.Serve("/img", Pattern(300));
    secure.server.Serve("/to-plain", plain.Url("/img"), ServeFault::kRedirect);
    secure.server.Serve("/to-secure", secure.Url("/img"), ServeFault::kRedirect);
    plain.server.Serve("/to-plain", plain.Url("/img"), ServeFault::kRedirect);

    Destination followed(4096);
    EXPECT_EQ(FetchImage(secure.Url("/to-secure"), followed.buffer.data(), followed.length), 1);
    EXPECT_EQ(followed.length, 300);
    Destination plainToPlain(4096);
    EXPECT_EQ(FetchImage(plain.Url("/to-plain"), plainToPlain.buffer.data(), plainToPlain.length), 1);

    const size_t plainRequests = plain.server.Requests().size();
    Destination downgraded(4096);
    EXPECT_EQ(FetchImage(secure.Url("/to-plain"), downgraded.buffer.data(), downgraded.length), 0);
    EXPECT_TRUE(downgraded.Untouched(4096));
    EXPECT_EQ(plain.server.Requests().size(), plainRequests);
}

}  // namespace
}  // namespace korvane
