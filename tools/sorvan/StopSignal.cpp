#include "tools/sorvan/StopSignal.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t stopSignal = 0;

void OnStopSignal(int signal) {
    stopSignal = signal;
}

}  // namespace

void InstallStopHandler() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // The next signal gets the default action: a stuck device cannot trap the user.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() {
    return stopSignal != 0;
}

std::string StopSignalName() {
    return stopSignal == SIGTERM ? "SIGTERM" : "Ctrl-C";
}
