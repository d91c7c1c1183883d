// The debug trace sink: stderr when KORVANE_TRACE=1, or the file named by
// KORVANE_TRACE_FILE; and the debugger's output (OutputDebugStringW) on Windows while a
// debugger is attached. Off otherwise, and then nothing is formatted.
// Thread safety: every call may run on any thread; one line is written whole.
#pragma once

#include <string_view>

namespace korvane {

bool TraceEnabled();
void TraceWrite(std::string_view text);
void TraceFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Re-reads the environment; for tests that switch tracing on and off.
void TraceReconfigure();

}  // namespace korvane

// Formats only when tracing is on.
#define KTRACE(...)                                         \
    do {                                                    \
        if (::korvane::TraceEnabled()) {                    \
            ::korvane::TraceFormat(__VA_ARGS__);            \
        }                                                   \
    } while (0)
