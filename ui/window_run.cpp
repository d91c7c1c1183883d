#include "ui/window_run.h"

#include <optional>
#include <utility>

#include "app/KorvaneAppDownloadApp.h"
#include "app/config_location.h"
#include "app/console_run.h"
#include "app/message_sink.h"
#include "app/port_rows.h"
#include "app/station_records.h"
#include "platform/tick.h"
#include "ui/frame_logic.h"

namespace korvane {

WindowRun::WindowRun(CKorvaneAppDownloadApp& app, PortRows& rows, const WindowOptions& options, Warn warn,
                     Clock& clock)
    : app_(app),
      options_(options),
      clock_(clock),
      warn_(std::move(warn)),
      records_(rows, options.logDir, warn_),
      report_(options.reportFile, warn_) {
    // On disk after each finished terminal, so a crash keeps the rows finished before it.
    records_.AddFinishedListener([this](const TerminalOutcome& outcome) { report_.Add(outcome); });
}

WindowRun::~WindowRun() = default;

RunControlParts WindowRun::Parts(RunControlParts parts) {
    parts.view = &records_.View();
    parts.events = &records_.Events();
    return parts;
}

void WindowRun::Attach(FrameLogic& frame, RunControl& run, IMessageSink& sink) {
    frame_ = &frame;
    run_ = &run;
    sink_ = &sink;
    // What ended before a Stop is taken at once; what the Stop ends, at the next collect.
    frame_->SetBeforeStop([this] { records_.Collect(*run_); });
}

bool WindowRun::StartUp(const std::string& moduleDir) {
    const std::optional<std::string> configDir = LocateConfig(options_.configDir, moduleDir, *sink_, true);
    if (!configDir || !app_.InitInstance(*sink_, *configDir, moduleDir)) {
        stage_ = Stage::kStartUpEnded;
        return false;
    }
    // The records' spool lies in the configuration folder, known only now.
    station_ = StationRecords::Open({options_.records, options_.station}, app_.exeDir, warn_);
    if (station_) {
        records_.AddFinishedListener([this](const TerminalOutcome& outcome) { station_->Add(outcome); });
    }
    return true;
}

bool WindowRun::BeginRun() {
    lastTick_ = clock_.Now();
    stage_ = Stage::kStarted;
    if (options_.autostart) {
        frame_->OnStart();
        if (!run_->Running()) {
            stage_ = Stage::kRefused;
            return false;
        }
    }
    return true;
}

bool WindowRun::OnCollect() {
    records_.Collect(*run_);
    if (stage_ != Stage::kStarted) {
        return false;
    }
    const uint32_t now = clock_.Now();
    elapsedMs_ += static_cast<uint32_t>(now - lastTick_);
    lastTick_ = now;
    if (options_.count > 0 && records_.Finished().size() >= static_cast<size_t>(options_.count)) {
        return true;
    }
    if (options_.timeoutSeconds > 0 && elapsedMs_ >= uint64_t{1000} * static_cast<uint64_t>(options_.timeoutSeconds)) {
        timedOut_ = true;
        return true;
    }
    return false;
}

int WindowRun::Finish() {
    int status = kConsoleAllPassed;
    if (stage_ == Stage::kStartUpEnded) {
        status = kConsoleStartupEnded;
    } else if (frame_ != nullptr) {
        // Sessions still running end now, each as a failed terminal ("Stopped").
        frame_->OnStop();
        records_.Collect(*run_);
        const bool reportWritten = report_.Write();
        size_t failed = 0;
        for (const TerminalOutcome& outcome : records_.Finished()) {
            failed += outcome.passed ? 0 : 1;
        }
        // Waiting for N terminals and seeing fewer is not a success.
        const bool countMissed = timedOut_ && options_.count > 0 &&
                                 records_.Finished().size() < static_cast<size_t>(options_.count);
        if (stage_ == Stage::kRefused) {
            status = kConsoleStartRefused;
        } else if (failed > 0 || countMissed || !reportWritten) {
            status = kConsoleSomeFailed;
        }
    }
    if (frame_ != nullptr) {
        frame_->SetBeforeStop(nullptr);
    }
    station_.reset();
    app_.ExitInstance();
    return status;
}

}  // namespace korvane
