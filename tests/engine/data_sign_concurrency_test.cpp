// Sessions on different ports sign at once and share one signature store.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <thread>
#include <vector>

#include "engine/data_sign.h"
#include "engine/frame.h"
#include "engine/packet.h"
#include "platform/profile.h"
#include "tests/fixtures/engine_rig.h"
#include "tests/fixtures/link_frames.h"

namespace korvane {
namespace {

constexpr int kPartitionsPerSession = 40;

// Every session initialises its own partitions; each packet records its key.
std::vector<std::string> SignPartitions(const SigningSetup* signing, uint32_t first_address) {
    std::vector<std::string> expected;
    for (int i = 0; i < kPartitionsPerSession; ++i) {
        const uint32_t address = first_address + static_cast<uint32_t>(i);
        const Record record = InitPlusDataRecord("C:", address, 2, 8);
        std::array<uint8_t, kMaxFrame> frame{};
        const int length = build_command_frame(signing, record, frame.data(), kCmdPartitionInit);
        const auto packet = testing::DecodeCommandFrame(std::span<const uint8_t>(frame.data(), static_cast<size_t>(length)));
        expected.push_back(packet ? SignatureToHex(packet->signature.data()) : std::string());
    }
    return expected;
}

TEST(DataSignConcurrency, SessionsWritingTheStoreAtOnceLoseNoKey) {
    testing::TestSigning first;
    testing::TestSigning second;
    // Both sessions belong to one run: one store file, one key pair.
    second.signing.signedDataIniPath = first.signing.signedDataIniPath;

    std::vector<std::string> first_values;
    std::vector<std::string> second_values;
    std::thread a([&] { first_values = SignPartitions(&first.signing, 1000); });
    std::thread b([&] { second_values = SignPartitions(&second.signing, 5000); });
    a.join();
    b.join();

    const std::string& store = first.signing.signedDataIniPath;
    for (int i = 0; i < kPartitionsPerSession; ++i) {
        EXPECT_EQ(ReadProfileString(store, kStoreSection, "35." + std::to_string(1000 + i)).value_or(""),
                  first_values[static_cast<size_t>(i)]);
        EXPECT_EQ(ReadProfileString(store, kStoreSection, "35." + std::to_string(5000 + i)).value_or(""),
                  second_values[static_cast<size_t>(i)]);
    }
    EXPECT_EQ(ReadProfileKeys(store, kStoreSection).size(), 2U * kPartitionsPerSession);
}

}  // namespace
}  // namespace korvane
