// The run loop of a user-interface thread: event-loop timers, the input and
// update passes of its windows, and work posted from other threads.
#pragma once
#include <functional>

#include "PlatformUI/CarbonTypes.h"

extern const CFStringRef kCFRunLoopDefaultMode;

CFRunLoopRef CFRunLoopGetCurrent();  // the calling thread's loop
EventLoopRef GetCurrentEventLoop();
EventLoopRef GetMainEventLoop();

OSStatus InstallEventLoopTimer(EventLoopRef loop, EventTimerInterval fireDelay, EventTimerInterval interval,
                               EventLoopTimerUPP proc, void* userData, EventLoopTimerRef* outTimer);
OSStatus RemoveEventLoopTimer(EventLoopTimerRef timer);
// Fires the timer once more, `nextFire` seconds from now (a one-shot timer too).
OSStatus SetEventLoopTimerNextFireTime(EventLoopTimerRef timer, EventTimerInterval nextFire);

// Runs the given work on the loop's thread at its next pass; any thread.
void CFRunLoopPerform(CFRunLoopRef loop, std::function<void()> work);

// One pass that never blocks: input, due timers, posted work and the windows'
// update passes. Returns the seconds until the next timer is due (or a second
// when none is).
double RunLoopRunDue(CFRunLoopRef loop);
// With X11: runs passes until `seconds` have gone by, waiting on the X
// connections in between. (In a browser the page's animation frames run the
// passes: src/PlatformWeb.)
void RunLoopRunFor(CFRunLoopRef loop, double seconds);
// Runs passes until QuitApplicationEventLoop is called (from a handler or a timer).
void RunApplicationEventLoop();
void QuitApplicationEventLoop();
