// The window front end: the main window first, painted, then the rest of start-up.
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <optional>

#include "app/KorvaneAppDownloadApp.h"
#include "app/config_location.h"
#include "app/front_ends.h"
#include "app/port_rows.h"
#include "app/run_control.h"
#include "platform/module_path.h"
#include "ui/CMainFrame.h"
#include "ui/resources.h"
#include "ui/window_options.h"

namespace korvane {

namespace {

constexpr int kStartupEnded = 2;

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

    const WindowOptions options = ParseWindowOptions(QCoreApplication::arguments());
    if (!options.error.empty()) {
        std::fprintf(stderr, "KorvaneAppDownload: %s\n", options.error.c_str());
        return kStartupEnded;
    }

    CKorvaneAppDownloadApp app;
    PortRows rows(app);
    app.portView = &rows;
    CMainFrame frame(app, rows);
    app.messageSink = &frame.Sink();

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

    if (options.autostart) {
        QTimer::singleShot(0, &frame, &CMainFrame::OnStart);
    }
    if (!options.screenshotFile.isEmpty()) {
        ScheduleScreenshot(frame, options);
    }
    const int status = QApplication::exec();
    frame.OnStop();
    app.portView = nullptr;
    app.messageSink = nullptr;
    app.ExitInstance();
    return status;
}

}  // namespace korvane
