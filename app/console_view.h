// The console's picture of the port list. On a terminal: one live line per port with a
// progress bar, redrawn in place (ANSI cursor moves) a few times a second, under a
// summary line. Otherwise: a plain, time-stamped line for every change of a port's step,
// step text or result, and a progress line each time a transfer passes a tenth of its
// size or, for a slow one, every 2 s. The plain columns follow the window's: port, step
// text, status, progress, elapsed seconds of the session, binding position. A terminal
// found in its application and sent to its loader gets an interim line, not a failure.
// Thread safety: Observe and the session events may run on any thread (session threads,
// through the rows' listener); Show and Flush on the front end's thread only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/port_rows.h"
#include "engine/session_events.h"
#include "platform/tick.h"

namespace korvane {

// "[#####-----]" of the given inner width; an empty total shows an empty bar.
std::string ProgressBar(uint32_t done, uint32_t total, int width);
// Percent done, clamped to 0 .. 100.
int ProgressPercent(uint32_t done, uint32_t total);
// One port's line: port, binding position, step name, bar and percent (or the Progress
// text), time count and step text; cut to `width` bytes on a character boundary.
std::string FormatPortLine(const PortRow& row, size_t width);
// One port's plain line, in the window's column order: port, step text, status, percent
// (or the Progress text), elapsed seconds, binding position. An interim result reads as
// the terminal being sent to its loader, keeping its reason.
std::string FormatPlainLine(const PortRow& row, double elapsedSeconds, bool interim, size_t width);
// "passed P, failed F, in progress N, R KiB/s" over the rows.
std::string SummaryOfRows(const std::vector<PortRow>& rows, const std::set<int>& interimPorts, double bytesPerSecond);

class ConsoleView final : public ISessionEvents {
public:
    ConsoleView(std::FILE* out, bool live, size_t columns, Clock& clock = DefaultClock());

    // A row as it is right after one of its changes. Plain output keeps a line for it
    // when its step, step text or Progress text changed, or its progress moved and the
    // last progress line of the port is old enough.
    void Observe(const PortRow& row);
    // Writes what is due: the kept plain lines, or (live) a new picture of the rows at
    // most every 200 ms.
    void Show(const std::vector<PortRow>& rows);
    // Writes what is due now, whatever the throttle says.
    void Flush(const std::vector<PortRow>& rows);
    // Where the live summary reads the bytes sent so far in the run.
    void SetByteCounter(std::function<uint64_t()> totalBytes);

    void SessionBegan(int nPort, const std::string& bindingPosition) override;
    void Step(int nPort, int nStep, uint32_t nTotal) override;
    void Result(int nPort, bool success, const int* command, std::string_view message, bool interim) override;

private:
    struct Shown {
        std::string key;          // step, step text and Progress text last kept
        int percent = -1;         // progress last kept
        uint32_t progressMs = 0;  // when it was kept
    };

    void DrawLive(const std::vector<PortRow>& rows);
    void WritePlainLines();

    std::FILE* out_;
    const bool live_;
    const size_t columns_;
    Clock& clock_;
    size_t drawnLines_ = 0;
    uint32_t drawnMs_ = 0;
    bool drawnOnce_ = false;

    std::function<uint64_t()> totalBytes_;
    uint32_t firstShownMs_ = 0;

    std::mutex mutex_;            // guards what Observe and the events keep
    std::map<int, Shown> shown_;  // by port
    std::vector<std::string> pending_;
    std::map<int, uint32_t> began_;  // when each port's session began
    std::set<int> interim_;          // ports whose last result was interim
};

}  // namespace korvane
