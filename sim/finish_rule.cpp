#include "sim/finish_rule.h"

namespace korvane::sim {

std::string_view FinishReason(const TerminalStatus& status, std::chrono::steady_clock::time_point now,
                              std::chrono::milliseconds idle) {
    if (!status.plugged) {
        return "unplugged";
    }
    if (status.answering) {
        return {};
    }
    if (status.check_sp) {
        return "check-sp";
    }
    if (status.reset) {
        return "reset";
    }
    if (status.received_any && now - status.last_activity >= idle) {
        return "idle";
    }
    return {};
}

}  // namespace korvane::sim
