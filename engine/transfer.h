// The multi-packet transfers and the single-record commands. Each returns 0 on success
// and -1 on failure with the failed exchange's text in message ("Time out",
// "remote: %s", "data too long. oLen (%d)", or empty after a stop).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "engine/packet.h"
#include "engine/response_reader.h"

namespace korvane {

int send_image(Session& s, std::span<const uint8_t> image, MessageBuffer message);
int send_block(Session& s, uint32_t cmd, std::span<const uint8_t> data, MessageBuffer message);
int send_record(Session& s, uint32_t cmd, const Record& record, MessageBuffer message);
int send_file(Session& s, std::span<const uint8_t> file, std::string_view target_path, MessageBuffer message);

}  // namespace korvane
