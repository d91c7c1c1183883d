// Waiting for the terminal's answers: framed responses and the plain-text replies.
// Every loop gives up when the run is stopped or the session told to stop (message left
// untouched), after response_timeout without the first byte ("Time out"), and a frame
// 3000 ms after its opening flag ("Time out"). A channel that reports an error (device
// gone) ends the wait at once with "Port lost".
// Thread safety: each session thread calls these on its own Session and channel only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "engine/session.h"

namespace korvane {

inline constexpr uint32_t kFrameCompletionMs = 3000;
inline constexpr uint32_t kReadWaitMs = 10;
inline constexpr size_t kReaderBufferSize = 4096;

inline constexpr char kMsgTimeOut[] = "Time out";
inline constexpr char kMsgPortLost[] = "Port lost";
inline constexpr char kMsgFrameTooLong[] = "Frame too long";
inline constexpr char kMsgWriteTimeOut[] = "Write time out";

// A caller's buffer for text: written zero-terminated, never beyond its size.
using MessageBuffer = std::span<char>;

// Puts text into message, cut to fit and terminated (nothing when message is empty).
void SetMessage(MessageBuffer message, std::string_view text);
// The text in a buffer up to its first NUL, never beyond the buffer.
std::string_view BufferText(std::span<const char> buffer);
std::string_view BufferText(std::span<const uint8_t> buffer);

// 0 on success, -1 on failure ("Time out", "remote: %s", "Port lost", "Frame too long",
// or untouched after a stop). On success with a non-zero data length, the data are
// copied to data and their count to length; the copy never exceeds the bytes that arrived
// nor data's size, and *length says how many were copied. With data length 0 neither is
// touched. data may be empty and length null. A remote text is cut to fit message.
// More than 4096 bytes after the opening flag without a closing one fail at once with
// "Frame too long".
int check_response(Session& s, std::span<uint8_t> data, MessageBuffer message, uint32_t* length);
// 0 when a reply beginning "000050" arrived; its text goes to tusn, cut to fit and
// zero-terminated. Only the bytes of one Read count; text split across reads is not joined.
int read_tusn_reply(Session& s, MessageBuffer message, std::span<char> tusn);
// 0 when a reply beginning "OKAY" arrived.
int wait_okay(Session& s, MessageBuffer message);

enum class WriteOutcome {
    kWritten,
    kPortLost,  // the device failed or is gone
    kTimedOut,  // the port is there but the terminal took no data within the write limit
    kStopped,   // the run was stopped or the session told to stop while the write waited
};
// Writes a frame or a plain-text command through the channel. With the channel's
// WriteWhile (a channel whose version says it has one), a write waiting on a terminal that
// takes no data ends within about 50 ms of a stop; without it, through Write, a failure
// counts as a lost port.
WriteOutcome WriteBytes(Session& s, const uint8_t* data, size_t length);
// The message for a failed write: "Port lost", "Write time out", or "" after a stop.
const char* WriteFailureText(WriteOutcome outcome);

}  // namespace korvane
