// What the console needs from the platform: the console set up for its output and put back
// at exit, whether stdout is a terminal and how wide, Ctrl-C, termination and closing the
// console window as a stop request, and the local time of day for its lines.
// Thread safety: ConsoleSetup, InputPause, InstallStopSignals and ConsoleWorkDone on the
// front end's thread; the rest from any thread.
#pragma once

#include <cstddef>
#include <string>

namespace korvane {

// For the console program's life, from before its first line: on Windows the console shows
// the UTF-8 the program writes on stdout and stderr, and gets its code pages and input mode
// back when the object goes. Nothing to do on Linux.
class ConsoleSetup {
public:
    ConsoleSetup();
    ~ConsoleSetup();
    ConsoleSetup(const ConsoleSetup&) = delete;
    ConsoleSetup& operator=(const ConsoleSetup&) = delete;

    // Before the program ends with a start-up message: when it has a console window of its
    // own (started by a double-click), waits for Enter so the message can be read.
    void HoldForReading();
};

// While a run is in progress: a mouse selection in the console window (QuickEdit) would stop
// every write, and with it the loop; it is switched off and put back afterwards.
class InputPause {
public:
    InputPause();
    ~InputPause();
    InputPause(const InputPause&) = delete;
    InputPause& operator=(const InputPause&) = delete;

private:
    unsigned long savedMode_ = 0;
    bool restore_ = false;
};

bool StdoutIsTerminal();
// Columns of the terminal on stdout; 100 when it cannot be told.
size_t TerminalColumns();

// From now on the first SIGINT or SIGTERM (Windows: Ctrl-C or Ctrl-Break) asks the console
// to stop (a second one ends the process the ordinary way). Closing the console window on
// Windows asks it to stop too, and holds the process until ConsoleWorkDone, for the few
// seconds Windows allows.
void InstallStopSignals();
bool StopRequested();
// The run has stopped and its summary, report and logs are written: a closing console
// window may end the process now.
void ConsoleWorkDone();

// "HH:MM:SS" of the local time now.
std::string LocalTimeOfDay();

}  // namespace korvane
