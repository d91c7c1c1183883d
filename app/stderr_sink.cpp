#include "app/stderr_sink.h"

#include <string_view>

namespace korvane {

void StderrMessageSink::ShowMessage(const std::string& text) {
    std::string_view line(text);
    if (line.ends_with("\r\n")) {
        line.remove_suffix(2);
    }
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

}  // namespace korvane
