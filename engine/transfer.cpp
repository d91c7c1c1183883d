#include "engine/transfer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <limits>

#include "engine/frame.h"

namespace korvane {
namespace {

constexpr size_t kEraseRecordUsed = 20;
constexpr size_t kInitPlusDataUsed = 12;
constexpr char kEqualSize[] = "Equal size";

using ResponseData = std::array<uint8_t, kResponseDataSize>;

// Builds and writes the frame: 0, or -1 with the reason in message.
int WriteCommand(Session& s, uint32_t cmd, std::span<const uint8_t> payload, MessageBuffer message) {
    std::array<uint8_t, kMaxFrame> frame{};
    size_t escaped = 0;
    const int frame_length = build_command_frame(s.app, payload, frame.data(), cmd, &escaped);
    if (frame_length < 0) {
        char text[64];
        std::snprintf(text, sizeof text, "data too long. oLen (%d)", static_cast<int>(escaped));
        SetMessage(message, text);
        return -1;
    }
    if (!WriteBytes(s, frame.data(), static_cast<size_t>(frame_length))) {
        SetMessage(message, kMsgPortLost);
        return -1;
    }
    return 0;
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

int SendIntoMessage(Session& s, uint32_t cmd, std::span<const uint8_t> payload, MessageBuffer message) {
    SetMessage(message, "");
    if (WriteCommand(s, cmd, payload, message) != 0) {
        return -1;
    }
    return AwaitAnswerIntoMessage(s, message);
}

void ReportProgress(Session& s, size_t done) {
    if (s.view != nullptr) {
        s.view->SetProgress(static_cast<int>(s.nPort), static_cast<uint32_t>(done));
    }
}

// Start, chunks at base_address + offset, end; progress after each accepted chunk.
int SendBlockPackets(Session& s, uint32_t cmd, std::span<const uint8_t> data, uint32_t base_address,
                     bool address_follows_offset, MessageBuffer message) {
    if (SendIntoMessage(s, cmd, BlockStartPayload(static_cast<uint32_t>(data.size())), message) != 0) {
        return -1;
    }
    for (size_t offset = 0; offset < data.size();) {
        const size_t chunk = std::min<size_t>(data.size() - offset, kImageChunk);
        const uint32_t address = address_follows_offset ? base_address + static_cast<uint32_t>(offset) : base_address;
        if (SendIntoMessage(s, cmd, BlockDataPayload(address, data.subspan(offset, chunk)), message) != 0) {
            return -1;
        }
        offset += chunk;
        ReportProgress(s, offset);
    }
    return SendIntoMessage(s, cmd, BlockEndPayload(), message);
}

// The handle in the answer to a file-open packet: the decimal number after the first ":"
// (the whole text when there is none), read as atoi does; 0 when there is no number.
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
    long long value = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc::result_out_of_range) {
        value = std::numeric_limits<long long>::max();
    }
    value = negative ? -value : value;
    return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

int send_command(Session& s, uint32_t cmd, std::span<const uint8_t> payload, std::span<uint8_t> data,
                 MessageBuffer message, uint32_t* length) {
    SetMessage(message, "");
    if (WriteCommand(s, cmd, payload, message) != 0) {
        return -1;
    }
    return check_response(s, data, message, length);
}

int send_image(Session& s, std::span<const uint8_t> image, MessageBuffer message) {
    if (image.size() < kImageHeaderSize) {
        char text[64];
        std::snprintf(text, sizeof text, "image too short (%d bytes)", static_cast<int>(image.size()));
        SetMessage(message, text);
        return -1;
    }
    s.response_timeout = kImageTimeoutMs;
    const uint32_t load_address = GetU32(image.data() + kLoadAddressOffset);
    return SendBlockPackets(s, kCmdImage, image, load_address, true, message);
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

int send_file(Session& s, std::span<const uint8_t> file, std::string_view target_path, MessageBuffer message) {
    if (target_path.size() >= kTargetPathLimit) {
        char text[64];
        std::snprintf(text, sizeof text, "target path too long (%d bytes)", static_cast<int>(target_path.size()));
        SetMessage(message, text);
        return -1;
    }
    ResponseData answer{};
    uint32_t length = 0;
    if (send_command(s, kCmdFile, TextRecord(target_path, static_cast<uint32_t>(file.size())), answer, message,
                     &length) != 0) {
        return -1;
    }
    const int handle = ParseHandle(BufferText(std::span<const uint8_t>(answer.data(), length)));

    for (size_t offset = 0; offset < file.size();) {
        const size_t chunk = std::min<size_t>(file.size() - offset, kFileChunk);
        if (send_command(s, kCmdFile, FileDataPayload(handle, file.subspan(offset, chunk)), answer, message,
                         &length) != 0) {
            return -1;
        }
        offset += chunk;
        ReportProgress(s, offset);
    }
    return send_command(s, kCmdFile, FileFinishRecord(handle), answer, message, &length);
}

}  // namespace korvane
