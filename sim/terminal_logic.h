// The simulated terminal's behaviour, without I/O: bytes in, answers and events out.
// Application mode answers the plain-text commands; loader mode judges every frame
// (CRC, length, signature), answers it and keeps what the transfers carry. Faults of
// the terminal's plan change the answers here; the I/O side only honours their delay
// and the unplug.
// Thread safety: one TerminalLogic is driven by one thread; SimTerminal guards it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/block_receiver.h"
#include "sim/faults.h"
#include "sim/file_receiver.h"
#include "sim/packet_check.h"
#include "sim/signature_check.h"
#include "sim/terminal_record.h"
#include "sim/wire.h"

namespace korvane::sim {

inline constexpr std::string_view kDefaultVersionText = "QV41C\r\nLOADER\r\nQV41C_LD_V1.0.0\r\n";
inline constexpr std::string_view kDefaultEraseFirstAnswer = "Equal size";
inline constexpr std::string_view kSecureBootDisabledText = "Secure boot disable!";
inline constexpr std::string_view kSecureBootEnabledText = "Secure boot enable!";

// A 20-character TUSN "000050..." whose last seven digits are the port number.
std::string DefaultTusn(int port);

struct TerminalSettings {
    TerminalMode start_mode = TerminalMode::kApplication;
    std::string tusn = DefaultTusn(1);
    std::string version_text = std::string(kDefaultVersionText);
    // First answer to an erase; empty means the erase has a single answer.
    std::string erase_first_answer = std::string(kDefaultEraseFirstAnswer);
    // Command 33 reports secure boot disabled (until command 31 enables it).
    bool secure_boot_disabled = true;
    std::vector<FaultRule> faults;  // this terminal's rules only
};

struct Answer {
    enum class Kind { kBytes, kUnplug };
    Kind kind = Kind::kBytes;
    std::vector<uint8_t> bytes;  // what goes on the wire
    uint32_t delay_ms = 0;       // leaves this long after the previous answer or the request
};

struct TerminalEvent {
    std::string kind;    // "mode", "image", "logo", "audio", "file", "refused", ...
    std::string detail;
};

struct Reaction {
    std::vector<Answer> answers;
    std::vector<TerminalEvent> events;
};

class TerminalLogic {
public:
    // Without a check, signatures are not judged and every packet counts as unchecked.
    TerminalLogic(TerminalSettings settings, const SignatureCheck* check);

    void Receive(std::span<const uint8_t> bytes, Reaction& out);

    TerminalMode Mode() const { return mode_; }
    // After a "cut" fault the terminal ignores everything.
    bool Muted() const { return muted_; }
    const TerminalRecord& Record() const { return record_; }

private:
    // The outcome of one command before faults shape how it leaves.
    struct Outcome {
        bool accepted = false;
        std::string text;                        // refusal, or data shown in the record
        std::vector<std::vector<uint8_t>> contents;  // answer contents, usually one
        std::optional<TerminalMode> next_mode;       // taken once the answer is out
    };

    void ReceiveAppText(std::span<const uint8_t> bytes, Reaction& out);
    void ReceiveLoaderBytes(std::span<const uint8_t> bytes, Reaction& out);
    void ReceiveLoaderText(std::span<const uint8_t> bytes, Reaction& out);
    void HandleText(std::string_view command, Reaction& out);
    void HandleFrame(const StreamPiece& piece, Reaction& out);
    // Frames the answers to a packet (facts given) or sends a text reply as it is, with
    // the noise, delay and cut faults that select it; their names go to fault_names.
    void SendShaped(const std::vector<std::vector<uint8_t>>& contents, const PacketFacts* facts,
                    std::string_view command, Reaction& out, std::string& fault_names);
    Outcome Execute(const LinkPacket& packet, Reaction& out);
    Outcome ExecuteBlock(const LinkPacket& packet, BlockReceiver& receiver, Reaction& out);
    Outcome ExecuteFile(const LinkPacket& packet, Reaction& out);
    Outcome ExecuteRecord(const LinkPacket& packet, Reaction& out);
    const FaultRule* PacketFault(FaultKind kind, const PacketFacts& facts) const;
    const FaultRule* TextFault(FaultKind kind, std::string_view command) const;
    void ChangeMode(TerminalMode mode, Reaction& out);

    TerminalSettings settings_;
    const SignatureCheck* check_;
    TerminalMode mode_;
    bool muted_ = false;
    TerminalRecord record_;
    FrameCollector collector_;
    std::string app_text_;
    std::string loader_text_;
    uint32_t packet_count_ = 0;
    std::map<uint32_t, uint32_t> cmd_counts_;
    BlockReceiver image_receiver_{true};
    BlockReceiver logo_receiver_{false};
    BlockReceiver audio_receiver_{false};
    FileReceiver file_receiver_;
};

}  // namespace korvane::sim
