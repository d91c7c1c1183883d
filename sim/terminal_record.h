// What a simulated terminal received and kept: every packet in order with its payload
// size and signature result, the plain-text commands, and the stored downloads and
// settings. A plain value; SimTerminal hands out copies under its lock.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korvane::sim {

enum class TerminalMode { kApplication, kLoader };
enum class SignatureResult { kUnchecked, kValid, kInvalid };

std::string_view ModeName(TerminalMode mode);
std::string_view SignatureName(SignatureResult result);

struct ReceivedPacket {
    uint32_t number = 0;                // since plug-in, from 1
    std::optional<uint32_t> cmd;        // absent when the packet was too broken to name it
    uint32_t payload_size = 0;
    SignatureResult signature = SignatureResult::kUnchecked;
    bool accepted = false;              // answered with success
    bool answered = false;              // an answer (or the start of one) was sent
    std::string answer;                 // refusal text, or the answer's data as text
    std::string fault;                  // name of the injected fault, if any
    uint32_t wire_in = 0;               // bytes of the packet on the line, flags and escapes included
    uint32_t wire_out = 0;              // bytes of its answers on the line
};

struct ReceivedText {
    std::string command;         // "READ TUSN", "GOTO FASTBOOT" or "CHECK SP"
    uint32_t after_packets = 0;  // packets received before it
};

struct StoredPartition {
    std::string drive;       // e.g. "C:"
    uint32_t start_addr = 0;
    uint8_t size = 0;
    uint8_t flash_size = 0;
};

struct TerminalRecord {
    std::vector<ReceivedText> texts;    // plain-text commands, in order
    std::vector<ReceivedPacket> packets;
    std::map<uint32_t, std::vector<uint8_t>> images;  // by load address
    std::optional<std::vector<uint8_t>> logo;
    std::optional<std::vector<uint8_t>> audio;
    std::map<std::string, std::vector<uint8_t>> files;  // by target path
    std::vector<StoredPartition> partitions;
    std::vector<std::string> dirs;
    std::optional<std::array<uint32_t, 3>> fs_config;  // type, DMA, baud
    uint32_t erase_count = 0;
    uint32_t download_opened = 0;       // command 48
    std::optional<char> auto_run;       // '1' or '0'
    bool secure_boot_queried = false;
    bool secure_boot_enabled = false;
    bool run_app = false;
    bool check_sp = false;
    bool reset = false;
    std::vector<TerminalMode> mode_changes;

    // Packets of one command, in order.
    std::vector<ReceivedPacket> PacketsOf(uint32_t cmd) const;
    // Visits the texts and packets in the order they arrived; exactly one pointer is set.
    void ForEachInOrder(const std::function<void(const ReceivedText*, const ReceivedPacket*)>& visit) const;
    // The texts and the packets' command numbers ("?" for a broken packet), in order.
    std::vector<std::string> Sequence() const;
};

}  // namespace korvane::sim
