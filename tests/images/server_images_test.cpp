#include "images/server_images.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "crypto/envelope.h"
#include "sim/image_server/image_server.h"
#include "tests/fixtures/rsa_test_keys.h"
#include "tests/fixtures/image_server_rig.h"

namespace korvane {
namespace {

using sim::ServeFault;
using testing::MakeTestImage;
using testing::TestImage;
using testing::TestRsaKeys;

TEST(ParseImageListTest, SplitsAtCommasAndTrimsEachField) {
    struct Case {
        std::string response;
        std::string main;
        std::string second;
    };
    const Case cases[] = {
        {"http://a/1.bin,http://b/2.bin", "http://a/1.bin", "http://b/2.bin"},
        {"http://a/1.bin", "http://a/1.bin", ""},
        {",,http://a/1.bin", "http://a/1.bin", ""},
        {"http://a/1.bin,,,http://b/2.bin,", "http://a/1.bin", "http://b/2.bin"},
        {"http://a/1.bin,http://b/2.bin\r\n", "http://a/1.bin", "http://b/2.bin"},
        {"http://a/1.bin\n", "http://a/1.bin", ""},
        {" http://a/1.bin , \thttp://b/2.bin", "http://a/1.bin", "http://b/2.bin"},
        {"http://a/1.bin,\r\n", "http://a/1.bin", ""},
        {"http://a/1.bin, ,http://b/2.bin", "http://a/1.bin", ""},
        {"a,b,c", "a", "b"},
        {",,,", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        std::string main = "old";
        std::string second = "old";
        ParseImageList(c.response, main, second);
        EXPECT_EQ(main, c.main) << c.response;
        EXPECT_EQ(second, c.second) << c.response;
    }
}

std::string AsText(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

bool Holds(const std::vector<uint8_t>& buffer, int32_t length, const std::vector<uint8_t>& image) {
    return length == static_cast<int32_t>(image.size()) && std::equal(image.begin(), image.end(), buffer.begin());
}

// Two sealed images published on a loopback server, and an application object that
// trusts their key.
class ServerImagesTest : public ::testing::Test {
protected:
    ServerImagesTest()
        : main_(MakeTestImage(TestRsaKeys(), 3000, 1)), second_(MakeTestImage(TestRsaKeys(), 700, 2)) {
        rig_.server.Serve("/main.bin", AsText(main_.envelope));
        rig_.server.Serve("/second.bin", AsText(second_.envelope));
        keys_ = TestRsaKeys();
        images_.mainImageUrl = rig_.Url("/main.bin");
        images_.secondImageUrl = rig_.Url("/second.bin");
    }

    int RequestsFor(const std::string& path) const {
        const auto requests = rig_.server.Requests();
        return static_cast<int>(std::count_if(requests.begin(), requests.end(),
                                              [&](const sim::RequestHead& r) { return r.path == path; }));
    }

    testing::ImageServerRig rig_;
    TestImage main_;
    TestImage second_;
    RsaKeyTexts keys_;
    LoadedImages images_;
    ServerImageBuffers buffers_;
};

TEST_F(ServerImagesTest, BothImagesAreFetchedVerifiedAndUnwrapped) {
    ASSERT_EQ(FetchServerImages(keys_, images_, buffers_), 0);
    EXPECT_TRUE(Holds(buffers_.main, buffers_.mainLength, main_.image));
    EXPECT_TRUE(Holds(buffers_.second, buffers_.secondLength, second_.image));
    EXPECT_EQ(buffers_.main.size(), kImageBufferCapacity);
}

TEST_F(ServerImagesTest, EmptyUrlSkipsItsImageAndKeepsItsBuffer) {
    buffers_.main.assign(10, 0x77);
    buffers_.mainLength = 10;
    images_.mainImageUrl.clear();
    ASSERT_EQ(FetchServerImages(keys_, images_, buffers_), 0);
    EXPECT_EQ(buffers_.main, std::vector<uint8_t>(10, 0x77));
    EXPECT_EQ(buffers_.mainLength, 10);
    EXPECT_TRUE(Holds(buffers_.second, buffers_.secondLength, second_.image));
    EXPECT_EQ(RequestsFor("/main.bin"), 0);
}

TEST_F(ServerImagesTest, EachFailureHasItsResultAndEndsTheProcedure) {
    const TestImage foreign = MakeTestImage(TestRsaKeys(1), 100, 3);
    struct Case {
        const char* name;
        const char* path;
        ServeFault fault;
        bool foreignKey;
        int result;
        int secondRequests;
    };
    const Case cases[] = {
        {"main missing", "/main.bin", ServeFault::kNotFound, false, -1, 0},
        {"main under another key", "/main.bin", ServeFault::kNone, true, -2, 0},
        {"second without length", "/second.bin", ServeFault::kNoContentLength, false, -3, 1},
        {"second under another key", "/second.bin", ServeFault::kNone, true, -4, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::ImageServerRig rig;
        rig.server.Serve("/main.bin", AsText(main_.envelope));
        rig.server.Serve("/second.bin", AsText(second_.envelope));
        rig.server.Serve(c.path, c.foreignKey ? AsText(foreign.envelope) : AsText(main_.envelope), c.fault);
        images_.mainImageUrl = rig.Url("/main.bin");
        images_.secondImageUrl = rig.Url("/second.bin");
        ServerImageBuffers buffers;
        EXPECT_EQ(FetchServerImages(keys_, images_, buffers), c.result);
        const auto requests = rig.server.Requests();
        EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                                [](const sim::RequestHead& r) { return r.path == "/second.bin"; }),
                  c.secondRequests);
    }
}

TEST_F(ServerImagesTest, FailedFetchLeavesTheLengthAtTheCapacity) {
    rig_.server.SetFault("/main.bin", ServeFault::kNotFound);
    ASSERT_EQ(FetchServerImages(keys_, images_, buffers_), -1);
    EXPECT_EQ(buffers_.mainLength, static_cast<int32_t>(kImageBufferCapacity));
    EXPECT_EQ(buffers_.main.size(), kImageBufferCapacity);
}

TEST_F(ServerImagesTest, LoadCopiesTheImagesIntoTheApplication) {
    ASSERT_EQ(LoadServerImages(keys_, images_, buffers_), 1);
    EXPECT_EQ(images_.imageCount, 2);
    EXPECT_EQ(images_.mainImage, main_.image);
    EXPECT_EQ(images_.mainImageSize, static_cast<int>(main_.image.size()));
    EXPECT_EQ(images_.secondImage, second_.image);
    EXPECT_EQ(images_.secondImageSize, static_cast<int>(second_.image.size()));
    EXPECT_EQ(images_.b_appLoaded, 0);  // the callers set it
}

TEST_F(ServerImagesTest, LoadOfOneImageCountsOne) {
    images_.secondImageUrl.clear();
    ASSERT_EQ(LoadServerImages(keys_, images_, buffers_), 1);
    EXPECT_EQ(images_.imageCount, 1);
    EXPECT_EQ(images_.mainImage, main_.image);
    EXPECT_TRUE(images_.secondImage.empty());
    EXPECT_EQ(images_.secondImageSize, 0);
}

TEST_F(ServerImagesTest, FailedLoadCountsNothingAndKeepsTheEarlierCopies) {
    ASSERT_EQ(LoadServerImages(keys_, images_, buffers_), 1);
    rig_.server.SetFault("/second.bin", ServeFault::kDropConnection);
    ServerImageBuffers again;
    EXPECT_EQ(LoadServerImages(keys_, images_, again), 0);
    EXPECT_EQ(images_.imageCount, 0);
    EXPECT_EQ(images_.mainImage, main_.image);
    EXPECT_EQ(images_.secondImage, second_.image);
    // The main image of this fetch is still there for the start-up MD5 check.
    EXPECT_TRUE(Holds(again.main, again.mainLength, main_.image));
}

}  // namespace
}  // namespace korvane
