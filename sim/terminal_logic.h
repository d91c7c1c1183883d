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
#include <string_view>
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
    // One received frame on its way through the frame handler.
    struct Exchange {
        ReceivedPacket entry;  // what the record keeps of it
        PacketFacts facts;     // what fault rules select it by
        LinkPacket packet;
        bool intact = false;   // passed the structural checks
        std::string refusal;   // why not, when it did not
    };
    // One command of the loader: the shape its payload must have and what it does.
    struct Command {
        uint32_t cmd;
        bool (*check)(std::span<const uint8_t> payload);  // null: the handler judges the payload
        std::string_view refusal;                         // the answer to a payload that fails check
        Outcome (TerminalLogic::*handle)(const LinkPacket& packet, Reaction& out);
    };
    static const Command kCommands[];

    static Outcome Refusal(std::string_view text);
    static Outcome Accepted(std::string_view data);

    void ReceiveAppText(std::span<const uint8_t> bytes, Reaction& out);
    void ReceiveLoaderBytes(std::span<const uint8_t> bytes, Reaction& out);
    void ReceiveLoaderText(std::span<const uint8_t> bytes, Reaction& out);
    void HandleText(std::string_view command, Reaction& out);
    // Check, fault, dispatch, answer.
    void HandleFrame(const StreamPiece& piece, Reaction& out);
    Exchange ReadFrame(const StreamPiece& piece);
    // An unplug or silence chosen for this packet: true when the packet gets no answer.
    bool DropsPacket(Exchange& exchange, Reaction& out);
    // The signature, then the refusals faults inject, then the command itself.
    Outcome Judge(Exchange& exchange, Reaction& out);
    Outcome Dispatch(const LinkPacket& packet, Reaction& out);
    void AnswerFrame(Exchange& exchange, const Outcome& outcome, Reaction& out);
    // Frames the answers to a packet (facts given) or sends a text reply as it is, with
    // the noise, delay and cut faults that select it; their names go to fault_names.
    void SendShaped(const std::vector<std::vector<uint8_t>>& contents, const PacketFacts* facts,
                    std::string_view command, Reaction& out, std::string& fault_names);

    Outcome Version(const LinkPacket& packet, Reaction& out);
    Outcome OpenDownload(const LinkPacket& packet, Reaction& out);
    Outcome RunApp(const LinkPacket& packet, Reaction& out);
    Outcome AutoRun(const LinkPacket& packet, Reaction& out);
    Outcome Reset(const LinkPacket& packet, Reaction& out);
    Outcome SecureBootState(const LinkPacket& packet, Reaction& out);
    Outcome EnableSecureBoot(const LinkPacket& packet, Reaction& out);
    Outcome Partition(const LinkPacket& packet, Reaction& out);
    Outcome Erase(const LinkPacket& packet, Reaction& out);
    Outcome Directory(const LinkPacket& packet, Reaction& out);
    Outcome FsConfig(const LinkPacket& packet, Reaction& out);
    Outcome Image(const LinkPacket& packet, Reaction& out);
    Outcome Logo(const LinkPacket& packet, Reaction& out);
    Outcome Audio(const LinkPacket& packet, Reaction& out);
    Outcome File(const LinkPacket& packet, Reaction& out);
    Outcome Block(const LinkPacket& packet, BlockReceiver& receiver, Reaction& out);

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
