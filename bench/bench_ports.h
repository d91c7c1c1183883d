// Virtual ports for the watcher benchmark, as each platform's watcher finds them: on Linux a
// link COM<n> to a character device beside COM<n>.desc, on Windows the COM<n>.desc file alone.
#pragma once

#include <string>

namespace korvane::bench {

// Port n appears in dir as a terminal's port, and goes again.
void PublishBenchPort(const std::string& dir, int port);
void WithdrawBenchPort(const std::string& dir, int port);

}  // namespace korvane::bench
