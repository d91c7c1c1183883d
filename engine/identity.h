// Checking a terminal's TUSN against the configured device type and customer id.
#pragma once

#include <string_view>

#include "engine/session.h"

namespace korvane {

// 0 when the terminal matches; 1 when it does not (the mismatch is already reported).
int compare_identity(Session& s, std::string_view tusn);

}  // namespace korvane
