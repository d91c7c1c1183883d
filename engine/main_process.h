// The body of a port's session thread: from attachment to "PASS" or a failure.
// Thread safety: one session per port runs at once with the others; each uses only its
// own record, channel and row, and only reads the application's configuration and data.
#pragma once

#include "engine/session.h"
#include "engine/thread_para.h"

namespace korvane {

// Thread entry: builds the session from the record (system clock, the application's
// port view, which must be set) and runs it. Sets bFinished as it returns.
int MainProcess(_THREAD_PARA_T* para);
// The session itself, for tests with an injected clock and view.
int RunSession(Session& s);

}  // namespace korvane
