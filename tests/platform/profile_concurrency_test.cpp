// Many threads on one profile: no write is lost and no reader sees a half-written file.

#include "platform/profile.h"
#include "tests/fixtures/temp_dir.h"
#include "tests/platform/test_files.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace korvane {
namespace {

using testing::TempDir;
using testing::WriteBytes;

constexpr int kWriters = 6;
constexpr int kKeysPerWriter = 20;

std::string KeyOf(int writer, int index) { return std::to_string(writer) + "." + std::to_string(index); }
std::string ValueOf(int writer, int index) { return std::string(192, static_cast<char>('a' + (writer + index) % 6)); }

TEST(ProfileConcurrency, WritersOfDifferentKeysLoseNothing) {
    TempDir dir;
    const std::string path = dir.File("SignedData.ini");
    WriteBytes(path, "; store\n[AppLoad Info]\nfixed=keep\n");

    std::atomic<bool> writing{true};
    std::atomic<int> reader_misses{0};
    std::vector<std::thread> threads;
    // A reader that must always find the key nobody touches: a partly written file would hide it.
    threads.emplace_back([&] {
        while (writing.load()) {
            if (ReadProfileString(path, "AppLoad Info", "fixed") != std::optional<std::string>("keep")) {
                ++reader_misses;
            }
        }
    });
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < kKeysPerWriter; ++i) {
                EXPECT_TRUE(WriteProfileString(path, "AppLoad Info", KeyOf(w, i), ValueOf(w, i)));
                EXPECT_EQ(ReadProfileString(path, "appload info", KeyOf(w, i)), ValueOf(w, i));
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    writing = false;
    for (auto& thread : threads) {
        thread.join();
    }

    EXPECT_EQ(reader_misses.load(), 0);
    for (int w = 0; w < kWriters; ++w) {
        for (int i = 0; i < kKeysPerWriter; ++i) {
            EXPECT_EQ(ReadProfileString(path, "AppLoad Info", KeyOf(w, i)), ValueOf(w, i)) << KeyOf(w, i);
        }
    }
    EXPECT_EQ(ReadProfileKeys(path, "AppLoad Info").size(), 1u + kWriters * kKeysPerWriter);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()),
              1);
}

TEST(ProfileConcurrency, OverwritesOfOneKeyLeaveOneWholeValue) {
    TempDir dir;
    const std::string path = dir.File("SignedData.ini");
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < kKeysPerWriter; ++i) {
                EXPECT_TRUE(WriteProfileString(path, "AppLoad Info", "44", ValueOf(w, i)));
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    const auto value = ReadProfileString(path, "AppLoad Info", "44");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->size(), 192u);
    EXPECT_EQ(value->find_first_not_of(value->front()), std::string::npos);
    EXPECT_EQ(ReadProfileKeys(path, "AppLoad Info"), std::vector<std::string>{"44"});
}

}  // namespace
}  // namespace korvane
