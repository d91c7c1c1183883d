#include "platform/trace_output.h"

#include <windows.h>

#include "platform/wide_text_windows.h"

namespace korvane {

std::FILE* OpenTraceFile(const std::string& path) {
    // "N": not inherited by child processes.
    return ::_wfopen(Wide(path).c_str(), L"abN");
}

bool DebuggerListens() { return ::IsDebuggerPresent() != 0; }

void WriteDebuggerOutput(std::string_view text) { ::OutputDebugStringW(Wide(text).c_str()); }

}  // namespace korvane
