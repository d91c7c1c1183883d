// Start-up with DownloadApp on: the image list, the fetch, the MD5 checks of [APP] and the
// identity keys of [TUSN], against the loopback image server.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/image_server/demo_images.h"
#include "sim/image_server/image_server.h"
#include "tests/app/startup_harness.h"
#include "tests/fixtures/rsa_test_keys.h"

namespace korvane::testing {
namespace {

using sim::ServeFault;

class ServerStartupTest : public StartupTest {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        config.SetRsaKeys(TestRsaKeys());
        std::string error;
        ASSERT_TRUE(server.Start(0, nullptr, error)) << error;
        images.main = sim::MakeSampleImage("main", 3000);
        images.second = sim::MakeSampleImage("second", 1000);
    }
    void TearDown() override {
        server.Stop();
        StartupTest::TearDown();
    }
    void Publish() {
        std::string error;
        ASSERT_TRUE(sim::PublishDemoImages(server, config.Path(), images, true, error)) << error;
    }
    std::string Url(const char* path) const { return server.BaseUrl() + path; }

    sim::ImageServer server;
    sim::DemoImages images;
};

TEST_F(ServerStartupTest, TwoImagesAreFetchedCheckedAndHeld) {
    Publish();
    const StartupRun run = Start();
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.messages.empty());
    EXPECT_EQ(app.images.b_appLoaded, 1);
    EXPECT_EQ(app.images.imageCount, 2);
    EXPECT_EQ(app.images.mainImage, images.main);
    EXPECT_EQ(app.images.secondImage, images.second);
    EXPECT_EQ(app.images.mainImageUrl, Url(sim::kMainImagePath));
    EXPECT_EQ(app.images.secondImageUrl, Url(sim::kSecondImagePath));
    EXPECT_EQ(app.identity.b_checkTUSN, 0);
}

// A second start-up of the same object keeps nothing of the first: with DownloadApp off
// no image is held and no identity is checked, whatever the first start-up read.
TEST_F(ServerStartupTest, ASecondStartUpKeepsNothingOfTheFirst) {
    Publish();
    config.SetDevPath("TUSN", "ISCHECK", "1");
    config.SetDevPath("TUSN", "DEVICE_TYPE", "QV");
    config.SetDevPath("TUSN", "CUSOMTER_ID", "ABC");
    ASSERT_TRUE(Start().started);
    ASSERT_EQ(app.identity.b_checkTUSN, 1);
    ASSERT_EQ(app.images.imageCount, 2);

    config.SetAppLoad("DownloadApp", "0");
    ASSERT_TRUE(Start().started);
    EXPECT_EQ(app.identity.b_checkTUSN, 0);
    EXPECT_EQ(std::string(app.identity.deviceType.data()), "");
    EXPECT_EQ(app.images.b_appLoaded, 0);
    EXPECT_EQ(app.images.imageCount, 0);
    EXPECT_TRUE(app.images.mainImage.empty());
}

TEST_F(ServerStartupTest, OneImageNeedsNoSecondDigest) {
    images.second.clear();
    Publish();
    config.SetDevPath("APP", "MD5_2", std::nullopt);
    const StartupRun run = Start();
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.messages.empty());
    EXPECT_EQ(app.images.imageCount, 1);
    EXPECT_TRUE(app.images.secondImage.empty());
}

TEST_F(ServerStartupTest, DownloadAppOffAsksNoServer) {
    Publish();
    config.SetAppLoad("DownloadApp", "0");
    config.SetDevPath("TUSN", "ISCHECK", "1");
    ASSERT_TRUE(Start().started);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(app.images.b_appLoaded, 0);
    EXPECT_EQ(app.identity.b_checkTUSN, 0);
}

TEST_F(ServerStartupTest, FailuresEndStartUpWithTheirMessages) {
    struct Case {
        const char* name;
        void (*arrange)(sim::ImageServer&, ConfigDir&);
        bool started;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"list answers 0", [](sim::ImageServer& s, ConfigDir&) { s.Serve(sim::kImageListPath, "0"); }, false,
         {"Server access failed, please contact the manufacturer"}},
        {"list answers nothing", [](sim::ImageServer& s, ConfigDir&) { s.Serve(sim::kImageListPath, ""); }, false,
         {"Server access failed, please contact the manufacturer"}},
        // The status of the list request is not looked at: the error page is taken for a URL.
        {"list not found", [](sim::ImageServer& s, ConfigDir&) { s.SetFault(sim::kImageListPath, ServeFault::kNotFound); },
         false,
         {"Failed to read the App, please contact the manufacturer!",
          "MD5_1, the BIN file does not exist, or the MD5 checksum is incorrect"}},
        {"main image not found",
         [](sim::ImageServer& s, ConfigDir&) { s.SetFault(sim::kMainImagePath, ServeFault::kNotFound); }, false,
         {"Failed to read the App, please contact the manufacturer!",
          "MD5_1, the BIN file does not exist, or the MD5 checksum is incorrect"}},
        {"main image without Content-Length",
         [](sim::ImageServer& s, ConfigDir&) { s.SetFault(sim::kMainImagePath, ServeFault::kNoContentLength); }, false,
         {"Failed to read the App, please contact the manufacturer!",
          "MD5_1, the BIN file does not exist, or the MD5 checksum is incorrect"}},
        {"second image not found: main passes, the run cannot start",
         [](sim::ImageServer& s, ConfigDir&) { s.SetFault(sim::kSecondImagePath, ServeFault::kNotFound); }, true,
         {"Failed to read the App, please contact the manufacturer!"}},
        {"MD5_1 empty", [](sim::ImageServer&, ConfigDir& c) { c.SetDevPath("APP", "MD5_1", ""); }, false,
         {"MD5_1, configuration error, no MD5 value is written"}},
        {"MD5_1 wrong",
         [](sim::ImageServer&, ConfigDir& c) { c.SetDevPath("APP", "MD5_1", std::string(32, '0')); }, false,
         {"MD5_1, the BIN file does not exist, or the MD5 checksum is incorrect"}},
        {"MD5_2 empty", [](sim::ImageServer&, ConfigDir& c) { c.SetDevPath("APP", "MD5_2", std::nullopt); }, false,
         {"MD5_2, configuration error, no MD5 value is written"}},
        {"MD5_2 wrong", [](sim::ImageServer&, ConfigDir& c) { c.SetDevPath("APP", "MD5_2", "0123"); }, false,
         {"MD5_2, the BIN file does not exist, or the MD5 checksum is incorrect"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Publish();
        c.arrange(server, config);
        CKorvaneAppDownloadApp caseApp;
        RecordingMessageSink sink;
        EXPECT_EQ(caseApp.InitInstance(sink, config.Path(), modules.Path()), c.started);
        EXPECT_EQ(sink.messages, c.messages);
        if (c.started) {
            EXPECT_EQ(caseApp.images.b_appLoaded, 0);
            EXPECT_EQ(caseApp.images.imageCount, 0);
        }
    }
}

TEST_F(ServerStartupTest, IdentityKeysMustBePresentAndFitTheirFields) {
    std::string wide;  // 43 three-byte characters: 129 bytes in 43 units
    for (int i = 0; i < 43; ++i) {
        wide += "型";
    }
    struct Case {
        const char* name;
        std::string deviceType;
        std::string customerId;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"both set", "QV41C", "CUST-01", {}},
        {"device type empty", "", "CUST-01", {"DEVICE_TYPE,配置错误，没有写DEVICE_TYPE值"}},
        {"customer id empty", "QV41C", "", {"CUSOMTER_ID,配置错误，没有写CUSOMTER_ID值"}},
        {"both empty: device type first", "", "", {"DEVICE_TYPE,配置错误，没有写DEVICE_TYPE值"}},
        {"device type of 127 bytes fits", std::string(127, 'T'), "C", {}},
        {"device type of 128 bytes", std::string(128, 'T'), "C",
         {"DEVICE_TYPE, configuration error, the value is longer than 127 bytes"}},
        {"device type of 129 bytes in 43 characters", wide, "C",
         {"DEVICE_TYPE, configuration error, the value is longer than 127 bytes"}},
        {"customer id of 259 bytes fits", "T", std::string(259, 'C'), {}},
        {"customer id of 260 bytes", "T", std::string(260, 'C'),
         {"CUSOMTER_ID, configuration error, the value is longer than 259 bytes"}},
        {"customer id of 400 bytes", "T", std::string(400, 'C'),
         {"CUSOMTER_ID, configuration error, the value is longer than 259 bytes"}},
        {"device type of 300 bytes", std::string(300, 'T'), "C",
         {"DEVICE_TYPE, configuration error, the value is longer than 127 bytes"}},
        {"customer id of 264 bytes in 88 characters", "T", wide + wide + wide.substr(0, 6),
         {"CUSOMTER_ID, configuration error, the value is longer than 259 bytes"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Publish();
        config.SetDevPath("TUSN", "ISCHECK", "1");
        config.SetDevPath("TUSN", "DEVICE_TYPE", c.deviceType);
        config.SetDevPath("TUSN", "CUSOMTER_ID", c.customerId);
        CKorvaneAppDownloadApp caseApp;
        RecordingMessageSink sink;
        EXPECT_EQ(caseApp.InitInstance(sink, config.Path(), modules.Path()), c.messages.empty());
        EXPECT_EQ(sink.messages, c.messages);
        EXPECT_EQ(caseApp.identity.b_checkTUSN, 1);
        if (c.messages.empty()) {
            EXPECT_EQ(std::string(caseApp.identity.deviceType.data()), c.deviceType);
            EXPECT_EQ(std::string(caseApp.identity.customerId.data()), c.customerId.substr(0, 259));
        }
    }
}

}  // namespace
}  // namespace korvane::testing
