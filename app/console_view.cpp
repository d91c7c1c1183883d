#include "app/console_view.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <utility>

#include "app/console_terminal.h"
#include "platform/text.h"

namespace korvane {

namespace {

constexpr uint32_t kLiveRedrawMs = 200;
constexpr uint32_t kProgressLineMs = 2000;
constexpr int kProgressLineStep = 10;  // percent
constexpr int kBarWidth = 20;
constexpr std::string_view kFailedPrefix = "Failed:";

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

std::string FormatPlainLine(const PortRow& row, double elapsedSeconds, bool interim, size_t width) {
    std::string status = row.cells[kColStatus];
    std::string middle = row.cells[kColProgress];
    if (interim) {
        status = "In application";
        const std::string& progress = row.cells[kColProgress];
        const std::string reason =
            progress.starts_with(kFailedPrefix) ? progress.substr(kFailedPrefix.size()) : progress;
        middle = "sent to loader (" + reason + ")";
    } else if (row.barVisible) {
        middle = std::to_string(ProgressPercent(row.barDone, row.barTotal)) + "%";
    }
    const std::string elapsed = DecimalText(elapsedSeconds, 1) + "s";
    std::string line = Column("COM" + std::to_string(row.nPort), 7) + Column(row.cells[kColStep], 24) +
                       Column(status, 23) + Column(middle, 14) + Column(elapsed, 8) + "#" +
                       row.cells[kColBindingPort];
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return CutAtCharacter(std::move(line), width);
}

std::string SummaryOfRows(const std::vector<PortRow>& rows, const std::set<int>& interimPorts, double bytesPerSecond) {
    size_t passed = 0;
    size_t failed = 0;
    size_t going = 0;
    for (const PortRow& row : rows) {
        const std::string& progress = row.cells[kColProgress];
        if (progress == "Passed") {
            ++passed;
        } else if (progress.starts_with(kFailedPrefix) && interimPorts.count(row.nPort) == 0) {
            ++failed;
        } else if (row.cells[kColStatus] != StepName(kStepUnplugged)) {
            ++going;
        }
    }
    return "passed " + std::to_string(passed) + ", failed " + std::to_string(failed) + ", in progress " +
           std::to_string(going) + ", " + DecimalText(bytesPerSecond / 1024.0, 1) + " KiB/s";
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
    // A line for each tenth of the transfer, and for a slow one at least every 2 s.
    const bool progressed = percent != shown.percent && (percent / kProgressLineStep > shown.percent / kProgressLineStep ||
                                                         now - shown.progressMs >= kProgressLineMs);
    if (!changed && !progressed) {
        return;
    }
    const auto began = began_.find(row.nPort);
    const double elapsed = began != began_.end() ? (now - began->second) / 1000.0 : 0.0;
    const bool interim = row.cells[kColStatus] == StepName(kStepFinish) && interim_.count(row.nPort) != 0;
    pending_.push_back(LocalTimeOfDay() + " " + FormatPlainLine(row, elapsed, interim, columns_));
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

void ConsoleView::SetByteCounter(std::function<uint64_t()> totalBytes) { totalBytes_ = std::move(totalBytes); }

void ConsoleView::SessionBegan(int nPort, const std::string& /*bindingPosition*/) {
    const uint32_t now = clock_.Now();
    std::lock_guard lock(mutex_);
    began_[nPort] = now;
    interim_.erase(nPort);
}

void ConsoleView::Step(int nPort, int /*nStep*/, uint32_t /*nTotal*/) {
    std::lock_guard lock(mutex_);
    interim_.erase(nPort);
}

void ConsoleView::Result(int nPort, bool /*success*/, const int* /*command*/, std::string_view /*message*/,
                         bool interim) {
    std::lock_guard lock(mutex_);
    if (interim) {
        interim_.insert(nPort);
    } else {
        interim_.erase(nPort);
    }
}

void ConsoleView::DrawLive(const std::vector<PortRow>& rows) {
    const uint32_t now = clock_.Now();
    if (!drawnOnce_) {
        firstShownMs_ = now;
    }
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
    const double seconds = (now - firstShownMs_) / 1000.0;
    const uint64_t bytes = totalBytes_ ? totalBytes_() : 0;
    std::set<int> interim;
    {
        std::lock_guard lock(mutex_);
        interim = interim_;
    }
    frame += CutAtCharacter(SummaryOfRows(rows, interim, seconds > 0 ? bytes / seconds : 0.0), columns_ - 1) + "\n";
    std::fputs(frame.c_str(), out_);
    std::fflush(out_);
    drawnLines_ = rows.size() + 1;
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
