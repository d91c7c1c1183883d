#include "app/console_terminal.h"
#include "app/console_events_windows.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <ctime>

namespace korvane {

namespace {

std::atomic<bool> g_stopRequested{false};

// Set once the run has written everything; a manual-reset event, so every waiter sees it.
HANDLE WorkDoneEvent() {
    static const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

BOOL WINAPI OnConsoleEvent(DWORD event) { return HandleConsoleEvent(event, kCloseGraceMs); }

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

// A console that takes the cursor moves of the live lines; false for a pipe, a file, or a
// console too old for them.
bool EnableCursorMoves(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0 &&
           ::SetConsoleMode(handle, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

// The code page the console had before the program, put back at exit: the console window
// outlives the program when it was started from a command prompt.
UINT g_savedOutputCp = 0;

}  // namespace

BOOL HandleConsoleEvent(DWORD event, DWORD close_grace_ms) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        // One request is enough; a second one ends a program that does not react.
        return g_stopRequested.exchange(true) ? FALSE : TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // Returning lets Windows end the process: first the run stops and writes its summary,
        // report and logs.
        g_stopRequested.store(true);
        ::WaitForSingleObject(WorkDoneEvent(), close_grace_ms);
        return TRUE;
    default:
        return FALSE;
    }
}

ConsoleSetup::ConsoleSetup() {
    g_savedOutputCp = ::GetConsoleOutputCP();
    if (g_savedOutputCp == 0) {
        return;  // no console: output goes to pipes or files as UTF-8 bytes
    }
    ::SetConsoleOutputCP(CP_UTF8);
    EnableCursorMoves(::GetStdHandle(STD_ERROR_HANDLE));
}

ConsoleSetup::~ConsoleSetup() {
    std::fflush(stdout);
    std::fflush(stderr);
    if (g_savedOutputCp != 0) {
        ::SetConsoleOutputCP(g_savedOutputCp);
    }
}

void ConsoleSetup::HoldForReading() {
    // A console of its own has this process alone attached; a command prompt's has two.
    DWORD processes[2];
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    if (::GetConsoleProcessList(processes, 2) != 1 || !IsConsole(input)) {
        return;
    }
    std::fputs("Press Enter to close this window.\n", stderr);
    std::fflush(stderr);
    ::FlushConsoleInputBuffer(input);
    wchar_t line[64];
    DWORD read = 0;
    ::ReadConsoleW(input, line, 64, &read, nullptr);
}

InputPause::InputPause() {
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input == nullptr || input == INVALID_HANDLE_VALUE || ::GetConsoleMode(input, &mode) == 0) {
        return;
    }
    // ENABLE_EXTENDED_FLAGS makes the console take the QuickEdit bit as given.
    if ((mode & ENABLE_QUICK_EDIT_MODE) != 0 &&
        ::SetConsoleMode(input, (mode | ENABLE_EXTENDED_FLAGS) & ~static_cast<DWORD>(ENABLE_QUICK_EDIT_MODE)) != 0) {
        savedMode_ = mode | ENABLE_EXTENDED_FLAGS;
        restore_ = true;
    }
}

InputPause::~InputPause() {
    if (restore_) {
        ::SetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), static_cast<DWORD>(savedMode_));
    }
}

bool StdoutIsTerminal() {
    static const bool prepared = EnableCursorMoves(::GetStdHandle(STD_OUTPUT_HANDLE));
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

void ConsoleWorkDone() { ::SetEvent(WorkDoneEvent()); }

std::string LocalTimeOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_s(&local, &now);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

}  // namespace korvane
