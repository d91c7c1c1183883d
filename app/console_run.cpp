#include "app/console_run.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "app/console_terminal.h"
#include "app/console_stop_rules.h"
#include "app/console_view.h"
#include "app/message_sink.h"
#include "app/port_rows.h"
#include "app/report_file.h"
#include "app/run_records.h"
#include "app/station_records.h"
#include "app/terminal_report.h"
#include "platform/text.h"

namespace korvane {

namespace {

constexpr auto kLoopWait = std::chrono::milliseconds(100);
constexpr uint32_t kTickMs = 1000;
// A loop that stopped draining would otherwise let the watcher grow the queue forever.
constexpr size_t kQueueLimit = 4096;
// Plain lines are not cut to a terminal's width; this only bounds a runaway step text.
constexpr size_t kPlainColumns = 240;

// Port changes queued by the watcher's thread for the console's loop.
class PortChangeQueue {
public:
    bool Post(uint32_t nPort, int lParam) {
        std::lock_guard lock(mutex_);
        if (changes_.size() >= kQueueLimit) {
            return false;
        }
        changes_.emplace_back(nPort, lParam);
        ready_.notify_one();
        return true;
    }

    // Everything queued, waiting up to `wait` for the first change.
    std::vector<std::pair<uint32_t, int>> Take(std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex_);
        ready_.wait_for(lock, wait, [this] { return !changes_.empty(); });
        return std::exchange(changes_, {});
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<std::pair<uint32_t, int>> changes_;
};

std::string SummaryLine(const TerminalOutcome& o) {
    std::string line = "COM" + std::to_string(o.nPort) + " #" + o.bindingPosition + " " +
                       (o.passed ? std::string("Passed") : "Failed:" + o.message);
    if (o.command) {
        line += " (command " + std::to_string(*o.command) + ")";
    }
    return line + ", " + std::to_string(o.bytes) + " bytes, " + DecimalText(o.seconds, 1) + " s";
}

}  // namespace

int RunConsoleDownload(CKorvaneAppDownloadApp& app, const ConsoleOptions& options, IMessageSink& sink,
                       std::FILE* out, Clock& clock) {
    PortChangeQueue queue;
    PortRows rows(app);
    const bool live = out == stdout && StdoutIsTerminal();
    ConsoleView view(out, live, live ? TerminalColumns() : kPlainColumns, clock);
    const bool showRows = !options.quiet;
    if (showRows) {
        // Every change of a row is seen as it happens, so plain output misses no step.
        rows.SetListener([&rows, &view](int nItem) {
            if (const std::optional<PortRow> row = rows.RowAt(nItem)) {
                view.Observe(*row);
            }
        });
    }
    const auto warn = [&sink](const std::string& warning) { sink.ShowMessage(warning); };
    RunRecords records(rows, options.logDir, warn);
    records.AddListener(view);
    // The writer takes rows until the run's end; made before Start, so the rows an earlier
    // run left in the spool go first.
    const std::unique_ptr<StationRecords> station = StationRecords::Open(
        {options.records, options.station}, app.exeDir, [&sink](const std::string& warning) { sink.ShowMessage(warning); });
    if (station) {
        records.AddFinishedListener([&station](const TerminalOutcome& outcome) { station->Add(outcome); });
    }
    // On disk after each finished terminal, so a crash keeps the rows finished before it.
    ReportFile report(options.reportFile, warn);
    records.AddFinishedListener([&report](const TerminalOutcome& outcome) { report.Add(outcome); });
    view.SetByteCounter([&records] { return records.TotalBytes(); });
    RunControlParts parts;
    parts.view = &records.View();
    parts.events = &records.Events();
    RunControl run(app, rows, sink, [&queue](uint32_t nPort, int lParam) { return queue.Post(nPort, lParam); },
                   std::move(parts));
    InstallStopSignals();
    if (!run.OnStart()) {
        return kConsoleStartRefused;
    }
    const InputPause inputPause;

    const uint32_t started = clock.Now();
    uint32_t nextTick = started + kTickMs;
    uint64_t shownVersion = rows.Version();
    const std::vector<TerminalOutcome>& finished = records.Finished();
    const auto collectFinished = [&] { records.Collect(run); };

    ConsoleStop stop = ConsoleStop::kGoOn;
    for (;;) {
        stop = ConsoleStopReason(options, StopRequested(), clock.Now() - started, finished.size());
        if (stop != ConsoleStop::kGoOn) {
            break;
        }
        for (const auto& [nPort, lParam] : queue.Take(kLoopWait)) {
            run.OnPortChange(nPort, lParam);
        }
        collectFinished();
        const uint32_t now = clock.Now();
        if (run.TimerArmed() && TickDue(nextTick, now)) {
            run.OnTimer();
            nextTick = NextTickAfter(nextTick, now, kTickMs);
        }
        if (showRows && !live) {
            view.Show({});
        } else if (const uint64_t version = rows.Version(); showRows && version != shownVersion) {
            shownVersion = version;
            view.Show(rows.Snapshot());
        }
    }
    if (showRows) {
        view.Flush(rows.Snapshot());
    }
    collectFinished();
    // Sessions still running end now, each as a failed terminal ("Stopped").
    run.OnStop();
    collectFinished();
    rows.SetListener(nullptr);

    size_t failed = 0;
    for (const TerminalOutcome& outcome : finished) {
        failed += outcome.passed ? 0 : 1;
        std::fprintf(out, "%s\n", SummaryLine(outcome).c_str());
    }
    std::fprintf(out, "%zu terminals finished: %zu passed, %zu failed\n", finished.size(), finished.size() - failed,
                 failed);
    const bool countMissed = ConsoleCountMissed(options, stop, finished.size());
    if (countMissed) {
        std::fprintf(out, "timed out after %d s with %zu of %d terminals finished\n", options.timeoutSeconds,
                     finished.size(), options.count);
    }
    std::fflush(out);

    // Written once more even when no terminal finished: an empty report says so.
    const bool reportWritten = report.Write();
    return ConsoleExitStatus(failed, countMissed, reportWritten);
}

}  // namespace korvane
