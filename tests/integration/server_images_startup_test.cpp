// Start-up with DownloadApp on: the image list, the fetches, the envelopes and the MD5
// checks, through the real modules and a loopback image server.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/KorvaneAppDownloadApp.h"
#include "app/port_rows.h"
#include "app/run_control.h"
#include "crypto/digest.h"
#include "sim/image_server/demo_images.h"
#include "sim/image_server/image_server.h"
#include "tests/fixtures/config_dir.h"
#include "tests/fixtures/image_server_rig.h"
#include "tests/fixtures/recording_message_sink.h"
#include "tests/fixtures/rsa_test_keys.h"

namespace korvane {
namespace {

using sim::ServeFault;
using testing::MakeTestImage;
using RecordingSink = testing::RecordingMessageSink;
using testing::TestImage;
using testing::TestRsaKeys;

constexpr char kReadFailed[] = "Failed to read the App, please contact the manufacturer!";
constexpr char kServerFailed[] = "Server access failed, please contact the manufacturer";
constexpr char kMd5OneWrong[] = "MD5_1, the BIN file does not exist, or the MD5 checksum is incorrect";
constexpr char kMd5TwoWrong[] = "MD5_2, the BIN file does not exist, or the MD5 checksum is incorrect";
constexpr char kMd5OneEmpty[] = "MD5_1, configuration error, no MD5 value is written";

std::string AsText(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::string Md5Of(const std::vector<uint8_t>& bytes) {
    return Md5Hex(bytes.data(), bytes.size());
}

// A configuration with DownloadApp on whose URL_A names the loopback server, which
// publishes two images sealed with the configuration's key; MD5_1 and MD5_2 match them.
class ServerImagesStartupTest : public ::testing::Test {
protected:
    ServerImagesStartupTest()
        : config_(TestRsaKeys()), main_(MakeTestImage(TestRsaKeys(), 4000, 21)),
          second_(MakeTestImage(TestRsaKeys(), 900, 22)) {
        rig_.server.Serve("/main.bin", AsText(main_.envelope));
        rig_.server.Serve("/second.bin", AsText(second_.envelope));
        AnswerList(rig_.Url("/main.bin") + "," + rig_.Url("/second.bin"));
        config_.SetAppLoad("DownloadApp", "1");
        config_.SetDevPath("DATABASE", "URL_A", rig_.Url("/images"));
        config_.SetDevPath("APP", "MD5_1", Md5Of(main_.image));
        config_.SetDevPath("APP", "MD5_2", Md5Of(second_.image));
    }
    ~ServerImagesStartupTest() override { app_.ExitInstance(); }

    void AnswerList(const std::string& answer, ServeFault fault = ServeFault::kNone) {
        rig_.server.Serve("/images", answer, fault);
    }
    bool StartUp() { return app_.InitInstance(sink_, config_.Path(), KORVANE_MODULE_DIR); }

    testing::ImageServerRig rig_;
    testing::ConfigDir config_;
    TestImage main_;
    TestImage second_;
    CKorvaneAppDownloadApp app_;
    RecordingSink sink_;
};

TEST_F(ServerImagesStartupTest, TwoImagesAreLoadedAndChecked) {
    ASSERT_TRUE(StartUp()) << ::testing::PrintToString(sink_.messages);
    EXPECT_TRUE(sink_.messages.empty());
    EXPECT_EQ(app_.images.b_appLoaded, 1);
    EXPECT_EQ(app_.images.imageCount, 2);
    EXPECT_EQ(app_.images.mainImage, main_.image);
    EXPECT_EQ(app_.images.secondImage, second_.image);
}

TEST_F(ServerImagesStartupTest, OneUrlLoadsTheMainImageAloneWithoutMd5_2) {
    config_.SetDevPath("APP", "MD5_2", std::nullopt);
    for (const std::string& answer : {rig_.Url("/main.bin"), ",," + rig_.Url("/main.bin")}) {
        SCOPED_TRACE(answer);
        AnswerList(answer);
        CKorvaneAppDownloadApp app;
        RecordingSink sink;
        ASSERT_TRUE(app.InitInstance(sink, config_.Path(), KORVANE_MODULE_DIR))
            << ::testing::PrintToString(sink.messages);
        EXPECT_TRUE(sink.messages.empty());
        EXPECT_EQ(app.images.b_appLoaded, 1);
        EXPECT_EQ(app.images.imageCount, 1);
        EXPECT_EQ(app.images.mainImage, main_.image);
        app.ExitInstance();
    }
}

TEST_F(ServerImagesStartupTest, RefusingOrSilentListServerEndsStartUp) {
    struct Case {
        std::string answer;
        ServeFault fault;
    };
    const Case cases[] = {{"0", ServeFault::kNone}, {"", ServeFault::kNone}, {"x", ServeFault::kDropConnection}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        AnswerList(c.answer, c.fault);
        CKorvaneAppDownloadApp app;
        RecordingSink sink;
        EXPECT_FALSE(app.InitInstance(sink, config_.Path(), KORVANE_MODULE_DIR));
        EXPECT_EQ(sink.messages, std::vector<std::string>{kServerFailed});
        app.ExitInstance();
    }
}

TEST_F(ServerImagesStartupTest, MissingMainImageIsReportedThenFailsItsMd5Check) {
    rig_.server.SetFault("/main.bin", ServeFault::kNotFound);
    EXPECT_FALSE(StartUp());
    EXPECT_EQ(sink_.messages, (std::vector<std::string>{kReadFailed, kMd5OneWrong}));
    EXPECT_EQ(app_.images.b_appLoaded, 0);
    EXPECT_EQ(app_.images.imageCount, 0);
}

TEST_F(ServerImagesStartupTest, MainImageUnderAnotherKeyFailsItsMd5Check) {
    const TestImage foreign = MakeTestImage(TestRsaKeys(1), 4000, 21);
    rig_.server.Serve("/main.bin", AsText(foreign.envelope));
    EXPECT_FALSE(StartUp());
    EXPECT_EQ(sink_.messages, (std::vector<std::string>{kReadFailed, kMd5OneWrong}));
}

TEST_F(ServerImagesStartupTest, FailingSecondImageCompletesStartUpButStartRefuses) {
    rig_.server.SetFault("/second.bin", ServeFault::kNoContentLength);
    EXPECT_TRUE(StartUp());
    EXPECT_EQ(sink_.messages, std::vector<std::string>{kReadFailed});
    EXPECT_EQ(app_.images.b_appLoaded, 0);
    EXPECT_EQ(app_.images.imageCount, 0);

    PortRows rows(app_);
    RunControl control(app_, rows, sink_, [](uint32_t, int) { return true; });
    EXPECT_FALSE(control.OnStart());
    EXPECT_EQ(sink_.messages, (std::vector<std::string>{kReadFailed, "App 未加载，请确认！"}));
    EXPECT_FALSE(control.Running());
}

TEST_F(ServerImagesStartupTest, Md5ValuesOfTheConfigurationDecide) {
    struct Case {
        const char* key;
        std::string value;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"MD5_1", "", {kMd5OneEmpty}},
        {"MD5_1", Md5Of(second_.image), {kMd5OneWrong}},
        {"MD5_2", Md5Of(main_.image), {kMd5TwoWrong}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        config_.SetDevPath("APP", "MD5_1", Md5Of(main_.image));
        config_.SetDevPath("APP", "MD5_2", Md5Of(second_.image));
        config_.SetDevPath("APP", c.key, c.value);
        CKorvaneAppDownloadApp app;
        RecordingSink sink;
        EXPECT_FALSE(app.InitInstance(sink, config_.Path(), KORVANE_MODULE_DIR));
        EXPECT_EQ(sink.messages, c.messages);
        app.ExitInstance();
    }
}

TEST_F(ServerImagesStartupTest, UpperCaseMd5IsAccepted) {
    std::string upper = Md5Of(main_.image);
    for (char& ch : upper) {
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    config_.SetDevPath("APP", "MD5_1", upper);
    EXPECT_TRUE(StartUp()) << ::testing::PrintToString(sink_.messages);
}

// The demo's publishing writes a configuration that start-up accepts as it is.
TEST(DemoImagesStartupTest, PublishedSamplesPassStartUp) {
    testing::ConfigDir config(TestRsaKeys());
    testing::ImageServerRig rig;
    sim::DemoImages images{sim::MakeSampleImage("main", 3000), sim::MakeSampleImage("second", 500)};
    std::string error;
    ASSERT_TRUE(sim::PublishDemoImages(rig.server, config.Path(), images, true, error)) << error;
    CKorvaneAppDownloadApp app;
    RecordingSink sink;
    ASSERT_TRUE(app.InitInstance(sink, config.Path(), KORVANE_MODULE_DIR)) << ::testing::PrintToString(sink.messages);
    EXPECT_EQ(app.images.b_appLoaded, 1);
    EXPECT_EQ(app.images.imageCount, 2);
    EXPECT_EQ(app.images.mainImage, images.main);
    EXPECT_EQ(app.images.secondImage, images.second);
    app.ExitInstance();
}

}  // namespace
}  // namespace korvane
