// The modules called from many threads at once, as the sessions call them.

#include "modules/signing/keypair.h"
#include "modules/signing/signing_abi.h"
#include "modules/utility/rerizu_abi.h"
#include "platform/profile.h"
#include "tests/fixtures/temp_dir.h"
#include "tests/modules/built_module.h"

#include <algorithm>
#include <array>
#include <thread>
#include <vector>

namespace korvane {
namespace {

std::vector<uint8_t> MessageOf(int n) { return std::vector<uint8_t>(168 + static_cast<size_t>(n), static_cast<uint8_t>(n)); }

TEST(ModuleConcurrency, SigningOnManyThreadsGivesTheSingleThreadedSignatures) {
    ModuleHandle module = testing::LoadBuiltModule("RODEdar.so");
    ASSERT_NE(module, nullptr) << LastModuleError();
    auto sign = testing::EntryPoint<SignFn>(module, "sign");
    const auto key = GenerateKeyPair();
    ASSERT_TRUE(key);
    constexpr int kMessages = 12;
    std::vector<std::array<uint8_t, 96>> expected(kMessages);
    for (int n = 0; n < kMessages; ++n) {
        const auto data = MessageOf(n);
        ASSERT_EQ(sign(key->data(), data.data(), static_cast<uint32_t>(data.size()), 0, expected[n].data()), 0);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int n = 0; n < kMessages; ++n) {
                const auto data = MessageOf(n);
                std::array<uint8_t, 96> signature{};
                EXPECT_EQ(sign(key->data(), data.data(), static_cast<uint32_t>(data.size()), 0, signature.data()), 0);
                EXPECT_EQ(signature, expected[n]);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
}

// Threads meeting key pairs the module has not seen yet, sound and unsound alike, all at once:
// each gets its own key's signature or its refusal, never another key's outcome.
TEST(ModuleConcurrency, FirstUseOfManyKeyPairsAtOnce) {
    ModuleHandle module = testing::LoadBuiltModule("RODEdar.so");
    ASSERT_NE(module, nullptr) << LastModuleError();
    auto sign = testing::EntryPoint<SignFn>(module, "sign");
    auto verify = testing::EntryPoint<VerifyFn>(module, "verify");
    constexpr int kKeys = 10;  // more than the module remembers at once
    std::vector<KeyPairBlock> keys;
    for (int k = 0; k < kKeys; ++k) {
        const auto key = GenerateKeyPair();
        ASSERT_TRUE(key);
        keys.push_back(*key);
    }
    KeyPairBlock mismatched = keys[0];  // the scalar of key 0 with the point of key 1
    std::copy_n(keys[1].begin() + kKeyPairPublicOffset, kKeyPairPublicSize, mismatched.begin() + kKeyPairPublicOffset);
    SealKeyPair(mismatched);

    const auto data = MessageOf(3);
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round) {
                for (int k = 0; k < kKeys; ++k) {
                    const KeyPairBlock& key = keys[static_cast<size_t>((k + t) % kKeys)];
                    std::array<uint8_t, 96> signature{};
                    EXPECT_EQ(sign(key.data(), data.data(), static_cast<uint32_t>(data.size()), 0, signature.data()), 0);
                    EXPECT_EQ(verify(key.data(), data.data(), static_cast<uint32_t>(data.size()), 0, signature.data()), 1);
                    EXPECT_NE(sign(mismatched.data(), data.data(), static_cast<uint32_t>(data.size()), 0,
                                   signature.data()),
                              0);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
}

// The module and the program each hold their own copy of the profile code; writers through
// both must still not undo each other's keys.
TEST(ModuleConcurrency, ModuleAndProgramWritersShareOneFile) {
    ModuleHandle module = testing::LoadBuiltModule("RERizu.so");
    ASSERT_NE(module, nullptr) << LastModuleError();
    auto module_write = testing::EntryPoint<RERizu_WriteIniStringAFn>(module, "RERizu_WriteIniStringA");
    testing::TempDir dir;
    const std::string path = dir.File("SignedData.ini");
    constexpr int kKeys = 25;
    auto key_of = [](int thread, int i) { return std::to_string(thread) + "." + std::to_string(i); };

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kKeys; ++i) {
                const std::string key = key_of(t, i);
                if (t % 2 == 0) {
                    EXPECT_EQ(module_write("AppLoad Info", key.c_str(), key.c_str(), path.c_str()), 1);
                } else {
                    EXPECT_TRUE(WriteProfileString(path, "AppLoad Info", key, key));
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < kKeys; ++i) {
            EXPECT_EQ(ReadProfileString(path, "AppLoad Info", key_of(t, i)), key_of(t, i));
        }
    }
}

}  // namespace
}  // namespace korvane
