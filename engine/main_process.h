// The body of a port's session thread: from attachment to "PASS" or a failure.
// Thread safety: one session per port runs at once with the others; each uses only its
// own record, channel and row, and only reads the application's configuration and data.
#pragma once

#include "engine/session.h"
#include "engine/thread_para.h"

namespace korvane {

// How a session ended.
enum class SessionEnd {
    kPassed,
    kFailed,    // a failure or a stop
    kPortLost,  // the terminal's device failed or went away ("Port lost")
};

// Thread entry: builds the session from the record (the run's clock, else the system's;
// the run's port view, which must be set) and runs it. A session that ended with its port
// lost closes its channel before it returns. Sets bFinished as it returns.
int MainProcess(_THREAD_PARA_T* para);
// The session itself, for tests with an injected clock and view.
SessionEnd RunSession(Session& s);

}  // namespace korvane
