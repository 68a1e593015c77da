#include "Interrupt.h"

#include <csignal>
#include <pthread.h>
#include <thread>

namespace ulvex {

void CatchInterrupts(std::function<void()> interrupted) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // Detached: the process ends with the run, whether a signal came or not.
    std::thread([signals, interrupted = std::move(interrupted)] {
        int signal = 0;
        if (sigwait(&signals, &signal) == 0) {
            interrupted();
        }
    }).detach();
}

} // namespace ulvex
