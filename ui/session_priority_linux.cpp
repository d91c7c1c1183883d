#include "ui/session_priority.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

namespace korvane {

namespace {
// Niceness added to a session thread: enough for the window's thread to be picked first
// when it wakes, little enough that sessions keep their share against other programs.
constexpr int kSessionNiceStep = 4;
}  // namespace

void LowerThisThreadForSession() {
    const auto thread = static_cast<id_t>(gettid());
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, thread);
    if (nice == -1 && errno != 0) {
        return;
    }
    setpriority(PRIO_PROCESS, thread, nice + kSessionNiceStep);
}

}  // namespace korvane
