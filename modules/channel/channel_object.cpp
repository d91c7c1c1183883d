// The channel object handed to the program: the operation table the program calls through,
// over one SerialLine. The port number is turned into a device node by the platform's port
// numbers (virtual ports first, then the port-number table).

#include "modules/channel/channel_abi.h"
#include "modules/module_export.h"

#include "modules/channel/serial_line.h"
#include "platform/port_numbers.h"

#include <cerrno>
#include <new>
#include <type_traits>

namespace korvane {
namespace {

constexpr uint32_t kChannelVersion = CHANNEL_VERSION_CANCEL_IO;
// A terminal that stops taking data must not hold a session for longer than this per Write.
constexpr uint32_t kDefaultWriteTimeoutMs = 2000;

struct ChannelObject : IChannel {
    SerialLine line;
    uint32_t write_timeout_ms = kDefaultWriteTimeoutMs;
    int32_t open_error = 0;  // a failure before the line was reached (no such port)
};

ChannelObject& Self(IChannel* self) { return *static_cast<ChannelObject*>(self); }

uint32_t GetVersion(IChannel* /*self*/) { return kChannelVersion; }

int32_t GetLastError(IChannel* self) {
    ChannelObject& channel = Self(self);
    return channel.open_error != 0 ? channel.open_error : channel.line.LastError();
}

int32_t IsOpen(IChannel* self) { return Self(self).line.IsOpen() ? 1 : 0; }

// 0 means no waiting: a Write the device cannot take at once fails.
int32_t SetWriteTimeout(IChannel* self, uint32_t ms) {
    Self(self).write_timeout_ms = ms;
    return 1;
}

int32_t Open(IChannel* self, const ChannelConfig* config) {
    ChannelObject& channel = Self(self);
    channel.line.Close();
    channel.open_error = 0;
    if (config == nullptr || config->kind != 0 || config->port == 0 || config->port > INT32_MAX) {
        channel.open_error = EINVAL;
        return 0;
    }
    try {
        const auto device = DeviceForPort(static_cast<int>(config->port));
        if (!device) {
            channel.open_error = ENOENT;
            return 0;
        }
        return channel.line.Open(*device, config->baud) == 0 ? 1 : 0;
    } catch (...) {
        // Nothing may escape a C interface; a failed lookup is a failed Open.
        channel.open_error = ENOMEM;
        return 0;
    }
}

void Close(IChannel* self) { Self(self).line.Close(); }

int32_t Purge(IChannel* self) { return Self(self).line.Purge() == 0 ? 1 : 0; }

int32_t Read(IChannel* self, void* buffer, uint32_t capacity, uint32_t wait_ms, uint32_t /*reserved*/) {
    return Self(self).line.Read(buffer, capacity, wait_ms);
}

int32_t Write(IChannel* self, const void* data, uint32_t length, uint32_t /*reserved*/) {
    ChannelObject& channel = Self(self);
    return channel.line.Write(data, length, channel.write_timeout_ms);
}

int32_t WriteWhile(IChannel* self, const void* data, uint32_t length, int32_t (*keep_going)(void* context),
                   void* context) {
    ChannelObject& channel = Self(self);
    KeepGoing ask;
    if (keep_going != nullptr) {
        ask = [keep_going, context] { return keep_going(context) != 0; };
    }
    const int32_t written = channel.line.Write(data, length, channel.write_timeout_ms, ask);
    if (written >= 0) {
        return written;
    }
    switch (channel.line.LastError()) {
    case ETIMEDOUT:
        return CHANNEL_WRITE_TIMED_OUT;
    case ECANCELED:
        return CHANNEL_WRITE_STOPPED;
    default:
        return CHANNEL_WRITE_FAILED;
    }
}

// From the tearing-down thread while the session's thread may be inside Read or Write.
void CancelIo(IChannel* self) { Self(self).line.CancelPending(); }

constexpr IChannelVtbl kOperations = {
    GetVersion, GetLastError, IsOpen, SetWriteTimeout, Open, Close, Purge, Read, Write, WriteWhile, CancelIo,
};

}  // namespace
}  // namespace korvane

KORVANE_MODULE_EXPORT int32_t CreateChannel(IChannel** slot, uint32_t /*reserved*/) {
    if (slot == nullptr) {
        return 0;
    }
    auto* channel = new (std::nothrow) korvane::ChannelObject();
    if (channel == nullptr) {
        *slot = nullptr;
        return 0;
    }
    channel->vtbl = &korvane::kOperations;
    *slot = channel;
    return 1;
}

KORVANE_MODULE_EXPORT void ReleaseChannel(IChannel* channel) {
    delete static_cast<korvane::ChannelObject*>(channel);  // closes the line
}

static_assert(std::is_same_v<decltype(&CreateChannel), CreateChannelFn>);
static_assert(korvane::kStopCheckMs == CHANNEL_STOP_CHECK_MS);
static_assert(std::is_same_v<decltype(&ReleaseChannel), ReleaseChannelFn>);
