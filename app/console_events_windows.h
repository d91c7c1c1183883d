// The console control handler's rule, apart from its installation, so that a closing window
// can be played in tests. Windows builds only.
// Thread safety: the system calls the handler on a thread of its own.
#pragma once

#include <windows.h>

namespace korvane {

// Windows ends the process 5 s after it tells of a closing console window; the handler
// leaves a little of that for the process to end.
inline constexpr DWORD kCloseGraceMs = 4500;

// Ctrl-C and Ctrl-Break ask for a stop once (TRUE) and then leave the event to the system
// (FALSE). A closing window, logoff or shutdown asks for a stop and returns only when
// ConsoleWorkDone was called or close_grace_ms passed: the process ends when it returns.
BOOL HandleConsoleEvent(DWORD event, DWORD close_grace_ms);

}  // namespace korvane
