// The plug-in's run neither allocates, frees nor locks: this program replaces
// the global allocator (and, outside the sanitizer builds, malloc itself) and
// pthread_mutex_lock for every library of the process, the plug-in loaded by
// lilv among them, and counts their calls while a run is in progress.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

#include "Lv2Host.h"

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
std::atomic<bool> gArmed{false};
std::atomic<long> gCalls{0};  // allocations, frees and locks while armed

void count() {
    if (gArmed.load(std::memory_order_relaxed)) gCalls.fetch_add(1, std::memory_order_relaxed);
}
void* allocate(std::size_t n) {
    count();
    return std::malloc(n ? n : 1);
}
void release(void* p) {
    if (p) count();
    std::free(p);
}
}  // namespace

void* operator new(std::size_t n) {
    if (void* p = allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    if (void* p = allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// The sanitizers bring their own malloc; there the operators above count alone.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);
void* malloc(std::size_t n) {
    count();
    return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
    count();
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
    count();
    return __libc_realloc(p, n);
}
void free(void* p) {
    if (p) count();
    __libc_free(p);
}
}
#endif

extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
    using Lock = int (*)(pthread_mutex_t*);
    static std::atomic<Lock> next{nullptr};
    Lock f = next.load(std::memory_order_relaxed);
    if (!f) {
        f = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
        next.store(f, std::memory_order_relaxed);
    }
    count();
    return f(mutex);
}

TEST(Lv2Realtime, CountersSeeAllocationsAndLocks) {
    gArmed = true;
    const long before = gCalls;
    delete new std::vector<int>(100);
    pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
    pthread_mutex_lock(&m);
    pthread_mutex_unlock(&m);
    gArmed = false;
    EXPECT_GE(gCalls - before, 3);
}

TEST(Lv2Realtime, RunNeitherAllocatesNorLocks) {
    UridMap urids;
    Lv2World world;
    Lv2Instance inst(world, urids, 48000, 4096);
    ASSERT_NE(inst.instance, nullptr);
    const auto events = framedEvents(readSmfFile(VELMORA_PATTERN), 48000);
    size_t next = 0;
    long long start = 0;
    // Blocks of every kind, each with the pattern's notes, controllers and junk,
    // and with a few ports changed (the first run writes all of them), NaN too.
    for (int b = 0; b < 400; ++b) {
        const uint32_t n = (b % 7 == 3) ? 1000 : (b % 11 == 5) ? 0 : (b % 3) ? 512 : 4096;
        for (; next < events.size() && events[next].frame < start + n; ++next)
            inst.addEvent(events[next].frame - start, events[next].bytes);
        inst.addEvent(0, {0xF0, 0x01, 0xF7});
        inst.addEvent(n, {0x90, 60});
        const uint32_t id = uint32_t(b * 37) % kNumberOfParameters;
        const AudioUnitParameterInfo& info = VelmoraParameterTable()[id];
        inst.controls[id] = b % 13 == 0 ? std::numeric_limits<float>::quiet_NaN()
                                        : info.minValue + float(b % 5) * 0.25f * (info.maxValue - info.minValue);
        inst.controls[(id + 50) % kNumberOfParameters] += 1;
        const long before = gCalls;
        gArmed = true;
        lilv_instance_run(inst.instance, n);
        gArmed = false;
        ASSERT_EQ(gCalls - before, 0) << "block " << b << " of " << n << " frames, parameter " << id;
        inst.clearEvents();
        start += n;
    }
}
