// The stop signals' flag and the self-pipe.
#include "StopSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace {

int gWakePipe[2] = {-1, -1};
volatile sig_atomic_t gStopSignal = 0;

void onStopSignal(int) {
    gStopSignal = 1;
    wakeMainLoop();
}

}  // namespace

void catchStopSignals() {
    if (gWakePipe[0] < 0 && pipe2(gWakePipe, O_NONBLOCK | O_CLOEXEC) != 0)
        throw std::runtime_error("cannot create a pipe");
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool stopRequested() { return gStopSignal != 0; }

void wakeMainLoop() {
    const int saved = errno;
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = write(gWakePipe[1], &byte, 1);
    errno = saved;
}

int wakeFd() { return gWakePipe[0]; }

void drainWakeFd() {
    char bytes[64];
    while (read(gWakePipe[0], bytes, sizeof bytes) > 0) {}
}
