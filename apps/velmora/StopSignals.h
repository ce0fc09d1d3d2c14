// SIGINT, SIGTERM and SIGHUP end `edit` and `play` the way closing the window
// does, saving first: the handler sets a flag and writes a byte to a pipe, which
// wakes a main loop that waits in poll. Other threads wake it the same way.
#pragma once

// Installs the handlers (once); throws std::runtime_error without a pipe.
void catchStopSignals();
bool stopRequested();
// Async-signal-safe: a byte into the pipe.
void wakeMainLoop();
// The pipe's end to poll, and reading what woke it.
int wakeFd();
void drainWakeFd();
