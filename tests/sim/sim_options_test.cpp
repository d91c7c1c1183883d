#include "sim/sim_options.h"

#include <gtest/gtest.h>

#include "sim/finish_rule.h"

namespace korvane::sim {
namespace {

TEST(ParseSimOptions, ReadsEveryOption) {
    SimOptions options;
    std::string error;
    const std::vector<std::string> args = {
        "--ports", "/tmp/p", "--wine-prefix", "/tmp/w", "--count", "4", "--first-port", "3", "--plug-every", "500", "--mode", "loader",
        "--tusn", "00005001QV0010000001", "--desc", "Other", "--version-text", "a\\r\\nb\\r\\nc",
        "--erase-answer", "", "--secure-boot", "enabled", "--key", "k.bin", "--module", "m.so", "--no-verify",
        "--baud", "115200", "--fault", "port=3:silent", "--fault", "remote-error:cmd=35", "--out", "/tmp/o",
        "--unplug-after-finish", "2000", "--idle-finish", "3000", "--keep-running"};
    ASSERT_TRUE(ParseSimOptions(args, options, error)) << error;
    EXPECT_EQ(options.ports_dir, "/tmp/p");
    EXPECT_EQ(options.wine_prefix, "/tmp/w");
    EXPECT_EQ(options.count, 4);
    EXPECT_EQ(options.first_port, 3);
    EXPECT_EQ(options.plug_every_ms, 500U);
    EXPECT_EQ(options.mode, TerminalMode::kLoader);
    EXPECT_EQ(options.tusn, "00005001QV0010000001");
    EXPECT_EQ(options.description, "Other");
    EXPECT_EQ(options.version_text, "a\r\nb\r\nc");
    EXPECT_EQ(options.erase_answer, "");
    EXPECT_FALSE(options.secure_boot_disabled);
    EXPECT_EQ(options.key_file, "k.bin");
    EXPECT_EQ(options.module_path, "m.so");
    EXPECT_FALSE(options.verify);
    EXPECT_EQ(options.baud, 115200U);
    ASSERT_EQ(options.faults.size(), 2U);
    EXPECT_EQ(options.faults[0].port, 3);
    EXPECT_EQ(options.faults[1].kind, FaultKind::kRemoteError);
    EXPECT_EQ(options.out_dir, "/tmp/o");
    EXPECT_EQ(options.unplug_after_finish_ms, 2000U);
    EXPECT_EQ(options.idle_finish_ms, 3000U);
    EXPECT_TRUE(options.keep_running);
}

TEST(ParseSimOptions, DefaultsToOneApplicationTerminalThatVerifies) {
    SimOptions options;
    std::string error;
    ASSERT_TRUE(ParseSimOptions({"--ports", "/tmp/p"}, options, error)) << error;
    EXPECT_EQ(options.count, 1);
    EXPECT_EQ(options.first_port, 1);
    EXPECT_EQ(options.mode, TerminalMode::kApplication);
    EXPECT_EQ(options.description, "Unisoc Usb Serial Port 0");
    EXPECT_TRUE(options.verify);
    EXPECT_EQ(options.baud, 0U);
    EXPECT_EQ(options.idle_finish_ms, kDefaultIdleFinishMs);
}

TEST(ParseSimOptions, RefusesBadArguments) {
    const std::vector<std::vector<std::string>> bad = {
        {"--ports"},
        {"--ports", "/p", "--count", "0"},
        {"--ports", "/p", "--count", "many"},
        {"--ports", "/p", "--mode", "bootrom"},
        {"--ports", "/p", "--secure-boot", "maybe"},
        {"--ports", "/p", "--fault", "explode"},
        {"--ports", "/p", "--fault"},
        {"--ports", "/p", "--frobnicate"},
        {"--ports", "/p", "--baud", "-5"},
        {"--ports", "/p", "--wine-prefix"},
    };
    for (const auto& args : bad) {
        SimOptions options;
        std::string error;
        EXPECT_FALSE(ParseSimOptions(args, options, error)) << args.back();
        EXPECT_FALSE(error.empty()) << args.back();
    }
}

TEST(UnescapeLineBreaks, TurnsBackslashSequencesIntoControlCharacters) {
    EXPECT_EQ(UnescapeLineBreaks("a\\r\\nb"), "a\r\nb");
    EXPECT_EQ(UnescapeLineBreaks("a\\\\r"), "a\\r");
    EXPECT_EQ(UnescapeLineBreaks("a\\x\\"), "a\\x\\");
}

TEST(FinishReason, EndsOnCheckSpResetUnplugOrQuietAfterTraffic) {
    const auto now = std::chrono::steady_clock::now();
    const std::chrono::milliseconds idle(8000);
    TerminalStatus quiet_new{true, false, false, false, false, now - std::chrono::hours(1)};
    TerminalStatus busy{true, true, false, false, false, now - std::chrono::milliseconds(7999)};
    TerminalStatus idle_done{true, true, false, false, false, now - idle};
    TerminalStatus checked{true, true, true, false, false, now};
    TerminalStatus reset{true, true, false, true, false, now};
    TerminalStatus gone{false, true, false, false, false, now};
    TerminalStatus still_answering{true, true, true, false, true, now - idle};
    EXPECT_EQ(FinishReason(quiet_new, now, idle), "");  // never spoken to: still waiting for the tool
    EXPECT_EQ(FinishReason(busy, now, idle), "");
    EXPECT_EQ(FinishReason(idle_done, now, idle), "idle");
    EXPECT_EQ(FinishReason(checked, now, idle), "check-sp");
    EXPECT_EQ(FinishReason(reset, now, idle), "reset");
    EXPECT_EQ(FinishReason(gone, now, idle), "unplugged");
    EXPECT_EQ(FinishReason(still_answering, now, idle), "");  // "OKAY" not yet out
}

}  // namespace
}  // namespace korvane::sim
