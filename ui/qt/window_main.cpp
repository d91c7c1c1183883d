// The Qt window front end: the shared run driver with a Qt frame, its timers and its
// picture of the window.
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "app/console_run.h"
#include "app/front_ends.h"
#include "app/port_rows.h"
#include "platform/module_path.h"
#include "platform/tick.h"
#include "ui/qt/CMainFrame.h"
#include "ui/qt/resources.h"
#include "ui/window_options.h"
#include "ui/window_run.h"

namespace korvane {

namespace {

void ScheduleScreenshot(CMainFrame& frame, const WindowOptions& options) {
    QTimer::singleShot(options.screenshotAfterMs, &frame, [&frame, file = options.screenshotFile] {
        if (!frame.grab().save(QString::fromStdString(file))) {
            std::fprintf(stderr, "KorvaneAppDownload: cannot write %s\n", file.c_str());
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

    // Read after Qt has taken its own options (-platform and the like) out of argv.
    const WindowOptions options = ParseWindowOptions(std::vector<std::string>(argv, argv + argc), [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value != nullptr ? value : "");
    });
    if (!options.error.empty()) {
        std::fprintf(stderr, "KorvaneAppDownload: %s\n", options.error.c_str());
        return kConsoleStartupEnded;
    }

    CKorvaneAppDownloadApp app;
    PortRows rows(app);
    // A warning about the logs comes while run control handles a port; its message box
    // waits for the event loop.
    CMainFrame* warnOn = nullptr;
    WindowRun run(app, rows, options, [&warnOn](const std::string& warning) {
        if (warnOn != nullptr) {
            QTimer::singleShot(0, warnOn, [frame = warnOn, warning] { frame->Sink().ShowMessage(warning); });
        }
    }, DefaultClock());
    CMainFrame frame(app, rows, nullptr, nullptr, run.Parts());
    warnOn = &frame;
    run.Attach(frame.Logic(), frame.Run(), frame.Sink());

    // The operator sees the window while the configuration and images load. The window
    // is given the whole screen first, so it fills it even without a window manager.
    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen != nullptr) {
        frame.setGeometry(screen->availableGeometry());
    }
    frame.showMaximized();
    frame.repaint();
    QApplication::processEvents();
    if (!run.StartUp(OwnModuleDir())) {
        return run.Finish();
    }

    QTimer collector;
    QObject::connect(&collector, &QTimer::timeout, &frame, [&run, &frame] {
        if (run.OnCollect()) {
            frame.close();
        }
    });
    collector.start(kCollectMs);
    QTimer::singleShot(0, &frame, [&run, &frame] {
        if (!run.BeginRun()) {
            frame.close();
        }
    });
    if (!options.screenshotFile.empty()) {
        ScheduleScreenshot(frame, options);
    }
    QApplication::exec();
    collector.stop();
    return run.Finish();
}

}  // namespace korvane
