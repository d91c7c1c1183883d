// The length of a window of time back from now, as the records tool takes it.
// Thread safety: pure function.
#pragma once

#include <string>

namespace korvane {

// "12h", "30m", "2d", "90s" or a plain number of hours, as seconds; false for anything
// else, zero or more than a year.
bool ParseSince(const std::string& text, double& seconds);

}  // namespace korvane
