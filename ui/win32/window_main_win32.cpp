// The window front end on Windows: the main window first, painted, then the rest of
// start-up, then the message loop until the window closes.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <optional>
#include <string>

#include "app/KorvaneAppDownloadApp.h"
#include "app/config_location.h"
#include "app/front_ends.h"
#include "app/port_rows.h"
#include "platform/module_path.h"
#include "ui/win32/main_frame.h"
#include "ui/win32/message_box_sink_win32.h"

namespace korvane {

namespace {

constexpr int kStartupEnded = 2;

// Runs the frame's messages until the window has gone; the quit message's code.
int RunMessageLoop(win32::MainFrame& frame) {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (frame.TranslateAccelerators(message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int RunWindow(int argc, char** argv) {
    std::string configDir;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--config-dir" && i + 1 < argc) {
            configDir = argv[++i];
        } else {
            std::fprintf(stderr, "KorvaneAppDownload: unknown or incomplete option: %s\n", option.c_str());
            return kStartupEnded;
        }
    }

    INITCOMMONCONTROLSEX controls{sizeof(controls), 0xFF};
    InitCommonControlsEx(&controls);

    CKorvaneAppDownloadApp app;
    PortRows rows(app);
    app.portView = &rows;
    win32::MessageBoxSink boxes;
    win32::MainFrame frame(app, rows, boxes);
    if (!frame.Create()) {
        return kStartupEnded;
    }
    boxes.SetOwner(frame.Handle());
    app.messageSink = &boxes;

    // The operator sees the window while the configuration and images load.
    ShowWindow(frame.Handle(), SW_SHOWMAXIMIZED);
    UpdateWindow(frame.Handle());

    const std::string moduleDir = OwnModuleDir();
    const std::optional<std::string> found = LocateConfig(configDir, moduleDir, boxes, true);
    if (!found || !app.InitInstance(boxes, *found, moduleDir)) {
        app.ExitInstance();
        return kStartupEnded;
    }
    const int status = RunMessageLoop(frame);
    frame.OnStop();
    app.portView = nullptr;
    app.messageSink = nullptr;
    app.ExitInstance();
    return status;
}

}  // namespace korvane
