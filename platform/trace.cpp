#include "platform/trace.h"

#include "platform/environment.h"
#include "platform/trace_output.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace korvane {
namespace {

// The sink: stderr, an opened trace file, or nothing. The mutex keeps every write whole
// and guards the switch between sinks.
struct TraceSink {
    std::mutex mutex;
    std::FILE* out = nullptr;
    bool owns_file = false;
    bool to_debugger = false;
    std::atomic<bool> enabled{false};

    TraceSink() { Configure(); }
    ~TraceSink() { CloseFile(); }
    TraceSink(const TraceSink&) = delete;
    TraceSink& operator=(const TraceSink&) = delete;

    void Configure() {
        std::lock_guard lock(mutex);
        CloseFile();
        out = nullptr;
        const std::string file = EnvironmentOrEmpty("KORVANE_TRACE_FILE");
        if (!file.empty()) {
            out = OpenTraceFile(file);
            owns_file = out != nullptr;
        } else if (EnvironmentOrEmpty("KORVANE_TRACE") == "1") {
            out = stderr;
        }
        to_debugger = DebuggerListens();
        enabled.store(out != nullptr || to_debugger, std::memory_order_release);
    }

    void CloseFile() {
        if (owns_file && out != nullptr) {
            std::fclose(out);
        }
        owns_file = false;
    }
};

TraceSink& Sink() {
    static TraceSink sink;
    return sink;
}

}  // namespace

bool TraceEnabled() { return Sink().enabled.load(std::memory_order_acquire); }

void TraceWrite(std::string_view text) {
    TraceSink& sink = Sink();
    if (!sink.enabled.load(std::memory_order_acquire) || text.empty()) {
        return;
    }
    std::lock_guard lock(sink.mutex);
    if (sink.to_debugger) {
        WriteDebuggerOutput(text);
    }
    if (sink.out != nullptr) {
        std::fwrite(text.data(), 1, text.size(), sink.out);
        std::fflush(sink.out);
    }
}

void TraceFormat(const char* format, ...) {
    if (!TraceEnabled() || format == nullptr) {
        return;
    }
    std::va_list args;
    va_start(args, format);
    std::va_list measure;
    va_copy(measure, args);
    const int needed = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (needed > 0) {
        std::vector<char> text(static_cast<size_t>(needed) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        TraceWrite(std::string_view(text.data(), static_cast<size_t>(needed)));
    }
    va_end(args);
}

void TraceReconfigure() { Sink().Configure(); }

}  // namespace korvane
