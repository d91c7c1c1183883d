#include "sim/terminal_logic.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace korvane::sim {
namespace {

constexpr std::string_view kReadTusn = "READ TUSN";
constexpr std::string_view kGotoFastboot = "GOTO FASTBOOT";
constexpr std::string_view kCheckSp = "CHECK SP";
constexpr std::string_view kOkay = "OKAY";
constexpr std::array<std::string_view, 3> kAppCommands = {kReadTusn, kGotoFastboot, kCheckSp};
constexpr std::array<std::string_view, 1> kLoaderCommands = {kCheckSp};

// The loader's commands, by the number a packet carries at byte 264.
enum LinkCommand : uint32_t {
    kImage = 0,
    kRunApp = 1,
    kAutoRun = 2,
    kVersion = 5,
    kLogo = 11,
    kReset = 25,
    kEnableSecureBoot = 31,
    kSecureBootState = 33,
    kPartition = 35,
    kErase = 36,
    kFile = 37,
    kDirectory = 40,
    kFsConfig = 43,
    kAudio = 44,
    kOpenDownload = 48,
};

constexpr size_t kRecordSize = 260;
constexpr size_t kRecordTextSize = 256;
constexpr size_t kSecureBootPayload = 16;
// Erase record: "::" and NULs, then the code "904731" and two NULs.
constexpr std::array<uint8_t, 12> kEraseHead = {':', ':', 0, 0, '9', '0', '4', '7', '3', '1', 0, 0};
constexpr std::string_view kBadPayload = "bad payload";
constexpr std::string_view kBadRecord = "bad record";

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

bool AllZero(std::span<const uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

bool IsText(std::span<const uint8_t> payload, std::string_view text) {
    return payload.size() == text.size() && std::equal(payload.begin(), payload.end(), text.begin());
}

// The NUL-terminated text at the start of a field; false when the field has no NUL.
bool FieldText(std::span<const uint8_t> field, std::string& text) {
    const auto nul = std::find(field.begin(), field.end(), uint8_t{0});
    if (nul == field.end()) {
        return false;
    }
    text.assign(field.begin(), nul);
    return true;
}

std::string Hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// Bytes that never contain a flag, varied with the seed so that two answers differ.
std::vector<uint8_t> Noise(size_t count, uint32_t seed) {
    std::vector<uint8_t> noise(count);
    uint32_t state = seed * 2654435761U + 12345U;
    for (uint8_t& byte : noise) {
        state = state * 1103515245U + 12345U;
        byte = static_cast<uint8_t>(state >> 16);
        if (byte == kWireFlag) {
            byte = 0x7F;
        }
    }
    return noise;
}

// Finds the earliest of the commands in buffer; on success the buffer keeps what
// follows the command. Without a match it keeps only a tail that could begin one.
bool TakeCommand(std::string& buffer, std::span<const std::string_view> commands, std::string_view& found) {
    size_t best = std::string::npos;
    for (std::string_view command : commands) {
        const size_t at = buffer.find(command);
        if (at < best) {
            best = at;
            found = command;
        }
    }
    if (best == std::string::npos) {
        size_t longest = 0;
        for (std::string_view command : commands) {
            longest = std::max(longest, command.size());
        }
        if (buffer.size() >= longest) {
            buffer.erase(0, buffer.size() - (longest - 1));
        }
        return false;
    }
    buffer.erase(0, best + found.size());
    return true;
}

void AddFaultName(std::string& names, FaultKind kind) {
    if (!names.empty()) {
        names += ',';
    }
    names += FaultName(kind);
}

bool IsBlockCommand(uint32_t cmd) { return cmd == kImage || cmd == kLogo || cmd == kAudio; }

// ---- the shapes of the commands' payloads ----

bool NoPayload(std::span<const uint8_t> payload) { return payload.empty(); }
bool ZeroText(std::span<const uint8_t> payload) { return IsText(payload, "0"); }
bool ZeroOrOneText(std::span<const uint8_t> payload) { return IsText(payload, "0") || IsText(payload, "1"); }
bool SecureBootQuery(std::span<const uint8_t> payload) {
    return payload.size() == kSecureBootPayload && AllZero(payload);
}

// Drive name (NUL-terminated in four bytes), start address, size and flash size; zeros after.
bool PartitionRecord(std::span<const uint8_t> payload) {
    std::string drive;
    return payload.size() == kRecordSize && FieldText(payload.first(4), drive) && !drive.empty() &&
           AllZero(payload.subspan(10));
}

bool EraseRecord(std::span<const uint8_t> payload) {
    return payload.size() == kRecordSize && std::equal(kEraseHead.begin(), kEraseHead.end(), payload.begin()) &&
           AllZero(payload.subspan(kEraseHead.size()));
}

// A NUL-terminated path in the first 256 bytes and nothing after it.
bool DirectoryRecord(std::span<const uint8_t> payload) {
    std::string path;
    return payload.size() == kRecordSize && FieldText(payload.first(kRecordTextSize), path) && !path.empty() &&
           AllZero(payload.subspan(path.size()));
}

// Type, DMA and baud; zeros after.
bool FsConfigRecord(std::span<const uint8_t> payload) {
    return payload.size() == kRecordSize && AllZero(payload.subspan(12));
}

}  // namespace

std::string DefaultTusn(int port) {
    char text[32];
    std::snprintf(text, sizeof text, "0000500141K01%07d", port % 10000000);
    return text;
}

TerminalLogic::TerminalLogic(TerminalSettings settings, const SignatureCheck* check)
    : settings_(std::move(settings)), check_(check), mode_(settings_.start_mode) {}

void TerminalLogic::Receive(std::span<const uint8_t> bytes, Reaction& out) {
    if (muted_) {
        return;
    }
    if (mode_ == TerminalMode::kApplication) {
        ReceiveAppText(bytes, out);
    } else {
        ReceiveLoaderBytes(bytes, out);
    }
}

void TerminalLogic::ReceiveAppText(std::span<const uint8_t> bytes, Reaction& out) {
    // The application reads plain text; frames sent to it are just more bytes it ignores.
    app_text_.append(bytes.begin(), bytes.end());
    std::string_view command;
    while (!muted_ && TakeCommand(app_text_, kAppCommands, command)) {
        std::string rest = std::move(app_text_);
        app_text_.clear();
        HandleText(command, out);
        if (mode_ == TerminalMode::kLoader) {
            ReceiveLoaderBytes(std::span(reinterpret_cast<const uint8_t*>(rest.data()), rest.size()), out);
            return;
        }
        app_text_ = std::move(rest);
    }
}

void TerminalLogic::ReceiveLoaderBytes(std::span<const uint8_t> bytes, Reaction& out) {
    std::vector<StreamPiece> pieces;
    collector_.Feed(bytes, pieces);
    for (const StreamPiece& piece : pieces) {
        if (muted_) {
            return;
        }
        if (mode_ == TerminalMode::kApplication) {
            // An earlier packet sent the terminal into its application.
            if (piece.kind == StreamPiece::Kind::kText) {
                ReceiveAppText(piece.bytes, out);
            }
        } else if (piece.kind == StreamPiece::Kind::kText) {
            ReceiveLoaderText(piece.bytes, out);
        } else {
            HandleFrame(piece, out);
        }
    }
}

void TerminalLogic::ReceiveLoaderText(std::span<const uint8_t> bytes, Reaction& out) {
    loader_text_.append(bytes.begin(), bytes.end());
    std::string_view command;
    while (!muted_ && TakeCommand(loader_text_, kLoaderCommands, command)) {
        HandleText(command, out);
    }
}

void TerminalLogic::HandleText(std::string_view command, Reaction& out) {
    record_.texts.push_back({std::string(command), packet_count_});
    if (TextFault(FaultKind::kUnplugAt, command) != nullptr) {
        out.events.push_back({"fault", "unplug-at " + std::string(command)});
        out.answers.push_back({Answer::Kind::kUnplug, {}, 0});
        muted_ = true;
        return;
    }
    if (TextFault(FaultKind::kSilent, command) != nullptr) {
        out.events.push_back({"fault", "silent " + std::string(command)});
        return;
    }
    std::string_view reply = kOkay;
    if (command == kReadTusn) {
        reply = settings_.tusn;
    } else if (command == kCheckSp) {
        record_.check_sp = true;
        out.events.push_back({"check-sp", ""});
    }
    std::string faults;
    SendShaped({Bytes(reply)}, nullptr, command, out, faults);
    if (!faults.empty()) {
        out.events.push_back({"fault", faults + " " + std::string(command)});
    }
    if (command == kGotoFastboot) {
        ChangeMode(TerminalMode::kLoader, out);
    }
}

const TerminalLogic::Command TerminalLogic::kCommands[] = {
    {kVersion, NoPayload, kBadPayload, &TerminalLogic::Version},
    {kOpenDownload, ZeroText, kBadPayload, &TerminalLogic::OpenDownload},
    {kRunApp, NoPayload, kBadPayload, &TerminalLogic::RunApp},
    {kAutoRun, ZeroOrOneText, kBadPayload, &TerminalLogic::AutoRun},
    {kReset, ZeroText, kBadPayload, &TerminalLogic::Reset},
    {kSecureBootState, SecureBootQuery, kBadPayload, &TerminalLogic::SecureBootState},
    {kEnableSecureBoot, SecureBootQuery, kBadPayload, &TerminalLogic::EnableSecureBoot},
    {kPartition, PartitionRecord, kBadRecord, &TerminalLogic::Partition},
    {kErase, EraseRecord, kBadRecord, &TerminalLogic::Erase},
    {kDirectory, DirectoryRecord, kBadRecord, &TerminalLogic::Directory},
    {kFsConfig, FsConfigRecord, kBadRecord, &TerminalLogic::FsConfig},
    {kImage, nullptr, {}, &TerminalLogic::Image},
    {kLogo, nullptr, {}, &TerminalLogic::Logo},
    {kAudio, nullptr, {}, &TerminalLogic::Audio},
    {kFile, nullptr, {}, &TerminalLogic::File},
};

TerminalLogic::Outcome TerminalLogic::Refusal(std::string_view text) {
    return {false, std::string(text), {FailureAnswer(text)}, {}};
}

TerminalLogic::Outcome TerminalLogic::Accepted(std::string_view data) {
    return {true, std::string(data), {SuccessAnswer(data)}, {}};
}

void TerminalLogic::HandleFrame(const StreamPiece& piece, Reaction& out) {
    Exchange exchange = ReadFrame(piece);
    if (DropsPacket(exchange, out)) {
        return;
    }
    const Outcome outcome = exchange.intact ? Judge(exchange, out) : Refusal(exchange.refusal);
    AnswerFrame(exchange, outcome, out);
}

TerminalLogic::Exchange TerminalLogic::ReadFrame(const StreamPiece& piece) {
    Exchange exchange;
    ReceivedPacket& entry = exchange.entry;
    entry.number = ++packet_count_;
    exchange.facts.number = entry.number;
    const bool framed = piece.kind == StreamPiece::Kind::kFrame;
    entry.wire_in = static_cast<uint32_t>(piece.bytes.size() + (framed ? 2 : 0));
    exchange.refusal = "frame too long";
    exchange.intact = framed && CheckLinkPacket(piece.bytes, exchange.packet, exchange.refusal);
    if (exchange.intact) {
        const LinkPacket& packet = exchange.packet;
        entry.cmd = packet.cmd;
        entry.payload_size = static_cast<uint32_t>(packet.Payload().size());
        exchange.facts.cmd = packet.cmd;
        exchange.facts.nth_of_cmd = ++cmd_counts_[packet.cmd];
        exchange.facts.block_data = IsBlockCommand(packet.cmd) && BlockReceiver::IsDataPayload(packet.Payload());
    }
    return exchange;
}

bool TerminalLogic::DropsPacket(Exchange& exchange, Reaction& out) {
    for (FaultKind lost : {FaultKind::kUnplugAt, FaultKind::kSilent}) {
        if (PacketFault(lost, exchange.facts) == nullptr) {
            continue;
        }
        ReceivedPacket& entry = exchange.entry;
        entry.fault = FaultName(lost);
        out.events.push_back({"fault", entry.fault + " at packet " + std::to_string(entry.number)});
        record_.packets.push_back(std::move(entry));
        if (lost == FaultKind::kUnplugAt) {
            out.answers.push_back({Answer::Kind::kUnplug, {}, 0});
            muted_ = true;
        }
        return true;
    }
    return false;
}

TerminalLogic::Outcome TerminalLogic::Judge(Exchange& exchange, Reaction& out) {
    const LinkPacket& packet = exchange.packet;
    if (check_ != nullptr) {
        exchange.entry.signature = check_->Verify(packet.SignedRegion(), packet.Signature())
                                       ? SignatureResult::kValid
                                       : SignatureResult::kInvalid;
    }
    if (exchange.entry.signature == SignatureResult::kInvalid) {
        return Refusal("bad signature");
    }
    if (const FaultRule* rule = PacketFault(FaultKind::kAppRunning, exchange.facts)) {
        AddFaultName(exchange.entry.fault, rule->kind);
        Outcome outcome = Refusal(kAppRunningText);
        if (packet.cmd == kRunApp) {
            outcome.next_mode = TerminalMode::kApplication;  // the application is what answered
        }
        return outcome;
    }
    if (const FaultRule* rule = PacketFault(FaultKind::kRemoteError, exchange.facts)) {
        AddFaultName(exchange.entry.fault, rule->kind);
        return Refusal(rule->text);
    }
    return Dispatch(packet, out);
}

TerminalLogic::Outcome TerminalLogic::Dispatch(const LinkPacket& packet, Reaction& out) {
    for (const Command& command : kCommands) {
        if (command.cmd != packet.cmd) {
            continue;
        }
        if (command.check != nullptr && !command.check(packet.Payload())) {
            return Refusal(command.refusal);
        }
        return (this->*command.handle)(packet, out);
    }
    return Refusal("unknown command");
}

void TerminalLogic::AnswerFrame(Exchange& exchange, const Outcome& outcome, Reaction& out) {
    ReceivedPacket& entry = exchange.entry;
    entry.accepted = outcome.accepted;
    entry.answer = outcome.text;
    entry.answered = true;
    if (!outcome.accepted) {
        std::string detail = "packet " + std::to_string(entry.number);
        if (entry.cmd) {
            detail += " cmd " + std::to_string(*entry.cmd);
        }
        out.events.push_back({"refused", detail + ": " + outcome.text});
    }
    const size_t answers_before = out.answers.size();
    SendShaped(outcome.contents, &exchange.facts, {}, out, entry.fault);
    for (size_t i = answers_before; i < out.answers.size(); ++i) {
        entry.wire_out += static_cast<uint32_t>(out.answers[i].bytes.size());
    }
    record_.packets.push_back(std::move(entry));
    if (outcome.next_mode) {
        ChangeMode(*outcome.next_mode, out);
    }
}

void TerminalLogic::SendShaped(const std::vector<std::vector<uint8_t>>& contents, const PacketFacts* facts,
                               std::string_view command, Reaction& out, std::string& fault_names) {
    auto fault = [&](FaultKind kind) { return facts != nullptr ? PacketFault(kind, *facts) : TextFault(kind, command); };
    const FaultRule* noise = fault(FaultKind::kNoise);
    const FaultRule* delay = fault(FaultKind::kDelay);
    const FaultRule* cut = fault(FaultKind::kCut);
    for (const FaultRule* rule : {noise, delay, cut}) {
        if (rule != nullptr) {
            AddFaultName(fault_names, rule->kind);
        }
    }
    for (const std::vector<uint8_t>& content : contents) {
        Answer answer;
        answer.bytes = facts != nullptr ? FrameOf(content) : content;
        if (noise != nullptr) {
            std::vector<uint8_t> bytes = Noise(noise->value, facts->number);
            bytes.insert(bytes.end(), answer.bytes.begin(), answer.bytes.end());
            answer.bytes = std::move(bytes);
        }
        answer.delay_ms = delay != nullptr ? delay->value : 0;
        if (cut != nullptr) {
            // Half an answer, then nothing: the terminal died while it was talking.
            answer.bytes.resize(answer.bytes.size() / 2);
            out.answers.push_back(std::move(answer));
            muted_ = true;
            return;
        }
        out.answers.push_back(std::move(answer));
    }
}

// ---- the commands ----

TerminalLogic::Outcome TerminalLogic::Version(const LinkPacket&, Reaction&) { return Accepted(settings_.version_text); }

TerminalLogic::Outcome TerminalLogic::OpenDownload(const LinkPacket&, Reaction& out) {
    ++record_.download_opened;
    // Marks the start of an image transfer in the event log, for timing it.
    out.events.push_back({"download-open", ""});
    return Accepted("");
}

TerminalLogic::Outcome TerminalLogic::RunApp(const LinkPacket&, Reaction& out) {
    record_.run_app = true;
    out.events.push_back({"run-app", ""});
    Outcome outcome = Accepted("");
    outcome.next_mode = TerminalMode::kApplication;
    return outcome;
}

TerminalLogic::Outcome TerminalLogic::AutoRun(const LinkPacket& packet, Reaction& out) {
    const char setting = static_cast<char>(packet.Payload()[0]);
    record_.auto_run = setting;
    out.events.push_back({"auto-run", std::string(1, setting)});
    return Accepted("");
}

TerminalLogic::Outcome TerminalLogic::Reset(const LinkPacket&, Reaction& out) {
    record_.reset = true;
    out.events.push_back({"reset", ""});
    Outcome outcome = Accepted("");
    outcome.next_mode = TerminalMode::kApplication;
    return outcome;
}

TerminalLogic::Outcome TerminalLogic::SecureBootState(const LinkPacket&, Reaction&) {
    record_.secure_boot_queried = true;
    const bool disabled = settings_.secure_boot_disabled && !record_.secure_boot_enabled;
    return Accepted(disabled ? kSecureBootDisabledText : kSecureBootEnabledText);
}

TerminalLogic::Outcome TerminalLogic::EnableSecureBoot(const LinkPacket&, Reaction& out) {
    record_.secure_boot_enabled = true;
    out.events.push_back({"secure-boot", "enabled"});
    return Accepted("");
}

TerminalLogic::Outcome TerminalLogic::Partition(const LinkPacket& packet, Reaction& out) {
    const auto payload = packet.Payload();
    std::string drive;
    FieldText(payload.first(4), drive);
    const StoredPartition partition{drive, ReadLe32(payload.data() + 4), payload[8], payload[9]};
    record_.partitions.push_back(partition);
    out.events.push_back({"partition", drive + " at " + Hex32(partition.start_addr) + ", size " +
                                           std::to_string(partition.size) + ", flash " +
                                           std::to_string(partition.flash_size)});
    return Accepted("");
}

TerminalLogic::Outcome TerminalLogic::Erase(const LinkPacket&, Reaction& out) {
    ++record_.erase_count;
    out.events.push_back({"erase", ""});
    Outcome outcome = Accepted(settings_.erase_first_answer);
    if (!settings_.erase_first_answer.empty()) {
        outcome.contents.push_back(SuccessAnswer(std::string_view()));  // the erase is done
    }
    return outcome;
}

TerminalLogic::Outcome TerminalLogic::Directory(const LinkPacket& packet, Reaction& out) {
    std::string path;
    FieldText(packet.Payload().first(kRecordTextSize), path);
    record_.dirs.push_back(path);
    out.events.push_back({"dir", path});
    return Accepted("");
}

TerminalLogic::Outcome TerminalLogic::FsConfig(const LinkPacket& packet, Reaction& out) {
    const uint8_t* fields = packet.Payload().data();
    const std::array<uint32_t, 3> config = {ReadLe32(fields), ReadLe32(fields + 4), ReadLe32(fields + 8)};
    record_.fs_config = config;
    out.events.push_back({"fs-config", std::to_string(config[0]) + " " + std::to_string(config[1]) + " " +
                                           std::to_string(config[2])});
    return Accepted("");
}

TerminalLogic::Outcome TerminalLogic::Image(const LinkPacket& packet, Reaction& out) {
    return Block(packet, image_receiver_, out);
}

TerminalLogic::Outcome TerminalLogic::Logo(const LinkPacket& packet, Reaction& out) {
    return Block(packet, logo_receiver_, out);
}

TerminalLogic::Outcome TerminalLogic::Audio(const LinkPacket& packet, Reaction& out) {
    return Block(packet, audio_receiver_, out);
}

TerminalLogic::Outcome TerminalLogic::Block(const LinkPacket& packet, BlockReceiver& receiver, Reaction& out) {
    std::optional<ReceivedBlock> done;
    std::string refusal;
    if (!receiver.Accept(packet.cmd, packet.Payload(), done, refusal)) {
        return Refusal(refusal);
    }
    if (done) {
        const std::string size = std::to_string(done->data.size()) + " bytes";
        if (done->cmd == kImage) {
            out.events.push_back({"image", Hex32(done->address) + ", " + size});
            record_.images[done->address] = std::move(done->data);
        } else if (done->cmd == kLogo) {
            out.events.push_back({"logo", size});
            record_.logo = std::move(done->data);
        } else {
            out.events.push_back({"audio", size});
            record_.audio = std::move(done->data);
        }
    }
    return Accepted("");
}

TerminalLogic::Outcome TerminalLogic::File(const LinkPacket& packet, Reaction& out) {
    std::optional<ReceivedFile> done;
    std::string answer;
    std::string refusal;
    if (!file_receiver_.Accept(packet.Payload(), answer, done, refusal)) {
        return Refusal(refusal);
    }
    if (done) {
        out.events.push_back({"file", done->path + ", " + std::to_string(done->data.size()) + " bytes"});
        record_.files[done->path] = std::move(done->data);
    }
    return Accepted(answer);
}

const FaultRule* TerminalLogic::PacketFault(FaultKind kind, const PacketFacts& facts) const {
    for (const FaultRule& rule : settings_.faults) {
        if (rule.kind == kind && RuleSelectsPacket(rule, facts)) {
            return &rule;
        }
    }
    return nullptr;
}

const FaultRule* TerminalLogic::TextFault(FaultKind kind, std::string_view command) const {
    for (const FaultRule& rule : settings_.faults) {
        if (rule.kind == kind && RuleSelectsText(rule, command)) {
            return &rule;
        }
    }
    return nullptr;
}

void TerminalLogic::ChangeMode(TerminalMode mode, Reaction& out) {
    if (mode == mode_) {
        return;
    }
    mode_ = mode;
    record_.mode_changes.push_back(mode);
    collector_.Reset();
    app_text_.clear();
    loader_text_.clear();
    out.events.push_back({"mode", std::string(ModeName(mode))});
}

}  // namespace korvane::sim
