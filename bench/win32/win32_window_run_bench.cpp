// One round of the Win32 window's cost on a run, for bench/win32/wine_window_bench.sh: the
// console loop, or the main window run as the program runs it (shown maximized, Start
// pressed, the finished terminals collected) with a 10 ms timer watching its message loop,
// until the given number of terminals finished. The terminals are the Linux simulator's,
// plugged in by the script once this program writes its ready file.
//
// Usage: win32_window_run_bench console|window CONFIG_DIR COUNT READY_FILE
// Prints "RUN_MS LONGEST_GAP_MS CPU_SECONDS BYTES LONGEST_MESSAGE_MS MESSAGE" (gap and
// message 0 for the console): run time and the process's CPU from Start until every
// terminal finished (start-up is not counted), the bytes the terminals took, and the
// longest single message the window's loop handled with its number. Exit status 0, or 2
// when the round failed.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "app/console_options.h"
#include "app/console_run.h"
#include "app/port_rows.h"
#include "app/process_env.h"
#include "app/stderr_sink.h"
#include "bench/process_figures.h"
#include "platform/module_path.h"
#include "platform/tick.h"
#include "ui/win32/main_frame.h"
#include "ui/window_options.h"
#include "ui/window_run.h"

namespace {

using Clock = std::chrono::steady_clock;
using korvane::bench::ProcessCpuSeconds;

constexpr UINT kTickMs = 10;
constexpr int kRoundLimitSeconds = 180;

double MsSince(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

void SayReady(const std::string& file) {
    if (std::FILE* ready = std::fopen(file.c_str(), "w"); ready != nullptr) {
        std::fclose(ready);
    }
}

// The bytes of every finished terminal, from the console's closing lines ("COM20 #1 Passed,
// 1048576 bytes, 3.2 s").
uint64_t BytesInSummary(const std::string& file) {
    std::ifstream in(file);
    uint64_t total = 0;
    for (std::string line; std::getline(in, line);) {
        const size_t unit = line.rfind(" bytes, ");
        const size_t start = line.rfind(' ', unit - 1);
        if (unit != std::string::npos && start != std::string::npos && start + 1 < unit) {
            total += std::strtoull(line.substr(start + 1, unit - start - 1).c_str(), nullptr, 10);
        }
    }
    return total;
}

int ConsoleRound(const std::string& config, int count, const std::string& ready) {
    korvane::CKorvaneAppDownloadApp app;
    korvane::StderrMessageSink sink;
    if (!app.InitInstance(sink, config, korvane::OwnModuleDir())) {
        return 2;
    }
    korvane::ConsoleOptions options;
    options.count = count;
    options.timeoutSeconds = kRoundLimitSeconds;
    // The rows go to a file, as when the console's output is redirected.
    const std::string rowsFile = ready + ".rows";
    std::FILE* rows = std::fopen(rowsFile.c_str(), "w");
    if (rows == nullptr) {
        return 2;
    }
    SayReady(ready);
    const double cpu = ProcessCpuSeconds();
    const Clock::time_point started = Clock::now();
    const int status = korvane::RunConsoleDownload(app, options, sink, rows);
    const double elapsed = MsSince(started);
    const double used = ProcessCpuSeconds() - cpu;
    std::fclose(rows);
    app.ExitInstance();
    std::printf("%.1f 0 %.3f %" PRIu64 " 0 0\n", elapsed, used, BytesInSummary(rowsFile));
    return status == korvane::kConsoleAllPassed ? 0 : 2;
}

int WindowRound(const std::string& config, int count, const std::string& ready) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), 0xFF};
    InitCommonControlsEx(&controls);
    korvane::CKorvaneAppDownloadApp app;
    korvane::PortRows rows(app);
    korvane::StderrMessageSink sink;
    korvane::WindowOptions options;
    options.configDir = config;
    options.autostart = true;
    options.count = count;
    options.timeoutSeconds = kRoundLimitSeconds;
    korvane::WindowRun run(app, rows, options, [](const std::string&) {}, korvane::DefaultClock());
    korvane::win32::MainFrame frame(app, rows, sink, run.Parts());
    if (!frame.Create()) {
        return 2;
    }
    run.Attach(frame.Logic(), frame.Run(), sink);
    ShowWindow(frame.Handle(), SW_SHOWMAXIMIZED);
    UpdateWindow(frame.Handle());
    if (!run.StartUp(korvane::OwnModuleDir())) {
        run.Finish();
        return 2;
    }

    // Thread timers: the system picks their ids (the id asked for is ignored without a
    // window), so each is told by the id SetTimer returned.
    const UINT_PTR tickTimer = SetTimer(nullptr, 0, kTickMs, nullptr);
    const UINT_PTR collectTimer = SetTimer(nullptr, 0, kTickMs, nullptr);
    if (tickTimer == 0 || collectTimer == 0) {
        run.Finish();
        return 2;
    }
    const double cpu = ProcessCpuSeconds();
    const Clock::time_point started = Clock::now();
    if (!run.BeginRun()) {
        run.Finish();
        return 2;
    }
    SayReady(ready);
    Clock::time_point lastTick = Clock::now();
    double longestGap = 0;
    // The longest single message and its number: a long one is work on the window thread,
    // a long gap without one is the thread waiting outside the messages.
    double longestMessage = 0;
    UINT longestWhat = 0;
    bool ended = false;
    MSG message{};
    while (!ended && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr) {
            if (message.wParam == tickTimer) {
                longestGap = std::max(longestGap, MsSince(lastTick));
                lastTick = Clock::now();
            } else if (message.wParam == collectTimer) {
                ended = run.OnCollect();  // --count reached, or the round's time limit
            }
            continue;
        }
        if (frame.TranslateAccelerators(message)) {
            continue;
        }
        const Clock::time_point dispatched = Clock::now();
        TranslateMessage(&message);
        DispatchMessageW(&message);
        if (const double took = MsSince(dispatched); took > longestMessage) {
            longestMessage = took;
            longestWhat = message.message;
        }
    }
    const double elapsed = MsSince(started);
    const double used = ProcessCpuSeconds() - cpu;
    KillTimer(nullptr, tickTimer);
    KillTimer(nullptr, collectTimer);
    uint64_t bytes = 0;
    for (const korvane::TerminalOutcome& outcome : run.Finished()) {
        bytes += outcome.bytes;
    }
    const int status = run.Finish();
    std::printf("%.1f %.1f %.3f %" PRIu64 " %.1f %u\n", elapsed, longestGap, used, bytes, longestMessage, longestWhat);
    return status == korvane::kConsoleAllPassed ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = korvane::Utf8Arguments(argc, argv);
    if (arguments.size() != 5 || (arguments[1] != "console" && arguments[1] != "window")) {
        std::fprintf(stderr, "usage: win32_window_run_bench console|window CONFIG_DIR COUNT READY_FILE\n");
        return 2;
    }
    const int count = std::max(1, std::atoi(arguments[3].c_str()));
    return arguments[1] == "window" ? WindowRound(arguments[2], count, arguments[4])
                                    : ConsoleRound(arguments[2], count, arguments[4]);
}
