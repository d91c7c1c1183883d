// The console's run after start-up: Start at once, then a loop that hands the watcher's
// port changes to run control, drives the one-second tick and shows the rows, until
// Ctrl-C, --count finished terminals or --timeout; then Stop, a summary and the report.
// Thread safety: the front end's thread; the watcher queues port changes from its own.
#pragma once

#include <cstdio>

#include "app/console_options.h"
#include "app/run_control.h"
#include "platform/tick.h"

namespace korvane {

class CKorvaneAppDownloadApp;
class IMessageSink;

// Exit statuses of the console front end.
inline constexpr int kConsoleAllPassed = 0;
inline constexpr int kConsoleSomeFailed = 1;
inline constexpr int kConsoleStartupEnded = 2;
inline constexpr int kConsoleStartRefused = 3;

// Runs the download after a complete start-up; returns the exit status (0, 1 or 3). The
// time-out, the one-second tick and the view's pacing read the given clock.
int RunConsoleDownload(CKorvaneAppDownloadApp& app, const ConsoleOptions& options, IMessageSink& sink,
                       std::FILE* out = stdout, Clock& clock = DefaultClock());

}  // namespace korvane
