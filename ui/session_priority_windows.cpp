#include "ui/session_priority.h"

#include <windows.h>

namespace korvane {

void LowerThisThreadForSession() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace korvane
