// The console's picture of the port list. On a terminal: one live line per port with a
// progress bar, redrawn in place (ANSI cursor moves) a few times a second. Otherwise: a
// plain, time-stamped line for every change of a port's step, step text or result, and
// progress lines at most twice a second per port.
// Thread safety: Observe may run on any thread (session threads, through the rows'
// listener); Show and Flush on the front end's thread only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/port_rows.h"
#include "platform/tick.h"

namespace korvane {

// "[#####-----]" of the given inner width; an empty total shows an empty bar.
std::string ProgressBar(uint32_t done, uint32_t total, int width);
// Percent done, clamped to 0 .. 100.
int ProgressPercent(uint32_t done, uint32_t total);
// One port's line: port, binding position, step name, bar and percent (or the Progress
// text), time count and step text; cut to `width` bytes on a character boundary.
std::string FormatPortLine(const PortRow& row, size_t width);

class ConsoleView {
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

    std::mutex mutex_;            // guards what Observe keeps
    std::map<int, Shown> shown_;  // by port
    std::vector<std::string> pending_;
};

}  // namespace korvane
