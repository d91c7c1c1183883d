#include "sim/terminal_record.h"

namespace korvane::sim {

std::string_view ModeName(TerminalMode mode) { return mode == TerminalMode::kLoader ? "loader" : "app"; }

std::string_view SignatureName(SignatureResult result) {
    switch (result) {
    case SignatureResult::kValid:
        return "valid";
    case SignatureResult::kInvalid:
        return "invalid";
    case SignatureResult::kUnchecked:
        break;
    }
    return "unchecked";
}

std::vector<ReceivedPacket> TerminalRecord::PacketsOf(uint32_t cmd) const {
    std::vector<ReceivedPacket> found;
    for (const ReceivedPacket& packet : packets) {
        if (packet.cmd == cmd) {
            found.push_back(packet);
        }
    }
    return found;
}

void TerminalRecord::ForEachInOrder(
    const std::function<void(const ReceivedText*, const ReceivedPacket*)>& visit) const {
    size_t next_text = 0;
    auto texts_before = [&](size_t packets_so_far) {
        while (next_text < texts.size() && texts[next_text].after_packets <= packets_so_far) {
            visit(&texts[next_text++], nullptr);
        }
    };
    for (size_t i = 0; i < packets.size(); ++i) {
        texts_before(i);
        visit(nullptr, &packets[i]);
    }
    texts_before(packets.size());
}

std::vector<std::string> TerminalRecord::Sequence() const {
    std::vector<std::string> sequence;
    ForEachInOrder([&](const ReceivedText* text, const ReceivedPacket* packet) {
        if (text != nullptr) {
            sequence.push_back(text->command);
        } else {
            sequence.push_back(packet->cmd ? std::to_string(*packet->cmd) : std::string("?"));
        }
    });
    return sequence;
}

}  // namespace korvane::sim
