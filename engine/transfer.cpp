#include "engine/transfer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <vector>

#include "engine/data_sign.h"
#include "engine/frame.h"

namespace korvane {
namespace {

constexpr size_t kEraseRecordUsed = 20;
constexpr size_t kInitPlusDataUsed = 12;
constexpr char kEqualSize[] = "Equal size";

using ResponseData = std::array<uint8_t, kResponseDataSize>;

// One packet's frame, built and signed, waiting for its turn on the line.
struct PreparedFrame {
    std::array<uint8_t, kMaxFrame> bytes{};
    int length = -1;     // -1: the escaped packet did not fit
    size_t escaped = 0;  // the escaped packet's length
    size_t payload = 0;  // the payload's length
};

void PrepareFrame(Session& s, uint32_t cmd, std::span<const uint8_t> payload, PreparedFrame& frame) {
    frame.length = build_command_frame(s.plan->signing, payload, frame.bytes.data(), cmd, &frame.escaped,
                                       [&s] { return !s.Running(); });
    frame.payload = payload.size();
}

// Tells the session's record keepers how one packet exchange went; result as the
// exchange returned it, its reason in message.
void ReportPacket(Session& s, uint32_t cmd, size_t length, size_t index, uint32_t startMs, int result,
                  MessageBuffer message) {
    PacketEvent packet;
    packet.command = cmd;
    packet.length = length;
    packet.index = index;
    packet.status = result == 0 ? std::string_view("OK") : BufferText(message);
    if (packet.status.empty()) {
        packet.status = "stopped";
    }
    packet.ms = s.clock->Now() - startMs;
    s.Events().Packet(static_cast<int>(s.nPort), packet);
}

// Writes a prepared frame: 0, or -1 with the reason in message (left as it is when the
// session stopped before the frame's signature was ready).
int WriteFrame(Session& s, const PreparedFrame& frame, MessageBuffer message) {
    if (frame.length == kFrameStopped) {
        return -1;
    }
    if (frame.length < 0) {
        char text[64];
        std::snprintf(text, sizeof text, "data too long. oLen (%d)", static_cast<int>(frame.escaped));
        SetMessage(message, text);
        return -1;
    }
    if (const WriteOutcome outcome = WriteBytes(s, frame.bytes.data(), static_cast<size_t>(frame.length));
        outcome != WriteOutcome::kWritten) {
        SetMessage(message, WriteFailureText(outcome));
        return -1;
    }
    return 0;
}

// Builds and writes the frame: 0, or -1 with the reason in message.
int WriteCommand(Session& s, uint32_t cmd, std::span<const uint8_t> payload, MessageBuffer message) {
    PreparedFrame frame;
    PrepareFrame(s, cmd, payload, frame);
    return WriteFrame(s, frame, message);
}

// Waits for an answer whose data, if any, then stands in message as text.
int AwaitAnswerIntoMessage(Session& s, MessageBuffer message) {
    ResponseData data{};
    uint32_t length = 0;
    if (check_response(s, data, message, &length) != 0) {
        return -1;
    }
    if (length != 0) {
        SetMessage(message, BufferText(std::span<const uint8_t>(data.data(), length)));
    }
    return 0;
}

void ReportProgress(Session& s, size_t done) {
    if (s.view != nullptr) {
        s.view->SetProgress(static_cast<int>(s.nPort), static_cast<uint32_t>(done));
    }
}

// The payload of the index-th packet of a sequence, and the wait for its answer (with
// whatever follows an accepted packet, such as progress): 0, or -1 with message set.
using PayloadOf = std::function<std::vector<uint8_t>(size_t index)>;
using AwaitAnswerTo = std::function<int(size_t index)>;

// Sends count packets of cmd strictly one at a time: each is written only after the
// previous one was answered with success, and the first failure ends the sequence.
// While the terminal receives and checks a packet, the next one is already built and
// signed, so that the signature's time overlaps the line's instead of adding to it; after
// a failure or a stop that frame is dropped unsent.
// Only the bulk-data commands (0, 11, 37, 44) are built ahead: they are always signed by
// the library and never recorded in the signature store, so a frame that is dropped
// leaves no trace. Signing a fixed-content command may write the store, so such a packet
// is built only at its turn and the store sees exactly the packets that were sent.
int SendPacketSequence(Session& s, uint32_t cmd, size_t count, const PayloadOf& payload_of,
                       const AwaitAnswerTo& await_answer_to, MessageBuffer message) {
    const bool build_ahead = IsBulkCommand(cmd);
    std::array<PreparedFrame, 2> frames;
    bool next_is_prepared = false;
    for (size_t index = 0; index < count; ++index) {
        PreparedFrame& current = frames[index % 2];
        PreparedFrame& next = frames[(index + 1) % 2];
        if (!next_is_prepared) {
            PrepareFrame(s, cmd, payload_of(index), current);
        }
        SetMessage(message, "");
        const uint32_t start = s.clock->Now();
        if (WriteFrame(s, current, message) != 0) {
            ReportPacket(s, cmd, current.payload, index, start, -1, message);
            return -1;
        }
        next_is_prepared = build_ahead && index + 1 < count;
        if (next_is_prepared) {
            PrepareFrame(s, cmd, payload_of(index + 1), next);
        }
        const int answered = await_answer_to(index);
        ReportPacket(s, cmd, current.payload, index, start, answered, message);
        if (answered != 0) {
            return -1;
        }
    }
    return 0;
}

// The chunks of a transfer: how many, and where each begins and ends.
size_t ChunkCount(size_t size, size_t chunk) { return (size + chunk - 1) / chunk; }
size_t ChunkEnd(size_t size, size_t chunk, size_t index) { return std::min(size, (index + 1) * chunk); }

// Start, chunks at base_address + offset, end; progress after each accepted chunk.
int SendBlockPackets(Session& s, uint32_t cmd, std::span<const uint8_t> data, uint32_t base_address,
                     bool address_follows_offset, MessageBuffer message) {
    const size_t chunks = ChunkCount(data.size(), kImageChunk);
    const size_t end_packet = chunks + 1;
    const PayloadOf payload_of = [&](size_t index) {
        return BlockPacketPayload(data, base_address, address_follows_offset, index);
    };
    const AwaitAnswerTo await_answer_to = [&](size_t index) {
        if (AwaitAnswerIntoMessage(s, message) != 0) {
            return -1;
        }
        if (index != 0 && index != end_packet) {
            ReportProgress(s, ChunkEnd(data.size(), kImageChunk, index - 1));
        }
        return 0;
    };
    return SendPacketSequence(s, cmd, chunks + 2, payload_of, await_answer_to, message);
}

// Writes a record command and waits for its answer (two for the erase): 0, or -1 with the
// reason in message.
int SendRecordPacket(Session& s, uint32_t cmd, const Record& payload, MessageBuffer message) {
    if (WriteCommand(s, cmd, payload, message) != 0) {
        return -1;
    }
    if (cmd == kCmdErase) {
        // The erase is answered twice unless the first answer carries no text; how long
        // the second takes depends on whether the flash already had the right size.
        s.response_timeout = kEraseFirstTimeoutMs;
        ResponseData first{};
        uint32_t length = 0;
        if (check_response(s, first, message, &length) != 0) {
            return -1;
        }
        const std::string_view text = BufferText(std::span<const uint8_t>(first.data(), length));
        if (text.empty()) {
            return 0;
        }
        s.response_timeout = text == kEqualSize ? kEraseEqualSizeTimeoutMs : kEraseFullTimeoutMs;
    }
    return AwaitAnswerIntoMessage(s, message);
}

}  // namespace

int ParseHandle(std::string_view text) {
    if (const size_t colon = text.find(':'); colon != std::string_view::npos) {
        text.remove_prefix(colon + 1);
    }
    while (!text.empty() && (text.front() == ' ' || (text.front() >= '\t' && text.front() <= '\r'))) {
        text.remove_prefix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // One sign at most, then digits only; the magnitude stops growing just past the int
    // range, so no text can overflow it.
    constexpr int64_t kPastIntRange = static_cast<int64_t>(std::numeric_limits<int>::max()) + 2;
    int64_t magnitude = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        magnitude = std::min(magnitude * 10 + (c - '0'), kPastIntRange);
    }
    const int64_t value = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

size_t BlockPacketCount(size_t data_size) { return ChunkCount(data_size, kImageChunk) + 2; }

std::vector<uint8_t> BlockPacketPayload(std::span<const uint8_t> data, uint32_t base_address,
                                        bool address_follows_offset, size_t index) {
    if (index == 0) {
        return BlockStartPayload(static_cast<uint32_t>(data.size()));
    }
    if (index + 1 >= BlockPacketCount(data.size())) {
        return BlockEndPayload();
    }
    const size_t offset = (index - 1) * kImageChunk;
    const uint32_t address = address_follows_offset ? base_address + static_cast<uint32_t>(offset) : base_address;
    return BlockDataPayload(address, data.subspan(offset, ChunkEnd(data.size(), kImageChunk, index - 1) - offset));
}

uint32_t ImageLoadAddress(std::span<const uint8_t> image) { return GetU32(image.data() + kLoadAddressOffset); }

int SendCommand(Session& s, uint32_t cmd, std::span<const uint8_t> payload, std::span<uint8_t> data,
                 MessageBuffer message, uint32_t* length) {
    SetMessage(message, "");
    const uint32_t start = s.clock->Now();
    int result = WriteCommand(s, cmd, payload, message);
    if (result == 0) {
        result = check_response(s, data, message, length);
    }
    ReportPacket(s, cmd, payload.size(), 0, start, result, message);
    return result;
}

int send_image(Session& s, std::span<const uint8_t> image, MessageBuffer message) {
    if (image.size() < kImageHeaderSize) {
        char text[64];
        std::snprintf(text, sizeof text, "image too short (%d bytes)", static_cast<int>(image.size()));
        SetMessage(message, text);
        return -1;
    }
    s.response_timeout = kImageTimeoutMs;
    return SendBlockPackets(s, kCmdImage, image, ImageLoadAddress(image), true, message);
}

int send_block(Session& s, uint32_t cmd, std::span<const uint8_t> data, MessageBuffer message) {
    return SendBlockPackets(s, cmd, data, 0, false, message);
}

int send_record(Session& s, uint32_t cmd, const Record& record, MessageBuffer message) {
    if (cmd == kCmdPartitionInit) {
        s.response_timeout = kPartitionTimeoutMs;
    }
    const size_t used = cmd == kCmdErase ? kEraseRecordUsed : cmd == kCmdPartitionInit ? kInitPlusDataUsed : kRecordSize;
    Record payload{};
    std::copy_n(record.begin(), used, payload.begin());

    SetMessage(message, "");
    const uint32_t start = s.clock->Now();
    const int result = SendRecordPacket(s, cmd, payload, message);
    ReportPacket(s, cmd, payload.size(), 0, start, result, message);
    return result;
}

int send_file(Session& s, std::span<const uint8_t> file, std::string_view target_path, MessageBuffer message) {
    if (target_path.size() >= kTargetPathLimit) {
        char text[64];
        std::snprintf(text, sizeof text, "target path too long (%d bytes)", static_cast<int>(target_path.size()));
        SetMessage(message, text);
        return -1;
    }
    ResponseData answer{};
    uint32_t length = 0;
    if (SendCommand(s, kCmdFile, TextRecord(target_path, static_cast<uint32_t>(file.size())), answer, message,
                     &length) != 0) {
        return -1;
    }
    const int handle = ParseHandle(BufferText(std::span<const uint8_t>(answer.data(), length)));

    // The data and finish packets carry the handle from the open packet's answer, so the
    // first of them is built only once that answer is in.
    const size_t chunks = ChunkCount(file.size(), kFileChunk);
    const PayloadOf payload_of = [&](size_t index) {
        if (index == chunks) {
            const Record finish = FileFinishRecord(handle);
            return std::vector<uint8_t>(finish.begin(), finish.end());
        }
        const size_t offset = index * kFileChunk;
        return FileDataPayload(handle, file.subspan(offset, ChunkEnd(file.size(), kFileChunk, index) - offset));
    };
    const AwaitAnswerTo await_answer_to = [&](size_t index) {
        if (check_response(s, answer, message, &length) != 0) {
            return -1;
        }
        if (index != chunks) {
            ReportProgress(s, ChunkEnd(file.size(), kFileChunk, index));
        }
        return 0;
    };
    return SendPacketSequence(s, kCmdFile, chunks + 1, payload_of, await_answer_to, message);
}

}  // namespace korvane
