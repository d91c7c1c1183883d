#include "app/console_terminal.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <ctime>

namespace korvane {

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

void OnStopSignal(int) { g_stopRequested = 1; }

}  // namespace

ConsoleSetup::ConsoleSetup() = default;
ConsoleSetup::~ConsoleSetup() = default;
void ConsoleSetup::HoldForReading() {}

// A terminal on Linux has no selection mode that stops the program's writes.
InputPause::InputPause() = default;
InputPause::~InputPause() = default;

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

size_t TerminalColumns() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 100;
}

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // One request is enough; a second signal ends a program that does not react.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() { return g_stopRequested != 0; }

void ConsoleWorkDone() {}

std::string LocalTimeOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

}  // namespace korvane
