// The shift page: one self-contained HTML file (inline style and SVG charts, no script and
// nothing fetched, which its content policy also forbids) with the yield per station per
// hour, the failure messages as a Pareto chart, and the failed units with their logs.
// Thread safety: pure function.
#pragma once

#include <string>

#include "records/shift_queries.h"

namespace korvane {

// title: the page's heading (the window, for example "last 12 h").
std::string ShiftPage(const ShiftReport& report, const std::string& title, const std::string& generatedAt);

// Text made safe inside HTML elements and quoted attributes.
std::string HtmlText(std::string_view text);

}  // namespace korvane
