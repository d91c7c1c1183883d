#include "platform/trace_output.h"

namespace korvane {

std::FILE* OpenTraceFile(const std::string& path) { return std::fopen(path.c_str(), "ae"); }

// Linux has no debug-output channel; stderr or the trace file serve instead.
bool DebuggerListens() { return false; }

void WriteDebuggerOutput(std::string_view /*text*/) {}

}  // namespace korvane
