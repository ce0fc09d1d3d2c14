// The CPU time of the calling thread, which hosts and benchmarks read around
// render calls. One read is a system call (a few hundred ns): read it around
// whole calls or songs, never per sample, and never inside the instrument.
#pragma once
#include <time.h>

#include <algorithm>

inline double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// What two reads in a row measure with nothing between them: the clock's own share
// of every interval timed with a pair of reads (the least of a few hundred pairs,
// so that an interruption does not count).
inline double threadCpuClockPairSeconds() {
    double least = 1;
    for (int i = 0; i < 301; ++i) {
        const double a = threadCpuSeconds();
        least = std::min(least, threadCpuSeconds() - a);
    }
    return least;
}
