// The CPU time of the calling thread, which hosts and benchmarks read around
// render calls. One read is a system call (a few hundred ns): read it around
// whole calls or songs, never per sample, and never inside the instrument.
#pragma once
#include <time.h>

inline double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}
