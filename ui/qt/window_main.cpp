// The window front end: the main window first, painted, then the rest of start-up.
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include <optional>

#include "app/KorvaneAppDownloadApp.h"
#include "app/config_location.h"
#include "app/front_ends.h"
#include "app/port_rows.h"
#include "app/run_control.h"
#include "app/run_records.h"
#include "app/station_records.h"
#include "app/terminal_report.h"
#include "platform/module_path.h"
#include "ui/qt/CMainFrame.h"
#include "ui/qt/resources.h"
#include "ui/qt/window_options.h"

namespace korvane {

namespace {

constexpr int kStartupEnded = 2;
// How often finished sessions are collected for the report and their logs written.
constexpr int kCollectMs = 500;

// Rewrites the report after each finished terminal, so that it is whole at any moment;
// a report that cannot be written is told once, on stderr.
class ReportKeeper {
public:
    explicit ReportKeeper(std::string file) : file_(std::move(file)) {}

    void Write(const std::vector<TerminalOutcome>& outcomes) {
        std::string error;
        if (file_.empty() || WriteReport(file_, outcomes, error) || std::exchange(told_, true)) {
            return;
        }
        std::fprintf(stderr, "KorvaneAppDownload: %s\n", error.c_str());
    }

private:
    std::string file_;
    bool told_ = false;
};

void ScheduleScreenshot(CMainFrame& frame, const WindowOptions& options) {
    QTimer::singleShot(options.screenshotAfterMs, &frame, [&frame, file = options.screenshotFile] {
        if (!frame.grab().save(file)) {
            std::fprintf(stderr, "KorvaneAppDownload: cannot write %s\n", qPrintable(file));
        }
        frame.close();
    });
}

}  // namespace

int RunWindow(int argc, char** argv) {
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("应用程序向导生成的本地应用程序"));
    QCoreApplication::setApplicationName(QStringLiteral("KorvaneAppDownload"));
    EnsureUiResources();

    const WindowOptions options =
        ParseWindowOptions(QCoreApplication::arguments(), QProcessEnvironment::systemEnvironment());
    if (!options.error.empty()) {
        std::fprintf(stderr, "KorvaneAppDownload: %s\n", options.error.c_str());
        return kStartupEnded;
    }

    CKorvaneAppDownloadApp app;
    PortRows rows(app);
    app.portView = &rows;
    // A warning about the logs comes while run control handles a port; its message box
    // waits for the event loop.
    CMainFrame* warnOn = nullptr;
    RunRecords records(rows, options.logDir, [&warnOn](const std::string& warning) {
        if (warnOn != nullptr) {
            QTimer::singleShot(0, warnOn, [frame = warnOn, warning] { frame->Sink().ShowMessage(warning); });
        }
    });
    RunControlParts parts;
    parts.view = &records.View();
    parts.events = &records.Events();
    CMainFrame frame(app, rows, nullptr, nullptr, std::move(parts));
    warnOn = &frame;
    app.messageSink = &frame.Sink();
    ReportKeeper report(options.reportFile);
    const auto collect = [&records, &frame, &report] {
        if (records.Collect(frame.Run()) > 0) {
            report.Write(records.Finished());
        }
    };
    QTimer collector;
    std::unique_ptr<StationRecords> station;
    const auto openRecords = [&] {
        station = StationRecords::Open({options.records, options.station}, app.exeDir, [&frame](const std::string& warning) {
            QTimer::singleShot(0, &frame, [&frame, warning] { frame.Sink().ShowMessage(warning); });
        });
        if (station) {
            records.AddFinishedListener([&station](const TerminalOutcome& outcome) { station->Add(outcome); });
        }
    };
    if (!options.reportFile.empty() || !options.logDir.empty() || !options.records.empty()) {
        QObject::connect(&collector, &QTimer::timeout, &frame, collect);
        collector.start(kCollectMs);
        // A stop discards what run control still holds of the ended sessions.
        frame.SetBeforeStop(collect);
    }

    // The operator sees the window while the configuration and images load. The window
    // is given the whole screen first, so it fills it even without a window manager.
    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen != nullptr) {
        frame.setGeometry(screen->availableGeometry());
    }
    frame.showMaximized();
    frame.repaint();
    QApplication::processEvents();

    const std::string moduleDir = OwnModuleDir();
    const std::optional<std::string> configDir = LocateConfig(options.configDir, moduleDir, frame.Sink(), true);
    if (!configDir || !app.InitInstance(frame.Sink(), *configDir, moduleDir)) {
        app.ExitInstance();
        return kStartupEnded;
    }
    openRecords();

    if (options.autostart) {
        QTimer::singleShot(0, &frame, &CMainFrame::OnStart);
    }
    if (!options.screenshotFile.isEmpty()) {
        ScheduleScreenshot(frame, options);
    }
    const int status = QApplication::exec();
    collector.stop();
    frame.OnStop();
    frame.SetBeforeStop(nullptr);
    report.Write(records.Finished());
    station.reset();
    app.portView = nullptr;
    app.messageSink = nullptr;
    app.ExitInstance();
    return status;
}

}  // namespace korvane
