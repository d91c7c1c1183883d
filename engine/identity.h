// Checking a terminal's TUSN against the configured device type and customer id.
// Thread safety: runs on session threads at once; reads only configuration.
#pragma once

#include <string_view>

#include "engine/session.h"

namespace korvane {

inline constexpr int kIdentityResultCode = 600;

// 0 when the terminal matches; 1 when it does not, after SetResult(port, 0, 600, message)
// with "20 COMPARE DEVICETYPE ERROR", "26 COMPARE DEVICETYPE ERROR",
// "20 COMPARE CUSTOMERID ERROR", "26 COMPARE CUSTOMERID ERROR:<the TUSN's customer id>"
// or "DEVICE TUSN LENGTH ERROR:". The TUSN counts up to its first NUL.
int compare_identity(Session& s, std::string_view tusn);

}  // namespace korvane
