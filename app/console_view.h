// The console's picture of the port list. On a terminal: one live line per port with a
// progress bar, redrawn in place (ANSI cursor moves) a few times a second. Otherwise: a
// plain, time-stamped line whenever a port's step, step text or result changes, and
// progress lines at most twice a second per port.
// Thread safety: the front end's thread only; it hands in copies of the rows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
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

    // Shows what changed since the last call (live: redraws, at most every 200 ms).
    void Show(const std::vector<PortRow>& rows);
    // Shows the rows now, whatever the throttle says.
    void Flush(const std::vector<PortRow>& rows);

private:
    struct Shown {
        std::string key;          // step, step text and Progress text last printed
        int percent = -1;         // progress last printed
        uint32_t progressMs = 0;  // when it was printed
    };

    void DrawLive(const std::vector<PortRow>& rows);
    void PrintChanges(const std::vector<PortRow>& rows);

    std::FILE* out_;
    bool live_;
    size_t columns_;
    Clock& clock_;
    size_t drawnLines_ = 0;
    uint32_t drawnMs_ = 0;
    bool drawnOnce_ = false;
    std::map<int, Shown> shown_;  // by port
};

}  // namespace korvane
