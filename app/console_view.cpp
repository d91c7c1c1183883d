#include "app/console_view.h"

#include <algorithm>

#include "app/console_terminal.h"
#include "platform/text.h"

namespace korvane {

namespace {

constexpr uint32_t kLiveRedrawMs = 200;
constexpr uint32_t kProgressLineMs = 500;
constexpr int kBarWidth = 20;

// Pads (or keeps) a text to a column of `width` bytes.
std::string Column(const std::string& text, size_t width) {
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

}  // namespace

int ProgressPercent(uint32_t done, uint32_t total) {
    if (total == 0) {
        return 0;
    }
    return static_cast<int>(std::min<uint64_t>(100, uint64_t{done} * 100 / total));
}

std::string ProgressBar(uint32_t done, uint32_t total, int width) {
    const int filled = total == 0 ? 0 : ProgressPercent(done, total) * width / 100;
    return "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(width - filled), '-') +
           "]";
}

std::string FormatPortLine(const PortRow& row, size_t width) {
    std::string middle;
    if (row.barVisible) {
        middle = ProgressBar(row.barDone, row.barTotal, kBarWidth) + " " +
                 std::to_string(ProgressPercent(row.barDone, row.barTotal)) + "%";
    } else {
        middle = row.cells[kColProgress];
    }
    std::string line = Column("COM" + std::to_string(row.nPort), 7) + Column("#" + row.cells[kColBindingPort], 4) +
                       Column(row.cells[kColStatus], 23) + Column(middle, 29) + Column(row.cells[kColTime], 6) +
                       row.cells[kColStep];
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return CutAtCharacter(std::move(line), width);
}

ConsoleView::ConsoleView(std::FILE* out, bool live, size_t columns, Clock& clock)
    : out_(out), live_(live), columns_(std::max<size_t>(columns, 20)), clock_(clock) {}

void ConsoleView::Observe(const PortRow& row) {
    // A row that has no step yet (just added) has nothing to tell.
    if (live_ || row.cells[kColStatus].empty()) {
        return;
    }
    const uint32_t now = clock_.Now();
    const std::string key = row.cells[kColStatus] + '\x1f' + row.cells[kColStep] + '\x1f' + row.cells[kColProgress] +
                            '\x1f' + (row.barVisible ? "bar" : "");
    const int percent = row.barVisible ? ProgressPercent(row.barDone, row.barTotal) : -1;
    std::lock_guard lock(mutex_);
    Shown& shown = shown_[row.nPort];
    const bool changed = key != shown.key;
    const bool progressed = percent != shown.percent && now - shown.progressMs >= kProgressLineMs;
    if (!changed && !progressed) {
        return;
    }
    pending_.push_back(LocalTimeOfDay() + " " + FormatPortLine(row, columns_));
    shown.key = key;
    shown.percent = percent;
    shown.progressMs = now;
}

void ConsoleView::Show(const std::vector<PortRow>& rows) {
    if (!live_) {
        WritePlainLines();
    } else if (!drawnOnce_ || clock_.Now() - drawnMs_ >= kLiveRedrawMs) {
        DrawLive(rows);
    }
}

void ConsoleView::Flush(const std::vector<PortRow>& rows) {
    if (live_) {
        DrawLive(rows);
    } else {
        WritePlainLines();
    }
}

void ConsoleView::DrawLive(const std::vector<PortRow>& rows) {
    std::string frame;
    if (drawnLines_ > 0) {
        // Back to the first line of the last picture, and clear it and all below.
        frame += "\x1b[" + std::to_string(drawnLines_) + "A\r";
    }
    frame += "\x1b[J";
    for (const PortRow& row : rows) {
        // One byte short of the width, so a full line never wraps and breaks the count.
        frame += FormatPortLine(row, columns_ - 1) + "\n";
    }
    std::fputs(frame.c_str(), out_);
    std::fflush(out_);
    drawnLines_ = rows.size();
    drawnMs_ = clock_.Now();
    drawnOnce_ = true;
}

void ConsoleView::WritePlainLines() {
    std::vector<std::string> lines;
    {
        std::lock_guard lock(mutex_);
        lines.swap(pending_);
    }
    for (const std::string& line : lines) {
        std::fprintf(out_, "%s\n", line.c_str());
    }
    if (!lines.empty()) {
        std::fflush(out_);
    }
}

}  // namespace korvane
