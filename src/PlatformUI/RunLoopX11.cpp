// How a run loop sleeps with X11: a poll on its windows' X connections and on
// an eventfd that other threads write to when they post work.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "PlatformUI/CairoX11Private.h"
#include "PlatformUI/RunLoop.h"

namespace platform_ui {

LoopWaiter* newLoopWaiter() { return new LoopWaiter{eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)}; }

void deleteLoopWaiter(LoopWaiter* waiter) {
    close(waiter->fd);
    delete waiter;
}

void wakeLoop(LoopWaiter* waiter) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(waiter->fd, &one, sizeof one);
}

void clearLoopWakes(LoopWaiter* waiter) {
    uint64_t drained;
    while (read(waiter->fd, &drained, sizeof drained) > 0) {}
}

}  // namespace platform_ui

namespace {

void waitFor(CFRunLoopRef loop, double seconds) {
    std::vector<pollfd> fds{{loop->waiter->fd, POLLIN, 0}};
    for (WindowRef w : loop->windows)
        if (int fd = platform_ui::windowFd(w); fd >= 0) fds.push_back({fd, POLLIN, 0});
    poll(fds.data(), fds.size(), int(std::ceil(std::max(0.0, seconds) * 1000.0)));
}

}  // namespace

void RunLoopRunFor(CFRunLoopRef loop, double seconds) {
    if (!loop) return;
    const Clock::time_point end =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    for (;;) {
        const double next = RunLoopRunDue(loop);
        const double left = std::chrono::duration<double>(end - Clock::now()).count();
        if (left <= 0) return;
        waitFor(loop, std::min(next, left));
    }
}

void RunApplicationEventLoop() {
    CFRunLoopRef loop = CFRunLoopGetCurrent();
    loop->quit = false;
    while (!loop->quit) {
        const double next = RunLoopRunDue(loop);
        if (!loop->quit) waitFor(loop, next);
    }
}
