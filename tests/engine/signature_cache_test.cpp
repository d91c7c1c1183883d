// Shared bulk-data signatures: one computation per region and key pair, the bound, the
// refusals that must never be hidden, and callers that wait for another's computation.
#include "engine/signature_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "engine/frame.h"
#include "engine/packet.h"
#include "engine/transfer.h"
#include "tests/fixtures/engine_rig.h"
#include "tests/fixtures/fake_signing.h"

namespace korvane {
namespace {

using namespace std::chrono_literals;
using Signature = std::array<uint8_t, 96>;
using KeyPair = std::array<uint8_t, 188>;
using Region = std::vector<uint8_t>;

Region RegionOf(uint8_t fill, size_t size = 168 + 1536) { return Region(size, fill); }

KeyPair KeyPairOf(uint8_t first) {
    KeyPair key{};
    key[0] = first;
    return key;
}

// A signer that refuses key pairs beginning with 'X', as the module refuses unsound ones.
extern "C" int CheckingSign(const uint8_t key_pair[188], const uint8_t* data, uint32_t length, uint32_t flags,
                            uint8_t signature[96]) {
    if (key_pair[0] == 'X') {
        return testing::RefusingSign(key_pair, data, length, flags, signature);
    }
    return testing::FakeSign(key_pair, data, length, flags, signature);
}

// A signer whose first answer is a success with a wrong signature, as a module with a
// fault might give once.
std::atomic<int> g_flaky_calls{0};
extern "C" int OnceWrongSign(const uint8_t key_pair[188], const uint8_t* data, uint32_t length, uint32_t flags,
                             uint8_t signature[96]) {
    const int result = testing::FakeSign(key_pair, data, length, flags, signature);
    if (g_flaky_calls.fetch_add(1) == 0) {
        signature[0] ^= 0xFF;
    }
    return result;
}

class SignatureCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::ResetFakeSignCalls();
        testing::CloseSignGate();
    }
    void TearDown() override { testing::OpenSignGate(); }

    SharedSignOutcome Sign(SignatureCache& cache, SignFn sign, const KeyPair& key, const Region& region,
                           Signature& signature, const StopCheck& stopped = {}) {
        return cache.Sign(sign, &testing::FakeVerify, key, region, signature, stopped);
    }
    static Signature Expected(const KeyPair& key, const Region& region) {
        return testing::FakeSignature(key.data(), region.data(), region.size());
    }

    const KeyPair key_ = KeyPairOf('K');
};

TEST_F(SignatureCacheTest, EachRegionIsSignedOnceAndEveryAskerGetsItsSignature) {
    SignatureCache cache;
    const std::vector<Region> regions = {RegionOf(1), RegionOf(2), RegionOf(1, 168 + 10), RegionOf(0, 168)};
    for (int round = 0; round < 3; ++round) {
        for (const Region& region : regions) {
            Signature signature{};
            ASSERT_EQ(Sign(cache, &testing::FakeSign, key_, region, signature), SharedSignOutcome::kSigned);
            EXPECT_EQ(signature, Expected(key_, region)) << "round " << round;
        }
    }
    EXPECT_EQ(testing::FakeSignCalls(), static_cast<int>(regions.size()));
    EXPECT_EQ(cache.Size(), regions.size());
}

// Another key pair or another signer never gets an old signature, and nothing of the old
// one is kept: going back signs again.
TEST_F(SignatureCacheTest, AChangeOfKeyPairOrSignerForgetsEverything) {
    SignatureCache cache;
    const Region region = RegionOf(7);
    const KeyPair other = KeyPairOf('L');
    const struct {
        const char* name;
        const KeyPair& key;
        SignFn sign;
        int calls_after;
    } steps[] = {
        {"first key", key_, &testing::FakeSign, 1},
        {"first key again", key_, &testing::FakeSign, 1},
        {"second key", other, &testing::FakeSign, 2},
        {"first key after the second", key_, &testing::FakeSign, 3},
        {"another signer", key_, &CheckingSign, 4},
    };
    for (const auto& step : steps) {
        Signature signature{};
        ASSERT_EQ(Sign(cache, step.sign, step.key, region, signature), SharedSignOutcome::kSigned) << step.name;
        EXPECT_EQ(signature, Expected(step.key, region)) << step.name;
        EXPECT_EQ(testing::FakeSignCalls(), step.calls_after) << step.name;
        EXPECT_EQ(cache.Size(), 1u) << step.name;
    }
}

TEST_F(SignatureCacheTest, ARefusedKeyPairIsRefusedEveryTimeAndHidesNothing) {
    SignatureCache cache;
    const Region region = RegionOf(3);
    const KeyPair unsound = KeyPairOf('X');
    Signature good{};
    ASSERT_EQ(Sign(cache, &CheckingSign, key_, region, good), SharedSignOutcome::kSigned);
    for (int call = 0; call < 3; ++call) {
        Signature signature;
        signature.fill(0xA5);
        EXPECT_EQ(Sign(cache, &CheckingSign, unsound, region, signature), SharedSignOutcome::kRefused) << call;
        EXPECT_TRUE(std::all_of(signature.begin(), signature.end(), [](uint8_t b) { return b == 0xA5; })) << call;
        EXPECT_EQ(cache.Size(), 0u) << call;
    }
    Signature again{};
    EXPECT_EQ(Sign(cache, &CheckingSign, key_, region, again), SharedSignOutcome::kSigned);
    EXPECT_EQ(again, good);
    Signature none{};
    EXPECT_EQ(Sign(cache, nullptr, key_, region, none), SharedSignOutcome::kRefused);
}

TEST_F(SignatureCacheTest, ASignatureThatDoesNotVerifyIsNeverShared) {
    g_flaky_calls = 0;
    SignatureCache cache;
    const Region region = RegionOf(5);
    Signature first{};
    ASSERT_EQ(Sign(cache, &OnceWrongSign, key_, region, first), SharedSignOutcome::kSigned);
    EXPECT_NE(first, Expected(key_, region)) << "its own asker gets what the module gave";
    EXPECT_EQ(cache.Size(), 0U);
    // Every later asker gets a signature made again and checked, then shared.
    for (int asker = 0; asker < 3; ++asker) {
        Signature later{};
        ASSERT_EQ(Sign(cache, &OnceWrongSign, key_, region, later), SharedSignOutcome::kSigned);
        EXPECT_EQ(later, Expected(key_, region)) << asker;
    }
    EXPECT_EQ(g_flaky_calls.load(), 2);
    EXPECT_EQ(cache.Size(), 1U);
}

TEST_F(SignatureCacheTest, AtTheBoundTheLeastRecentlyUsedRegionIsForgotten) {
    SignatureCache cache(2);
    const Region a = RegionOf(1), b = RegionOf(2), c = RegionOf(3);
    Signature signature{};
    for (const Region* region : {&a, &b, &a, &c}) {  // a was used after b, so b goes for c
        ASSERT_EQ(Sign(cache, &testing::FakeSign, key_, *region, signature), SharedSignOutcome::kSigned);
    }
    EXPECT_EQ(testing::FakeSignCalls(), 3);
    EXPECT_EQ(cache.Size(), 2u);
    ASSERT_EQ(Sign(cache, &testing::FakeSign, key_, a, signature), SharedSignOutcome::kSigned);
    EXPECT_EQ(testing::FakeSignCalls(), 3) << "a was kept";
    ASSERT_EQ(Sign(cache, &testing::FakeSign, key_, b, signature), SharedSignOutcome::kSigned);
    EXPECT_EQ(signature, Expected(key_, b));
    EXPECT_EQ(testing::FakeSignCalls(), 4) << "b was forgotten and signed again";
    EXPECT_EQ(cache.Size(), 2u);
}

TEST_F(SignatureCacheTest, AskersOfARegionBeingSignedWaitForThatOneComputation) {
    SignatureCache cache;
    const Region region = RegionOf(9);
    auto first = std::async(std::launch::async, [&] {
        Signature signature{};
        EXPECT_EQ(Sign(cache, &testing::GatedSign, key_, region, signature), SharedSignOutcome::kSigned);
        return signature;
    });
    testing::AwaitSignsArrived(1);
    std::vector<std::future<Signature>> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.push_back(std::async(std::launch::async, [&] {
            Signature signature{};
            EXPECT_EQ(Sign(cache, &testing::GatedSign, key_, region, signature, [] { return false; }),
                      SharedSignOutcome::kSigned);
            return signature;
        }));
    }
    for (auto& waiter : waiters) {
        EXPECT_EQ(waiter.wait_for(50ms), std::future_status::timeout) << "a waiter went past the signer";
    }
    testing::OpenSignGate();
    EXPECT_EQ(first.get(), Expected(key_, region));
    for (auto& waiter : waiters) {
        EXPECT_EQ(waiter.get(), Expected(key_, region));
    }
    EXPECT_EQ(testing::FakeSignCalls(), 1);
}

TEST_F(SignatureCacheTest, AStoppedWaiterLeavesAtOnceWithoutASignature) {
    SignatureCache cache;
    const Region region = RegionOf(4);
    auto signer = std::async(std::launch::async, [&] {
        Signature signature{};
        return Sign(cache, &testing::GatedSign, key_, region, signature);
    });
    testing::AwaitSignsArrived(1);
    std::atomic<bool> stop{false};
    auto waiter = std::async(std::launch::async, [&] {
        Signature signature;
        signature.fill(0x5A);
        const SharedSignOutcome outcome = Sign(cache, &testing::GatedSign, key_, region, signature, [&] { return stop.load(); });
        EXPECT_TRUE(std::all_of(signature.begin(), signature.end(), [](uint8_t b) { return b == 0x5A; }));
        return outcome;
    });
    EXPECT_EQ(waiter.wait_for(30ms), std::future_status::timeout);
    stop = true;
    ASSERT_EQ(waiter.wait_for(2s), std::future_status::ready) << "the stopped waiter is still waiting";
    EXPECT_EQ(waiter.get(), SharedSignOutcome::kStopped);
    testing::OpenSignGate();
    EXPECT_EQ(signer.get(), SharedSignOutcome::kSigned);
}

// Through packet building: bulk-data packets come from the shared signatures, fixed-content
// packets still go through the library and the store.
TEST_F(SignatureCacheTest, FramesOfBulkPacketsShareSignaturesAndOthersDoNot) {
    testing::TestSigning app;
    app.signing.signatureCache = std::make_shared<SignatureCache>();
    const std::vector<uint8_t> chunk = BlockDataPayload(0x80000000, std::vector<uint8_t>(1536, 0x42));
    std::array<uint8_t, kMaxFrame> first{};
    std::array<uint8_t, kMaxFrame> second{};
    const int length = build_command_frame(&app.signing, chunk, first.data(), kCmdImage);
    ASSERT_GT(length, 0);
    EXPECT_EQ(build_command_frame(&app.signing, chunk, second.data(), kCmdImage), length);
    EXPECT_EQ(first, second);
    EXPECT_EQ(testing::FakeSignCalls(), 1);

    const std::vector<uint8_t> open = {'0'};
    build_command_frame(&app.signing, open, first.data(), kCmdOpenDownload);
    build_command_frame(&app.signing, open, second.data(), kCmdOpenDownload);
    EXPECT_EQ(testing::FakeSignCalls(), 3);
    EXPECT_FALSE(app.StoreValue("48").empty());
    EXPECT_EQ(app.signing.signatureCache->Size(), 1u);
}

TEST_F(SignatureCacheTest, AFrameWhoseSharedSignatureIsAwaitedWhenStoppedIsNotBuilt) {
    testing::TestSigning app;
    app.signing.pfnSign = &testing::GatedSign;
    app.signing.signatureCache = std::make_shared<SignatureCache>();
    const std::vector<uint8_t> chunk = BlockDataPayload(0, std::vector<uint8_t>(100, 1));
    auto signer = std::async(std::launch::async, [&] {
        std::array<uint8_t, kMaxFrame> frame{};
        return build_command_frame(&app.signing, chunk, frame.data(), kCmdLogo);
    });
    testing::AwaitSignsArrived(1);
    std::array<uint8_t, kMaxFrame> frame{};
    EXPECT_EQ(build_command_frame(&app.signing, chunk, frame.data(), kCmdLogo, nullptr, [] { return true; }),
              kFrameStopped);
    EXPECT_EQ(frame, (std::array<uint8_t, kMaxFrame>{}));
    testing::OpenSignGate();
    EXPECT_GT(signer.get(), 0);
}

// A session stopped while another makes the signature of its next packet ends the transfer
// at once: nothing is written and the message stays empty, as after any stop.
TEST_F(SignatureCacheTest, ASessionStoppedWhileItsPacketIsSignedElsewhereEndsItsTransfer) {
    testing::SessionRig rig;
    rig.signing.pfnSign = &testing::GatedSign;
    rig.signing.signatureCache = std::make_shared<SignatureCache>();
    std::vector<uint8_t> image(1000, 0x11);
    const std::vector<uint8_t> start = BlockStartPayload(static_cast<uint32_t>(image.size()));
    auto other = std::async(std::launch::async, [&] {
        std::array<uint8_t, kMaxFrame> frame{};
        return build_command_frame(&rig.signing, start, frame.data(), kCmdImage);
    });
    testing::AwaitSignsArrived(1);
    rig.stop = true;
    std::array<char, 256> message{};
    message[0] = 'x';
    const auto sending = std::chrono::steady_clock::now();
    EXPECT_EQ(send_image(rig.session, image, message), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - sending, 1s);
    EXPECT_EQ(message[0], '\0');
    EXPECT_TRUE(rig.channel.Writes().empty());
    testing::OpenSignGate();
    EXPECT_GT(other.get(), 0);
}

}  // namespace
}  // namespace korvane
