// Waiting for the operator to end a long-running program (Ctrl-C or a termination request).
// Thread safety: call from the main thread before other threads start, then wait there.
#pragma once

namespace korvane::sim {

// Blocks SIGINT and SIGTERM for every thread started afterwards.
void PrepareTerminationWait();
// Returns when one of them arrives.
void WaitForTermination();

}  // namespace korvane::sim
