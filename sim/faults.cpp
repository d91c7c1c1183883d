#include "sim/faults.h"

#include <array>
#include <charconv>

namespace korvane::sim {
namespace {

struct KindName {
    FaultKind kind;
    std::string_view name;
};

constexpr std::array<KindName, 8> kKindNames = {{
    {FaultKind::kSilent, "silent"},
    {FaultKind::kDelay, "delay"},
    {FaultKind::kNoise, "noise"},
    {FaultKind::kCut, "cut"},
    {FaultKind::kAppRunning, "app-running"},
    {FaultKind::kRemoteError, "remote-error"},
    {FaultKind::kUnplugAt, "unplug-at"},
    {FaultKind::kPace, "pace"},
}};

constexpr std::array<std::string_view, 3> kTextCommandWords = {"READ", "GOTO", "CHECK"};
constexpr uint32_t kDefaultNoiseBytes = 16;
constexpr std::string_view kDefaultRemoteError = "injected error";

bool ParseNumber(std::string_view text, uint32_t& value) {
    if (text.empty()) {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

const KindName* FindKind(std::string_view name) {
    for (const KindName& entry : kKindNames) {
        if (entry.name == name) {
            return &entry;
        }
    }
    return nullptr;
}

bool IsTextCommandWord(std::string_view word) {
    for (std::string_view known : kTextCommandWords) {
        if (known == word) {
            return true;
        }
    }
    return false;
}

bool ParseSelector(std::string_view key, std::string_view value, bool has_value, FaultRule& rule, std::string& error) {
    if (key == "text") {
        if (!IsTextCommandWord(value)) {
            error = "text= takes READ, GOTO or CHECK";
            return false;
        }
        rule.text_command = std::string(value);
        return true;
    }
    if (key != "port" && key != "cmd" && key != "nth" && key != "packet") {
        error = "unknown fault kind or selector '" + std::string(key) + "'";
        return false;
    }
    uint32_t number = 0;
    if (!has_value || !ParseNumber(value, number)) {
        error = std::string(key) + "= takes a number";
        return false;
    }
    if (key == "port" && number > 0 && number <= 0xFFFF) {
        rule.port = static_cast<int>(number);
    } else if (key == "cmd") {
        rule.cmd = number;
    } else if ((key == "nth" || key == "packet") && number > 0) {
        (key == "nth" ? rule.nth : rule.packet) = number;
    } else {
        error = std::string(key) + "= is out of range";
        return false;
    }
    return true;
}

bool ParseKindValue(std::string_view value, bool has_value, FaultRule& rule, std::string& error) {
    switch (rule.kind) {
    case FaultKind::kDelay:
    case FaultKind::kPace:
        if (!has_value || !ParseNumber(value, rule.value) || rule.value == 0) {
            error = std::string(FaultName(rule.kind)) + " needs a positive number";
            return false;
        }
        return true;
    case FaultKind::kNoise:
        rule.value = kDefaultNoiseBytes;
        if (has_value && (!ParseNumber(value, rule.value) || rule.value == 0 || rule.value > 4096)) {
            error = "noise takes 1 to 4096 bytes";
            return false;
        }
        return true;
    case FaultKind::kRemoteError:
        rule.text = has_value && !value.empty() ? std::string(value) : std::string(kDefaultRemoteError);
        return true;
    default:
        if (has_value) {
            error = std::string(FaultName(rule.kind)) + " takes no value";
            return false;
        }
        return true;
    }
}

bool CheckRule(const FaultRule& rule, std::string& error) {
    const bool packet_selector = rule.cmd || rule.packet;
    if (rule.nth && !rule.cmd) {
        error = "nth= needs cmd=";
    } else if (packet_selector && !rule.text_command.empty()) {
        error = "text= does not go with cmd= or packet=";
    } else if (rule.kind == FaultKind::kUnplugAt && !packet_selector && rule.text_command.empty()) {
        error = "unplug-at needs cmd=, packet= or text=";
    } else if (rule.kind == FaultKind::kPace && (packet_selector || !rule.text_command.empty())) {
        error = "pace takes only port=";
    } else if ((rule.kind == FaultKind::kAppRunning || rule.kind == FaultKind::kRemoteError ||
                rule.kind == FaultKind::kNoise) &&
               !rule.text_command.empty()) {
        error = std::string(FaultName(rule.kind)) + " applies to packets only";
    } else {
        return true;
    }
    return false;
}

}  // namespace

std::string_view FaultName(FaultKind kind) {
    for (const KindName& entry : kKindNames) {
        if (entry.kind == kind) {
            return entry.name;
        }
    }
    return "?";
}

bool ParseFaultRule(std::string_view text, FaultRule& rule, std::string& error) {
    rule = FaultRule{};
    bool have_kind = false;
    while (!text.empty()) {
        const size_t colon = text.find(':');
        const std::string_view item = text.substr(0, colon);
        text = colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
        const size_t equals = item.find('=');
        const bool has_value = equals != std::string_view::npos;
        const std::string_view key = item.substr(0, equals);
        const std::string_view value = has_value ? item.substr(equals + 1) : std::string_view();
        if (const KindName* kind = FindKind(key)) {
            if (have_kind) {
                error = "one fault kind per --fault";
                return false;
            }
            have_kind = true;
            rule.kind = kind->kind;
            if (!ParseKindValue(value, has_value, rule, error)) {
                return false;
            }
        } else if (!ParseSelector(key, value, has_value, rule, error)) {
            return false;
        }
    }
    if (!have_kind) {
        error = "no fault kind (silent, delay, noise, cut, app-running, remote-error, unplug-at, pace)";
        return false;
    }
    return CheckRule(rule, error);
}

bool RuleSelectsPacket(const FaultRule& rule, const PacketFacts& facts) {
    if (rule.kind == FaultKind::kPace || !rule.text_command.empty()) {
        return false;
    }
    if (rule.packet && facts.number != *rule.packet) {
        return false;
    }
    std::optional<uint32_t> cmd = rule.cmd;
    if (rule.kind == FaultKind::kAppRunning && !rule.cmd && !rule.packet) {
        cmd = 0;  // by default the terminal says so to the image data
    }
    if (cmd) {
        if (facts.cmd != cmd) {
            return false;
        }
        if (rule.kind == FaultKind::kAppRunning && *cmd == 0 && !facts.block_data) {
            return false;
        }
        if (rule.nth && facts.nth_of_cmd != *rule.nth) {
            return false;
        }
    }
    return true;
}

bool RuleSelectsText(const FaultRule& rule, std::string_view command) {
    switch (rule.kind) {
    case FaultKind::kSilent:
    case FaultKind::kDelay:
    case FaultKind::kCut:
    case FaultKind::kUnplugAt:
        break;
    default:
        return false;
    }
    if (rule.cmd || rule.packet) {
        return false;
    }
    return rule.text_command.empty() || command.starts_with(rule.text_command);
}

std::vector<FaultRule> RulesForPort(const std::vector<FaultRule>& rules, int port) {
    std::vector<FaultRule> mine;
    for (const FaultRule& rule : rules) {
        if (rule.port == 0 || rule.port == port) {
            mine.push_back(rule);
        }
    }
    return mine;
}

}  // namespace korvane::sim
