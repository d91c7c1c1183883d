// What the trace sink needs from the platform: its file opened for appending, and the
// debugger's own output where the platform has one.
// Thread safety: any thread; the trace sink serialises its calls.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace korvane {

// The trace file opened for appending (several runs or processes add to one file), not
// inherited by child processes; null when it cannot be opened.
std::FILE* OpenTraceFile(const std::string& path);

// Whether a debugger listens to the debug output; it then gets every trace line.
bool DebuggerListens();
void WriteDebuggerOutput(std::string_view text);

}  // namespace korvane
