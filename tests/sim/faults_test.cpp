#include "sim/faults.h"

#include <gtest/gtest.h>

namespace korvane::sim {
namespace {

TEST(ParseFaultRule, ReadsKindValueAndSelectors) {
    FaultRule rule;
    std::string error;
    ASSERT_TRUE(ParseFaultRule("port=3:silent", rule, error)) << error;
    EXPECT_EQ(rule.kind, FaultKind::kSilent);
    EXPECT_EQ(rule.port, 3);

    ASSERT_TRUE(ParseFaultRule("remote-error=flash busy:cmd=36:nth=2", rule, error)) << error;
    EXPECT_EQ(rule.kind, FaultKind::kRemoteError);
    EXPECT_EQ(rule.text, "flash busy");
    EXPECT_EQ(rule.cmd, 36U);
    EXPECT_EQ(rule.nth, 2U);
    EXPECT_EQ(rule.port, 0);

    ASSERT_TRUE(ParseFaultRule("remote-error:packet=4", rule, error)) << error;
    EXPECT_EQ(rule.text, "injected error");
    EXPECT_EQ(rule.packet, 4U);

    ASSERT_TRUE(ParseFaultRule("noise", rule, error)) << error;
    EXPECT_EQ(rule.value, 16U);
    ASSERT_TRUE(ParseFaultRule("delay=2500:text=GOTO", rule, error)) << error;
    EXPECT_EQ(rule.value, 2500U);
    EXPECT_EQ(rule.text_command, "GOTO");
    ASSERT_TRUE(ParseFaultRule("port=2:pace=115200", rule, error)) << error;
    EXPECT_EQ(rule.kind, FaultKind::kPace);
    EXPECT_EQ(rule.value, 115200U);
    ASSERT_TRUE(ParseFaultRule("unplug-at:packet=40", rule, error)) << error;
}

TEST(ParseFaultRule, RefusesWhatItCannotMean) {
    const char* const bad[] = {
        "",                       // no kind
        "port=3",                 // no kind
        "explode",                // unknown kind
        "silent:cmd=x",           // not a number
        "silent:cmd=",            // empty number
        "silent:cmd=-1",
        "silent:packet=0",        // counted from 1
        "silent:port=0",
        "silent:nth=2",           // nth without cmd
        "silent:cmd=1:text=READ", // packet and text at once
        "silent:text=HELLO",      // not a text command
        "silent:colour=red",      // unknown selector
        "delay",                  // needs a value
        "delay=0",
        "delay=abc",
        "noise=0",
        "noise=99999",
        "cut=5",                  // takes no value
        "unplug-at",              // needs a selector
        "pace=9600:cmd=0",        // pace is per terminal
        "app-running:text=CHECK", // packets only
        "silent:delay=5",         // two kinds
    };
    for (const char* rule_text : bad) {
        FaultRule rule;
        std::string error;
        EXPECT_FALSE(ParseFaultRule(rule_text, rule, error)) << rule_text;
        EXPECT_FALSE(error.empty()) << rule_text;
    }
    FaultRule rule;
    std::string error;
    ASSERT_FALSE(ParseFaultRule("port=2:explode", rule, error));
    EXPECT_NE(error.find("'explode'"), std::string::npos) << error;
}

FaultRule Parsed(const char* rule_text) {
    FaultRule rule;
    std::string error;
    EXPECT_TRUE(ParseFaultRule(rule_text, rule, error)) << rule_text << ": " << error;
    return rule;
}

TEST(RuleSelectsPacket, MatchesCommandOccurrenceAndPacketNumber) {
    const PacketFacts start{1, 0, 1, false};
    const PacketFacts data{2, 0, 2, true};
    const PacketFacts erase{3, 36, 1, false};
    const PacketFacts broken{4, std::nullopt, 0, false};
    struct Case {
        const char* rule_text;
        bool start, data, erase, broken;
    };
    const Case cases[] = {
        {"silent", true, true, true, true},
        {"remote-error:cmd=0", true, true, false, false},
        {"remote-error:cmd=0:nth=2", false, true, false, false},
        {"remote-error:packet=3", false, false, true, false},
        {"remote-error:packet=4", false, false, false, true},
        {"app-running", false, true, false, false},         // image data only
        {"app-running:cmd=0", false, true, false, false},
        {"app-running:cmd=36", false, false, true, false},
        {"app-running:packet=1", true, false, false, false},
        {"delay=5:text=READ", false, false, false, false},  // a text rule
        {"pace=9600", false, false, false, false},
    };
    for (const Case& c : cases) {
        const FaultRule rule = Parsed(c.rule_text);
        EXPECT_EQ(RuleSelectsPacket(rule, start), c.start) << c.rule_text;
        EXPECT_EQ(RuleSelectsPacket(rule, data), c.data) << c.rule_text;
        EXPECT_EQ(RuleSelectsPacket(rule, erase), c.erase) << c.rule_text;
        EXPECT_EQ(RuleSelectsPacket(rule, broken), c.broken) << c.rule_text;
    }
}

TEST(RuleSelectsText, MatchesOnlyTextRulesThatCanApply) {
    EXPECT_TRUE(RuleSelectsText(Parsed("silent"), "READ TUSN"));
    EXPECT_TRUE(RuleSelectsText(Parsed("silent:text=GOTO"), "GOTO FASTBOOT"));
    EXPECT_FALSE(RuleSelectsText(Parsed("silent:text=GOTO"), "READ TUSN"));
    EXPECT_FALSE(RuleSelectsText(Parsed("silent:cmd=5"), "READ TUSN"));
    EXPECT_TRUE(RuleSelectsText(Parsed("unplug-at:text=CHECK"), "CHECK SP"));
    EXPECT_FALSE(RuleSelectsText(Parsed("noise"), "CHECK SP"));
    EXPECT_FALSE(RuleSelectsText(Parsed("remote-error"), "CHECK SP"));
}

TEST(RulesForPort, KeepsRulesForEveryPortAndForThisOne) {
    const std::vector<FaultRule> rules = {Parsed("silent"), Parsed("port=3:cut"), Parsed("port=4:noise")};
    const auto mine = RulesForPort(rules, 3);
    ASSERT_EQ(mine.size(), 2U);
    EXPECT_EQ(mine[0].kind, FaultKind::kSilent);
    EXPECT_EQ(mine[1].kind, FaultKind::kCut);
}

}  // namespace
}  // namespace korvane::sim
