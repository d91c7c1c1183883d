#include "app/console_terminal.h"

#include <windows.h>

#include <atomic>
#include <ctime>

namespace korvane {

namespace {

std::atomic<bool> g_stopRequested{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    // One request is enough; a second one ends a program that does not react.
    if (g_stopRequested.exchange(true)) {
        return FALSE;
    }
    return TRUE;
}

// A console that takes the cursor moves of the live lines, and shows the UTF-8 the
// program writes; false for a pipe, a file, or a console too old for either.
bool PrepareConsole() {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == nullptr || out == INVALID_HANDLE_VALUE || ::GetConsoleMode(out, &mode) == 0) {
        return false;
    }
    if (::SetConsoleMode(out, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0) {
        return false;
    }
    ::SetConsoleOutputCP(CP_UTF8);
    return true;
}

}  // namespace

bool StdoutIsTerminal() {
    static const bool prepared = PrepareConsole();
    return prepared;
}

size_t TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info) != 0) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0) {
            return static_cast<size_t>(columns);
        }
    }
    return 100;
}

void InstallStopSignals() { ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool StopRequested() { return g_stopRequested.load(); }

std::string LocalTimeOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_s(&local, &now);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

}  // namespace korvane
