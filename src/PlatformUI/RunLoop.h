// The run loop of a user-interface thread: event-loop timers, the X
// connections of its windows, and work posted from other threads.
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

// One pass that never blocks: X input, due timers and posted work. Returns the
// seconds until the next timer is due (or a second when none is).
double RunLoopRunDue(CFRunLoopRef loop);
// Runs passes until `seconds` have gone by, waiting on the X connections in between.
void RunLoopRunFor(CFRunLoopRef loop, double seconds);
// Runs passes until QuitApplicationEventLoop is called (from a handler or a timer).
void RunApplicationEventLoop();
void QuitApplicationEventLoop();
