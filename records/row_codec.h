// The spool's file format for one row: a first line naming the format, then one
// "key=value" line per field, with backslash, line feed and carriage return written as
// \\, \n and \r. Decoding is a pure function of the bytes and refuses anything malformed.
// Thread safety: pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "records/station_row.h"

namespace korvane {

std::string EncodeRow(const StationRow& row);
// The row, or nothing when the bytes are not a whole row of this format (a missing
// station, session id, port or result, a bad number or escape, a missing end line).
std::optional<StationRow> DecodeRow(std::string_view bytes);

}  // namespace korvane
