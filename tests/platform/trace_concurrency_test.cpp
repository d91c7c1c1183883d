// Trace lines written from many threads at once reach the file whole.

#include "platform/trace.h"
#include "tests/fixtures/temp_dir.h"
#include "tests/platform/test_files.h"

#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <vector>

namespace korvane {
namespace {

constexpr int kThreads = 4;
constexpr int kLines = 200;
const std::string kPayload(300, 'x');

void WriteLinesFromThreads() {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                KTRACE("thread %d line %d %s\n", t, i, kPayload.c_str());
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
}

TEST(TraceConcurrency, EveryLineArrivesWhole) {
    testing::TempDir dir;
    const std::string file = dir.File("trace.log");
    {
        testing::ScopedEnv trace_file("KORVANE_TRACE_FILE", file);
        TraceReconfigure();
        WriteLinesFromThreads();
    }
    TraceReconfigure();

    std::istringstream lines(testing::ReadBytes(file));
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        ASSERT_TRUE(line.starts_with("thread ") && line.ends_with(" " + kPayload)) << line;
    }
    EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace
}  // namespace korvane
