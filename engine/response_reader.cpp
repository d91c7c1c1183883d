#include "engine/response_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string>

#include "engine/packet.h"
#include "platform/trace.h"

namespace korvane {
namespace {

constexpr size_t kStatusOffset = 0;
constexpr size_t kDataLengthOffset = 4;
constexpr size_t kDataOffset = 8;
constexpr char kTusnPrefix[] = "000050";
constexpr char kOkayPrefix[] = "OKAY";

// One Read through the channel's table: bytes read, 0 when nothing came, -1 on error.
int32_t ReadChannel(Session& s, void* buffer, uint32_t capacity) {
    if (s.channel == nullptr) {
        return -1;
    }
    const int32_t got = s.channel->vtbl->Read(s.channel, buffer, capacity, kReadWaitMs, 0);
    return std::min(got, static_cast<int32_t>(capacity));
}

// Undoes the byte stuffing; a lone escape byte at the end is dropped.
size_t Unescape(const uint8_t* raw, size_t length, uint8_t* frame) {
    size_t written = 0;
    for (size_t i = 0; i < length; ++i) {
        if (raw[i] == kEscape) {
            if (++i == length) {
                break;
            }
            frame[written++] = static_cast<uint8_t>(raw[i] ^ kEscapeXor);
        } else {
            frame[written++] = raw[i];
        }
    }
    return written;
}

// Waits for the opening flag: 0 when it came, -1 on stop, time-out or a lost port.
int WaitOpeningFlag(Session& s, MessageBuffer message, uint32_t t0) {
    uint8_t byte = 0;
    for (;;) {
        if (!s.Running()) {
            return -1;
        }
        const uint32_t t1 = s.clock->Now();
        if (t1 - t0 > s.response_timeout) {
            KTRACE("check_response::t1,%ld\n", static_cast<long>(t1));
            KTRACE("check_response::t1-t0,%ld\n", static_cast<long>(t1 - t0));
            SetMessage(message, kMsgTimeOut);
            return -1;
        }
        KTRACE("check_response --else::t0,%ld\n", static_cast<long>(t0));
        KTRACE("check_response --else::t1,%ld\n", static_cast<long>(t1));
        KTRACE("check_response --else::t1-t0,%ld\n", static_cast<long>(t1 - t0));
        const int32_t got = ReadChannel(s, &byte, 1);
        KTRACE("check_response::after Read \n");
        if (got < 0) {
            SetMessage(message, kMsgPortLost);
            return -1;
        }
        if (got == 1 && byte == kFlag) {
            return 0;
        }
    }
}

// Turns an un-escaped frame into the caller's result.
int DeliverFrame(const uint8_t* frame, size_t frame_length, std::span<uint8_t> data, MessageBuffer message,
                 uint32_t* length) {
    // The frame buffer is zero beyond what arrived, so a short frame reads as status 0.
    if (GetU32(frame + kStatusOffset) == 0) {
        const std::string_view text =
            BufferText(std::span<const uint8_t>(frame + kDataOffset, kReaderBufferSize - kDataOffset));
        const std::string formatted = "remote: " + std::string(text);
        SetMessage(message, formatted);
        return -1;
    }
    const uint32_t declared = GetU32(frame + kDataLengthOffset);
    if (declared == 0) {
        return 0;
    }
    const size_t arrived = frame_length > kDataOffset ? frame_length - kDataOffset : 0;
    const size_t room = data.empty() ? std::numeric_limits<size_t>::max() : data.size();
    const size_t delivered = std::min({static_cast<size_t>(declared), arrived, room});
    if (!data.empty()) {
        std::memcpy(data.data(), frame + kDataOffset, delivered);
    }
    if (length != nullptr) {
        *length = static_cast<uint32_t>(delivered);
    }
    return 0;
}

// Collects the frame after its opening flag and delivers it.
int ReadFrameBody(Session& s, std::span<uint8_t> data, MessageBuffer message, uint32_t* length) {
    std::array<uint8_t, kReaderBufferSize> raw{};
    size_t raw_length = 0;
    const uint32_t t0 = s.clock->Now();
    for (;;) {
        if (!s.Running()) {
            return -1;
        }
        if (s.clock->Now() - t0 > kFrameCompletionMs) {
            SetMessage(message, kMsgTimeOut);
            return -1;
        }
        uint8_t byte = 0;
        const int32_t got = ReadChannel(s, &byte, 1);
        if (got < 0) {
            SetMessage(message, kMsgPortLost);
            return -1;
        }
        if (got == 0) {
            continue;
        }
        if (byte == kFlag) {
            std::array<uint8_t, kReaderBufferSize> frame{};
            const size_t frame_length = Unescape(raw.data(), raw_length, frame.data());
            return DeliverFrame(frame.data(), frame_length, data, message, length);
        }
        if (raw_length == raw.size()) {
            SetMessage(message, kMsgFrameTooLong);
            return -1;
        }
        raw[raw_length++] = byte;
    }
}

// The plain-text readers: waits for a Read whose bytes begin with prefix; that reply's
// text goes to reply (when given).
int WaitTextReply(Session& s, MessageBuffer message, std::string_view prefix, std::span<char> reply) {
    std::array<char, kReaderBufferSize + 1> buffer{};
    const uint32_t t0 = s.clock->Now();
    for (;;) {
        if (!s.Running()) {
            return -1;
        }
        if (s.clock->Now() - t0 > s.response_timeout) {
            SetMessage(message, kMsgTimeOut);
            return -1;
        }
        const int32_t got = ReadChannel(s, buffer.data(), kReaderBufferSize);
        if (got < 0) {
            SetMessage(message, kMsgPortLost);
            return -1;
        }
        // Only this read's bytes count: what an earlier, longer read left behind is not
        // part of this reply.
        const std::string_view text(buffer.data(), static_cast<size_t>(got));
        if (text.starts_with(prefix)) {
            SetMessage(reply, BufferText(std::span<const char>(text.data(), text.size())));
            return 0;
        }
    }
}

}  // namespace

void SetMessage(MessageBuffer message, std::string_view text) {
    if (message.empty()) {
        return;
    }
    const size_t kept = std::min(text.size(), message.size() - 1);
    std::memcpy(message.data(), text.data(), kept);
    message[kept] = '\0';
}

std::string_view BufferText(std::span<const char> buffer) {
    const auto end = std::find(buffer.begin(), buffer.end(), '\0');
    return {buffer.data(), static_cast<size_t>(end - buffer.begin())};
}

std::string_view BufferText(std::span<const uint8_t> buffer) {
    return BufferText(std::span<const char>(reinterpret_cast<const char*>(buffer.data()), buffer.size()));
}

int check_response(Session& s, std::span<uint8_t> data, MessageBuffer message, uint32_t* length) {
    const uint32_t t0 = s.clock->Now();
    KTRACE("check_response::t0,%ld\n", static_cast<long>(t0));
    if (WaitOpeningFlag(s, message, t0) != 0) {
        return -1;
    }
    return ReadFrameBody(s, data, message, length);
}

int read_tusn_reply(Session& s, MessageBuffer message, std::span<char> tusn) {
    return WaitTextReply(s, message, kTusnPrefix, tusn);
}

int wait_okay(Session& s, MessageBuffer message) { return WaitTextReply(s, message, kOkayPrefix, {}); }

namespace {

int32_t SessionKeepsGoing(void* session) { return static_cast<Session*>(session)->Running() ? 1 : 0; }

// Whether the channel's table has the tenth entry: only a channel whose version says so.
// Another channel's table may end after Write, so its tenth entry is never read.
bool HasWriteWhile(IChannel* channel) {
    const IChannelVtbl& table = *channel->vtbl;
    if (table.GetVersion == nullptr) {
        return false;
    }
    const uint32_t version = table.GetVersion(channel);
    return version >= CHANNEL_VERSION_WRITE_WHILE && table.WriteWhile != nullptr;
}

}  // namespace

WriteOutcome WriteBytes(Session& s, const uint8_t* data, size_t length) {
    if (s.channel == nullptr) {
        return WriteOutcome::kPortLost;
    }
    const IChannelVtbl& table = *s.channel->vtbl;
    const auto count = static_cast<uint32_t>(length);
    const int32_t written = HasWriteWhile(s.channel)
                                ? table.WriteWhile(s.channel, data, count, &SessionKeepsGoing, &s)
                                : table.Write(s.channel, data, count, 0);
    if (written >= 0 && static_cast<size_t>(written) == length) {
        return WriteOutcome::kWritten;
    }
    if (written == CHANNEL_WRITE_TIMED_OUT) {
        return WriteOutcome::kTimedOut;
    }
    return written == CHANNEL_WRITE_STOPPED ? WriteOutcome::kStopped : WriteOutcome::kPortLost;
}

const char* WriteFailureText(WriteOutcome outcome) {
    switch (outcome) {
    case WriteOutcome::kTimedOut:
        return kMsgWriteTimeOut;
    case WriteOutcome::kStopped:
    case WriteOutcome::kWritten:
        return "";
    case WriteOutcome::kPortLost:
        break;
    }
    return kMsgPortLost;
}

}  // namespace korvane
