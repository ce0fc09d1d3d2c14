// One run loop per user-interface thread: its windows' input and update
// passes, event-loop timers, and work posted from any thread. How a loop
// sleeps between passes is the backend's.
#include "PlatformUI/RunLoop.h"

#include <algorithm>
#include <cmath>

#include "PlatformUI/PlatformUIPrivate.h"

__CFRunLoop::__CFRunLoop() : waiter(platform_ui::newLoopWaiter()) {}

__CFRunLoop::~__CFRunLoop() {
    for (EventLoopTimerRef t : timers) delete t;
    platform_ui::deleteLoopWaiter(waiter);
}

bool __CFRunLoop::buttonHeld() const {
    return std::any_of(windows.begin(), windows.end(), [](WindowRef w) { return w->buttonDown; });
}

Clock::time_point __CFRunLoop::nextDeadline(Clock::time_point now) {
    Clock::time_point next = now + std::chrono::seconds(1);
    if (!buttonHeld())
        for (EventLoopTimerRef t : timers) next = std::min(next, t->due);
    std::lock_guard guard(lock);
    for (const Work& w : posted) next = std::min(next, w.when);
    return std::max(next, now);
}

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
    wakeLoop(loop->waiter);
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
    platform_ui::clearLoopWakes(loop->waiter);
    for (WindowRef w : std::vector<WindowRef>(loop->windows)) platform_ui::processWindowInput(w);

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

void QuitApplicationEventLoop() {
    CFRunLoopRef loop = CFRunLoopGetCurrent();
    loop->quit = true;
    platform_ui::wakeLoop(loop->waiter);
}
