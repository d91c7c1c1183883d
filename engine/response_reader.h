// Waiting for the terminal's answers: framed responses and the plain-text replies.
// Every loop gives up when the run is stopped or the session told to stop (message left
// untouched), after response_timeout without the first byte ("Time out"), and a frame
// 3000 ms after its opening flag ("Time out").
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/session.h"

namespace korvane {

inline constexpr uint32_t kFrameCompletionMs = 3000;

// A caller's buffer for text: written zero-terminated, never beyond its size.
using MessageBuffer = std::span<char>;

// 0 on success (data copied when its length is not 0), -1 on failure ("Time out",
// "remote: %s" or untouched after a stop). data may be empty and length null.
int check_response(Session& s, std::span<uint8_t> data, MessageBuffer message, uint32_t* length);
// 0 when a reply beginning "000050" arrived; its text goes to tusn (zero-terminated).
int read_tusn_reply(Session& s, MessageBuffer message, std::span<char> tusn);
// 0 when a reply beginning "OKAY" arrived.
int wait_okay(Session& s, MessageBuffer message);

// Writes a frame or a plain-text command; false when the channel refused it.
bool WriteBytes(Session& s, const uint8_t* data, size_t length);

}  // namespace korvane
