// The trace sink: where lines go, and that nothing is formatted while it is off.

#include "platform/trace.h"
#include "tests/fixtures/temp_dir.h"
#include "tests/platform/test_files.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using testing::ScopedEnv;

class TraceTest : public ::testing::Test {
protected:
    void TearDown() override { TraceReconfigure(); }  // back to the environment's own setting
    testing::TempDir dir_;
};

int formatted_arguments = 0;
int CountedArgument() {
    ++formatted_arguments;
    return 1;
}

TEST_F(TraceTest, OffUnlessAskedFor) {
    struct Setting {
        std::optional<std::string> flag;
        bool on;
    };
    ScopedEnv no_file("KORVANE_TRACE_FILE", std::nullopt);
    for (const Setting& s : {Setting{std::nullopt, false}, Setting{"0", false}, Setting{"yes", false},
                             Setting{"", false}, Setting{"1", true}}) {
        ScopedEnv flag("KORVANE_TRACE", s.flag);
        TraceReconfigure();
        EXPECT_EQ(TraceEnabled(), s.on) << s.flag.value_or("(unset)");
    }
}

TEST_F(TraceTest, OffEvaluatesNoArguments) {
    ScopedEnv no_file("KORVANE_TRACE_FILE", std::nullopt);
    ScopedEnv no_flag("KORVANE_TRACE", std::nullopt);
    TraceReconfigure();
    formatted_arguments = 0;
    KTRACE("dataSign, psData->cmd = %d\n", CountedArgument());
    EXPECT_EQ(formatted_arguments, 0);
}

TEST_F(TraceTest, FileCollectsFormattedAndPlainLines) {
    const std::string file = dir_.File("trace.log");
    testing::WriteBytes(file, "earlier run\n");
    ScopedEnv trace_file("KORVANE_TRACE_FILE", file);
    TraceReconfigure();
    ASSERT_TRUE(TraceEnabled());
    formatted_arguments = 0;
    KTRACE("dataSign, psData->cmd = %d", CountedArgument());
    TraceWrite("\n");
    TraceFormat("check_response::t0, %s %u\n", "ok", 7u);
    EXPECT_EQ(formatted_arguments, 1);
    EXPECT_EQ(testing::ReadBytes(file), "earlier run\ndataSign, psData->cmd = 1\ncheck_response::t0, ok 7\n");
}

TEST_F(TraceTest, UnwritableFileLeavesTracingOff) {
    ScopedEnv trace_file("KORVANE_TRACE_FILE", dir_.File("no/such/dir/trace.log"));
    TraceReconfigure();
    EXPECT_FALSE(TraceEnabled());
    TraceFormat("dropped %d\n", 1);
}

}  // namespace
}  // namespace korvane
