// The Win32 window front end: the shared run driver with a Win32 frame, the message loop's
// timers and the picture of the window.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/KorvaneAppDownloadApp.h"
#include "app/console_run.h"
#include "app/front_ends.h"
#include "app/port_rows.h"
#include "platform/module_path.h"
#include "platform/tick.h"
#include "ui/win32/main_frame.h"
#include "ui/win32/message_box_sink_win32.h"
#include "ui/win32/window_picture.h"
#include "ui/window_options.h"
#include "ui/window_run.h"

namespace korvane {

namespace {

// Posted to the loop by the run records when a warning waits for the operator.
constexpr UINT kWarnMessage = WM_APP + 7;

// Warnings about the session logs or the shared records, which may come from any thread,
// kept until the loop shows them.
class Warnings {
public:
    explicit Warnings(DWORD loopThread) : loopThread_(loopThread) {}
    void Add(const std::string& warning) {
        {
            std::lock_guard lock(mutex_);
            waiting_.push_back(warning);
        }
        PostThreadMessageW(loopThread_, kWarnMessage, 0, 0);
    }
    std::vector<std::string> Take() {
        std::lock_guard lock(mutex_);
        return std::exchange(waiting_, {});
    }

private:
    const DWORD loopThread_;
    std::mutex mutex_;
    std::vector<std::string> waiting_;
};

void Close(win32::MainFrame& frame) {
    PostMessageW(frame.Handle(), WM_CLOSE, 0, 0);
}

// Runs the window's messages until it has gone, serving the loop's own timers.
void RunMessageLoop(win32::MainFrame& frame, WindowRun& run, const WindowOptions& options,
                    Warnings& warnings, win32::MessageBoxSink& boxes) {
    // Thread timers of the loop (the system numbers them): collecting finished terminals,
    // and the picture of --screenshot.
    const UINT_PTR collectTimer = SetTimer(nullptr, 0, static_cast<UINT>(kCollectMs), nullptr);
    const UINT_PTR screenshotTimer =
        options.screenshotFile.empty() ? 0 : SetTimer(nullptr, 0, static_cast<UINT>(options.screenshotAfterMs), nullptr);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == WM_TIMER) {
            if (message.wParam == collectTimer && run.OnCollect()) {
                Close(frame);
            } else if (screenshotTimer != 0 && message.wParam == screenshotTimer) {
                KillTimer(nullptr, screenshotTimer);
                std::string error;
                if (!win32::SaveWindowPicture(frame.Handle(), options.screenshotFile, error)) {
                    std::fprintf(stderr, "KorvaneAppDownload: %s\n", error.c_str());
                }
                Close(frame);
            }
            continue;
        }
        if (message.hwnd == nullptr && message.message == kWarnMessage) {
            for (const std::string& warning : warnings.Take()) {
                boxes.ShowMessage(warning);
            }
            continue;
        }
        if (frame.TranslateAccelerators(message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    KillTimer(nullptr, collectTimer);
}

// A window that cannot start says why on stderr (scripts, a console it was started from) and
// in a box of its own (an operator who double-clicked), then ends with the status of a start-up
// that ended. Where there is no display the box cannot be made and only stderr tells.
int CannotStart(const std::string& why) {
    std::fprintf(stderr, "KorvaneAppDownload: %s\n", why.c_str());
    win32::MessageBoxSink().ShowMessage(why);
    return kConsoleStartupEnded;
}

}  // namespace

int RunWindow(int argc, char** argv) {
    const WindowOptions options = ParseWindowOptions(std::vector<std::string>(argv, argv + argc), [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value != nullptr ? value : "");
    });
    if (!options.error.empty()) {
        return CannotStart(options.error);
    }

    INITCOMMONCONTROLSEX controls{sizeof(controls), 0xFF};
    InitCommonControlsEx(&controls);

    CKorvaneAppDownloadApp app;
    PortRows rows(app);
    win32::MessageBoxSink boxes;
    // A warning about the logs comes while run control handles a port; its message box
    // waits for the message loop.
    Warnings warnings(GetCurrentThreadId());
    WindowRun run(app, rows, options, [&warnings](const std::string& warning) { warnings.Add(warning); },
                  DefaultClock());
    win32::MainFrame frame(app, rows, boxes, run.Parts());
    if (!frame.Create()) {
        // Without a display the system makes no window and often names no error.
        const DWORD error = GetLastError();
        return CannotStart(error != 0 ? "Cannot open the window (system error " + std::to_string(error) + ")."
                                      : "Cannot open the window: no display to show it on.");
    }
    boxes.SetOwner(frame.Handle());
    run.Attach(frame.Logic(), frame.Run(), boxes);

    // The operator sees the window while the configuration and images load.
    ShowWindow(frame.Handle(), SW_SHOWMAXIMIZED);
    UpdateWindow(frame.Handle());
    if (!run.StartUp(OwnModuleDir())) {
        return run.Finish();
    }
    if (!run.BeginRun()) {
        Close(frame);
    }
    RunMessageLoop(frame, run, options, warnings, boxes);
    return run.Finish();
}

}  // namespace korvane
