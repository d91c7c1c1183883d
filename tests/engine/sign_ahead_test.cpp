// Signing the loaded data ahead of the sessions: the pass makes exactly the signatures the
// sessions' block transfers then ask for, does nothing when it must not, and stops at once.
#include "engine/sign_ahead.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/packet.h"
#include "engine/signature_cache.h"
#include "engine/transfer.h"
#include "tests/fixtures/engine_rig.h"
#include "tests/fixtures/fake_signing.h"
#include "tests/fixtures/link_frames.h"

namespace korvane {
namespace {

using testing::Bytes;

Bytes Pattern(size_t n, uint8_t seed) {
    Bytes bytes(n);
    for (size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 13 + seed);
    }
    return bytes;
}

Bytes Image(size_t n, uint32_t load_address, uint8_t seed) {
    Bytes image = Pattern(n, seed);
    if (n >= kLoadAddressOffset + 4) {
        PutU32(image.data() + kLoadAddressOffset, load_address);
    }
    return image;
}

// Two images, a logo block and an audio file in the plan.
void LoadEverything(testing::SessionRig& rig) {
    DownloadPlan& plan = rig.plan;
    plan.b_downloadApp = 1;
    plan.imageCount = 2;
    plan.mainImage = rig.Keep(Image(4000, 0x80000000, 1));
    plan.secondImage = rig.Keep(Image(1537, 0x81000000, 2));
    plan.b_downloadLogo = 1;
    plan.logoBlock = rig.Keep(Pattern(2000, 3));
    plan.b_downloadAMR = 1;
    plan.amrData = rig.Keep(Pattern(100, 4));
}

// Sends what a session sends of the loaded data to a terminal that accepts every packet.
void SendLoadedData(testing::SessionRig& rig) {
    rig.channel.OnWrite([&rig](std::span<const uint8_t>) { rig.channel.Arrive(testing::OkFrame()); });
    std::array<char, 256> message{};
    const DownloadPlan& plan = rig.plan;
    ASSERT_EQ(send_image(rig.session, plan.mainImage, message), 0);
    ASSERT_EQ(send_image(rig.session, plan.secondImage, message), 0);
    ASSERT_EQ(send_block(rig.session, kCmdLogo, plan.logoBlock, message), 0);
    ASSERT_EQ(send_block(rig.session, kCmdAmr, plan.amrData, message), 0);
}

class SignAheadTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::ResetFakeSignCalls();
        rig_.signing.signatureCache = std::make_shared<SignatureCache>();
        LoadEverything(rig_);
    }
    testing::SessionRig rig_;
    std::atomic<bool> stop_{false};
};

TEST_F(SignAheadTest, SessionsFindEveryPacketOfTheLoadedDataSigned) {
    // 3 + 2 data chunks of the images, 2 of the logo, 1 of the audio, four start packets
    // (their lengths differ) and four end packets, of which the two images' are the same.
    const size_t distinct = (3 + 2 + 2 + 1) + 4 + 3;
    EXPECT_EQ(SignLoadedDataAhead(rig_.plan, rig_.running, stop_), distinct + 1);
    EXPECT_EQ(testing::FakeSignCalls(), static_cast<int>(distinct));
    EXPECT_EQ(rig_.signing.signatureCache->Size(), distinct);

    testing::ResetFakeSignCalls();
    SendLoadedData(rig_);
    EXPECT_EQ(testing::FakeSignCalls(), 0) << "a session signed a packet the pass should have made";
    EXPECT_EQ(rig_.signing.signatureCache->Size(), distinct);
}

TEST_F(SignAheadTest, NothingIsSignedWhenThereIsNothingToDoOrItMustNot) {
    const struct {
        const char* name;
        std::function<void(testing::SessionRig&, std::atomic<bool>&)> change;
    } cases[] = {
        {"shared signatures off", [](auto& rig, auto&) { rig.signing.signatureCache.reset(); }},
        {"stopped", [](auto&, auto& stop) { stop = true; }},
        {"run not going", [](auto& rig, auto&) { rig.running = 0; }},
        {"no signing library", [](auto& rig, auto&) { rig.signing.pfnSign = nullptr; }},
        {"no signing set-up", [](auto& rig, auto&) { rig.plan.signing = nullptr; }},
        {"nothing chosen",
         [](auto& rig, auto&) {
             rig.plan.b_downloadApp = 0;
             rig.plan.b_downloadLogo = 0;
             rig.plan.b_downloadAMR = 0;
         }},
    };
    for (const auto& c : cases) {
        testing::SessionRig rig;
        rig.signing.signatureCache = std::make_shared<SignatureCache>();
        LoadEverything(rig);
        std::atomic<bool> stop{false};
        c.change(rig, stop);
        testing::ResetFakeSignCalls();
        EXPECT_EQ(SignLoadedDataAhead(rig.plan, rig.running, stop), 0u) << c.name;
        EXPECT_EQ(testing::FakeSignCalls(), 0) << c.name;
    }
}

TEST_F(SignAheadTest, AnImageTooShortToBeSentIsLeftOut) {
    rig_.plan.mainImage = rig_.Keep(Image(383, 0, 5));
    rig_.plan.b_downloadLogo = 0;
    rig_.plan.b_downloadAMR = 0;
    EXPECT_EQ(SignLoadedDataAhead(rig_.plan, rig_.running, stop_), BlockPacketCount(1537));
}

TEST_F(SignAheadTest, ThePassStopsBelowTheStoresBoundAndKeepsAllItSigned) {
    // 15 distinct packets against a store of 8: signing them all would push out the first.
    rig_.signing.signatureCache = std::make_shared<SignatureCache>(8);
    EXPECT_EQ(SignLoadedDataAhead(rig_.plan, rig_.running, stop_), 6u);
    EXPECT_EQ(rig_.signing.signatureCache->Size(), 6u);
    testing::ResetFakeSignCalls();
    EXPECT_EQ(SignLoadedDataAhead(rig_.plan, rig_.running, stop_), 6u);
    EXPECT_EQ(testing::FakeSignCalls(), 0) << "a signature made ahead was pushed out by the pass itself";
}

TEST_F(SignAheadTest, ASignatureThatDoesNotVerifyIsNotKept) {
    rig_.signing.pfnVerify = [](const uint8_t*, const uint8_t*, uint32_t, uint32_t, const uint8_t*) { return 0; };
    EXPECT_GT(SignLoadedDataAhead(rig_.plan, rig_.running, stop_), 0u);
    EXPECT_EQ(rig_.signing.signatureCache->Size(), 0u);
}

TEST_F(SignAheadTest, ARefusingKeyPairEndsThePass) {
    rig_.signing.pfnSign = &testing::RefusingSign;
    EXPECT_EQ(SignLoadedDataAhead(rig_.plan, rig_.running, stop_), 0u);
    EXPECT_EQ(testing::FakeSignCalls(), 1);
    EXPECT_EQ(rig_.signing.signatureCache->Size(), 0u);
}

// The pass is caught in the middle of its third packet; whatever ends the run or the pass
// then, that packet is the last one it signs.
TEST_F(SignAheadTest, AStopDuringASignatureEndsThePassAfterThatPacket) {
    const struct {
        const char* name;
        std::function<void(testing::SessionRig&, std::atomic<bool>&)> end;
    } cases[] = {
        {"stopped", [](auto&, auto& stop) { stop = true; }},
        {"run ended", [](auto& rig, auto&) { rig.running = 0; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::SessionRig rig;
        rig.signing.signatureCache = std::make_shared<SignatureCache>();
        LoadEverything(rig);
        rig.signing.pfnSign = &testing::GatedSign;
        std::atomic<bool> stop{false};
        testing::ResetFakeSignCalls();
        testing::CloseSignGate();
        testing::AllowSigns(2);
        size_t asked = 0;
        std::thread pass([&] { asked = SignLoadedDataAhead(rig.plan, rig.running, stop); });
        testing::AwaitSignsArrived(3);
        c.end(rig, stop);
        testing::OpenSignGate();
        pass.join();
        EXPECT_EQ(asked, 3u);
        EXPECT_EQ(testing::SignsArrived(), 3);
        EXPECT_EQ(rig.signing.signatureCache->Size(), 3u);
    }
}

// Start only launches the pass: it returns while the first signature is held. Stop joins a
// pass that is in the middle of a packet, and it has signed far less than the whole image.
TEST_F(SignAheadTest, StartLeavesTheSigningToItsThreadAndStopEndsIt) {
    rig_.signing.pfnSign = &testing::GatedSign;
    rig_.plan.mainImage = rig_.Keep(Image(1536 * 400, 0x80000000, 6));  // 402 packets
    testing::CloseSignGate();
    SignAhead ahead;
    ahead.Start(rig_.plan, rig_.running);
    testing::AwaitSignsArrived(1);
    EXPECT_EQ(testing::FakeSignCalls(), 0);

    std::atomic<bool> stopping{false};
    testing::ReleaseSignsWhen([&] { return stopping.load(); });
    stopping = true;
    ahead.Stop();
    const int signed_when_stopped = testing::FakeSignCalls();
    EXPECT_GE(signed_when_stopped, 1);
    EXPECT_LT(signed_when_stopped, 402);
    EXPECT_EQ(static_cast<int>(rig_.signing.signatureCache->Size()), signed_when_stopped);
    testing::CloseSignGate();  // forgets the condition, which refers to this test's flag
}

}  // namespace
}  // namespace korvane
