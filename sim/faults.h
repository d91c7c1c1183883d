// Faults a simulated terminal can be told to show, and the text form they are given in:
//   [port=N:]KIND[=VALUE][:SELECTOR...]     items separated by ':'
// KIND:  silent             no answer to the selected packets or texts (all, without selector)
//        delay=MS           each selected answer leaves MS milliseconds late
//        noise[=N]          N bytes (default 16) of noise before the opening flag of a frame answer
//        cut                half of the selected answer is sent, then the terminal says nothing more
//        app-running        status 0 with "APP is Running"; without selector the image data packets
//        remote-error[=TEXT] status 0 with TEXT (default "injected error")
//        unplug-at          the terminal is unplugged when the selected packet or text arrives
//        pace=BAUD          bytes take their wire time at BAUD, 8N1, in both directions
// SELECTOR: cmd=C (packets of command C; for app-running cmd=0 means the image data packets),
//        nth=K (with cmd: the K-th packet of that command), packet=K (the K-th packet since
//        the terminal was plugged, counted from 1 in loader mode), text=WORD (the plain-text
//        command that begins with WORD: READ, GOTO or CHECK).
// Thread safety: pure values and functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::sim {

enum class FaultKind { kSilent, kDelay, kNoise, kCut, kAppRunning, kRemoteError, kUnplugAt, kPace };

struct FaultRule {
    FaultKind kind = FaultKind::kSilent;
    int port = 0;  // 0: every terminal
    std::optional<uint32_t> cmd;
    std::optional<uint32_t> nth;
    std::optional<uint32_t> packet;
    std::string text_command;  // first word of a plain-text command
    uint32_t value = 0;        // milliseconds, noise bytes or baud
    std::string text;          // remote-error text
};

// What a rule is matched against: one received packet.
struct PacketFacts {
    uint32_t number = 0;                 // since plug-in, from 1
    std::optional<uint32_t> cmd;         // absent for a packet too broken to name its command
    uint32_t nth_of_cmd = 0;             // how many packets of this command so far, this one included
    bool block_data = false;             // a data packet of a block transfer
};

inline constexpr std::string_view kAppRunningText = "APP is Running";

bool ParseFaultRule(std::string_view text, FaultRule& rule, std::string& error);
bool RuleSelectsPacket(const FaultRule& rule, const PacketFacts& facts);
bool RuleSelectsText(const FaultRule& rule, std::string_view command);
// The rules that apply to one terminal's port.
std::vector<FaultRule> RulesForPort(const std::vector<FaultRule>& rules, int port);
std::string_view FaultName(FaultKind kind);

}  // namespace korvane::sim
