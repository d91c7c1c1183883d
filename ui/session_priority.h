// Session threads started from the window run a little below the window's own thread:
// sixteen sessions signing and sending at full speed must not keep the window from
// painting or answering the operator. One file per platform.
// Thread safety: affects only the calling thread.
#pragma once

namespace korvane {

struct _THREAD_PARA_T;

// Lowers the calling thread's scheduling priority one notch (best effort; failure leaves
// it as it was).
void LowerThisThreadForSession();

// The body of a session thread started by the window: lowered, then the session driver.
int WindowSessionEntry(_THREAD_PARA_T* para);

}  // namespace korvane
