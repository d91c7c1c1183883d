// The channel module on Windows where no terminal is needed: ports that cannot be opened
// and calls on a channel that is not open fail with an error code, never a hang.

#include "modules/channel/channel_abi.h"
#include "platform/dynlib.h"
#include "platform/module_path.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace korvane {
namespace {

class ChannelModuleWindowsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { module_ = LoadModule(OwnModuleDir() + "\\" + ModuleFileName("Ruduvar9")); }

    void SetUp() override {
        ASSERT_NE(module_, nullptr) << LastModuleError();
        auto create = reinterpret_cast<CreateChannelFn>(FindSymbol(module_, "CreateChannel"));
        release_ = reinterpret_cast<ReleaseChannelFn>(FindSymbol(module_, "ReleaseChannel"));
        ASSERT_NE(create, nullptr);
        ASSERT_NE(release_, nullptr);
        ASSERT_NE(create(&channel_, 0), 0);
    }
    void TearDown() override { release_(channel_); }

    int32_t Open(uint32_t port, uint32_t baud = 115200, uint32_t kind = 0) {
        const ChannelConfig config{kind, port, baud};
        return channel_->vtbl->Open(channel_, &config);
    }
    int32_t LastError() { return channel_->vtbl->GetLastError(channel_); }

    static inline ModuleHandle module_ = nullptr;
    ReleaseChannelFn release_ = nullptr;
    IChannel* channel_ = nullptr;
};

TEST_F(ChannelModuleWindowsTest, OpenRefusesWhatItCannotServe) {
    struct Refusal {
        const char* what;
        uint32_t kind, port, baud;
        int32_t error;
    };
    // No COM port of that number exists on the test machine.
    for (const Refusal& r : {Refusal{"no such port", 0, 250, 115200, ENOENT},
                             Refusal{"port zero", 0, 0, 115200, EINVAL},
                             Refusal{"past the last COM number", 0, 70000, 115200, ENOENT},
                             Refusal{"other kind", 1, 250, 115200, EINVAL},
                             Refusal{"odd baud rate", 0, 250, 12345, EINVAL}}) {
        EXPECT_EQ(Open(r.port, r.baud, r.kind), 0) << r.what;
        EXPECT_EQ(LastError(), r.error) << r.what;
        EXPECT_EQ(channel_->vtbl->IsOpen(channel_), 0) << r.what;
    }
    EXPECT_EQ(channel_->vtbl->Open(channel_, nullptr), 0);
}

TEST_F(ChannelModuleWindowsTest, ReadAndWriteOnAChannelThatIsNotOpenFail) {
    ASSERT_EQ(Open(250), 0);
    uint8_t buffer[16] = {};
    EXPECT_EQ(channel_->vtbl->Read(channel_, buffer, sizeof buffer, 10, 0), -1);
    EXPECT_EQ(LastError(), EBADF);
    EXPECT_EQ(channel_->vtbl->Write(channel_, buffer, sizeof buffer, 0), -1);
    EXPECT_EQ(LastError(), EBADF);
    channel_->vtbl->Close(channel_);
    channel_->vtbl->Close(channel_);
}

}  // namespace
}  // namespace korvane
