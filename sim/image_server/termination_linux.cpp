#include "sim/image_server/termination.h"

#include <pthread.h>
#include <signal.h>

namespace korvane::sim {

namespace {

sigset_t TerminationSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

void PrepareTerminationWait() {
    const sigset_t signals = TerminationSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void WaitForTermination() {
    const sigset_t signals = TerminationSignals();
    int received = 0;
    sigwait(&signals, &received);
}

}  // namespace korvane::sim
