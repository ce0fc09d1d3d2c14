// One run loop per user-interface thread: its windows' X input and update
// passes, event-loop timers, and work posted from any thread.
#include "PlatformUI/RunLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

#include "PlatformUI/PlatformUIPrivate.h"

struct OpaqueEventLoopTimerRef {
    CFRunLoopRef loop;
    Clock::time_point due;
    Clock::duration interval;
    EventLoopTimerUPP proc;
    void* userData;
};

struct __CFRunLoop {
    std::thread::id thread = std::this_thread::get_id();
    std::vector<WindowRef> windows;
    std::vector<EventLoopTimerRef> timers;
    std::atomic<bool> quit{false};
    int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);

    struct Work {
        Clock::time_point when;
        std::function<void()> work;
    };
    std::mutex lock;  // guards `posted` only: the one thing other threads touch
    std::vector<Work> posted;

    ~__CFRunLoop() {
        for (EventLoopTimerRef t : timers) delete t;
        close(wakeFd);
    }
    void wake() const {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(wakeFd, &one, sizeof one);
    }
    bool buttonHeld() const {
        return std::any_of(windows.begin(), windows.end(), [](WindowRef w) { return w->buttonDown; });
    }
    Clock::time_point nextDeadline(Clock::time_point now) {
        Clock::time_point next = now + std::chrono::seconds(1);
        if (!buttonHeld())
            for (EventLoopTimerRef t : timers) next = std::min(next, t->due);
        std::lock_guard guard(lock);
        for (const Work& w : posted) next = std::min(next, w.when);
        return std::max(next, now);
    }
};

const CFStringRef kCFRunLoopDefaultMode = CFSTR_("kCFRunLoopDefaultMode");

CFRunLoopRef CFRunLoopGetCurrent() {
    thread_local std::unique_ptr<__CFRunLoop> loop = std::make_unique<__CFRunLoop>();
    return loop.get();
}
EventLoopRef GetCurrentEventLoop() { return CFRunLoopGetCurrent(); }
EventLoopRef GetMainEventLoop() { return CFRunLoopGetCurrent(); }

namespace platform_ui {

void attachWindow(CFRunLoopRef loop, WindowRef window) { loop->windows.push_back(window); }
void detachWindow(CFRunLoopRef loop, WindowRef window) { std::erase(loop->windows, window); }
bool isLoopThread(CFRunLoopRef loop) { return loop->thread == std::this_thread::get_id(); }

void performAt(CFRunLoopRef loop, Clock::time_point when, std::function<void()> work) {
    {
        std::lock_guard guard(loop->lock);
        loop->posted.push_back({when, std::move(work)});
    }
    loop->wake();
}

}  // namespace platform_ui

namespace {

Clock::duration seconds(double s) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

}  // namespace

OSStatus InstallEventLoopTimer(EventLoopRef loop, EventTimerInterval fireDelay, EventTimerInterval interval,
                               EventLoopTimerUPP proc, void* userData, EventLoopTimerRef* outTimer) {
    if (!loop || !proc || !outTimer) return paramErr;
    const Clock::time_point due = fireDelay < 0 ? Clock::time_point::max() : Clock::now() + seconds(fireDelay);
    auto* t = new OpaqueEventLoopTimerRef{loop, due, seconds(interval), proc, userData};
    loop->timers.push_back(t);
    *outTimer = t;
    return noErr;
}

OSStatus RemoveEventLoopTimer(EventLoopTimerRef timer) {
    if (!timer) return paramErr;
    std::erase(timer->loop->timers, timer);
    delete timer;
    return noErr;
}

OSStatus SetEventLoopTimerNextFireTime(EventLoopTimerRef timer, EventTimerInterval nextFire) {
    if (!timer) return paramErr;
    timer->due = Clock::now() + seconds(std::max(0.0, nextFire));
    return noErr;
}

void CFRunLoopPerform(CFRunLoopRef loop, std::function<void()> work) {
    if (loop) platform_ui::performAt(loop, Clock::now(), std::move(work));
}

double RunLoopRunDue(CFRunLoopRef loop) {
    if (!loop) return 1.0;
    uint64_t drained;
    while (read(loop->wakeFd, &drained, sizeof drained) > 0) {}
    for (WindowRef w : std::vector<WindowRef>(loop->windows)) platform_ui::processXEvents(w);

    Clock::time_point now = Clock::now();
    // No timers while a button is held: the idle pass must not run mid-gesture.
    if (!loop->buttonHeld()) {
        std::vector<EventLoopTimerRef> due;
        for (EventLoopTimerRef t : loop->timers)
            if (t->due <= now) due.push_back(t);
        for (EventLoopTimerRef t : due) {
            if (std::find(loop->timers.begin(), loop->timers.end(), t) == loop->timers.end()) continue;
            if (t->interval.count() > 0)
                t->due = std::max(t->due + t->interval, now);
            else
                t->due = Clock::time_point::max();
            t->proc(t, t->userData);  // may remove the timer
        }
    }

    std::vector<__CFRunLoop::Work> ready;
    {
        std::lock_guard guard(loop->lock);
        auto split = std::stable_partition(loop->posted.begin(), loop->posted.end(),
                                           [&](const __CFRunLoop::Work& w) { return w.when > now; });
        std::move(split, loop->posted.end(), std::back_inserter(ready));
        loop->posted.erase(split, loop->posted.end());
    }
    for (auto& w : ready) w.work();

    for (WindowRef w : std::vector<WindowRef>(loop->windows)) UpdateWindow(w);
    now = Clock::now();
    return std::chrono::duration<double>(loop->nextDeadline(now) - now).count();
}

namespace {

void waitFor(CFRunLoopRef loop, double seconds) {
    std::vector<pollfd> fds{{loop->wakeFd, POLLIN, 0}};
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

void QuitApplicationEventLoop() {
    CFRunLoopRef loop = CFRunLoopGetCurrent();
    loop->quit = true;
    loop->wake();
}
