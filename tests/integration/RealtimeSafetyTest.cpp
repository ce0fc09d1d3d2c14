// Real-time safety of render: after initialization a render call neither
// allocates nor frees memory nor takes a mutex, for every routing, filter type
// and wave, with notes playing. This program replaces the global allocator
// (and, outside the sanitizer builds, malloc itself) and pthread_mutex_lock
// with counting versions.
#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "../support/InstrumentFixture.h"
#include "Velmora/VelmoraParameters.h"

// The replaced operators hand out malloc's memory and give it back with free.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
// Counted only while armed, which the test does around its render calls; no
// other thread runs then.
std::atomic<bool> gArmed{false};
std::atomic<long> gAllocations{0}, gFrees{0}, gLocks{0};

void countAllocation() {
    if (gArmed.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
}
void countFree(void* p) {
    if (p && gArmed.load(std::memory_order_relaxed)) gFrees.fetch_add(1, std::memory_order_relaxed);
}

void* allocate(std::size_t n) {
    countAllocation();
    return std::malloc(n ? n : 1);
}
void* allocateAligned(std::size_t n, std::align_val_t align) {
    countAllocation();
    const std::size_t a = std::size_t(align);
    return std::aligned_alloc(a, (n + a - 1) / a * a);
}
void release(void* p) {
    countFree(p);
    std::free(p);
}
}  // namespace

// ---- the global allocator

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
void* operator new(std::size_t n, std::align_val_t a) {
    if (void* p = allocateAligned(n, a)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a) {
    if (void* p = allocateAligned(n, a)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept { return allocateAligned(n, a); }
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return allocateAligned(n, a);
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }

// ---- malloc and pthread_mutex_lock, interposed for every library of the process

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// The sanitizers bring their own malloc; there the operators above count alone.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t n) {
    countAllocation();
    return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
    countAllocation();
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
    countAllocation();
    return __libc_realloc(p, n);
}
void free(void* p) {
    countFree(p);
    __libc_free(p);
}
}
#endif

namespace {
using MutexLock = int (*)(pthread_mutex_t*);
std::atomic<MutexLock> gNextLock{nullptr};  // the C library's, found on first use (no guarded static)
}  // namespace

extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
    MutexLock next = gNextLock.load(std::memory_order_relaxed);
    if (!next) {
        next = reinterpret_cast<MutexLock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
        gNextLock.store(next, std::memory_order_relaxed);
    }
    if (gArmed.load(std::memory_order_relaxed)) gLocks.fetch_add(1, std::memory_order_relaxed);
    return next(mutex);
}

namespace {

struct Counts {
    long allocations, frees, locks;
    bool operator==(const Counts&) const = default;
};

// Renders with buffers allocated up front; `hostBuffers` false hands the unit
// null data pointers, so that it renders into its own memory.
class Renderer {
public:
    Renderer(Instrument& inst, bool hostBuffers)
        : mInst(inst), mHost(hostBuffers), mLeft(64), mRight(64), mList(AudioBufferListSize(2)) {}

    // Renders `calls` calls of 64 frames, counting what happens inside them.
    Counts renderCounted(int calls) {
        auto* list = reinterpret_cast<AudioBufferList*>(mList.data());
        const long a = gAllocations, f = gFrees, l = gLocks;
        for (int c = 0; c < calls; ++c) {
            list->mNumberBuffers = 2;
            list->mBuffers[0] = {1, 64 * sizeof(float), mHost ? mLeft.data() : nullptr};
            list->mBuffers[1] = {1, 64 * sizeof(float), mHost ? mRight.data() : nullptr};
            AudioTimeStamp ts{};
            ts.mSampleTime = mTime;
            ts.mFlags = kAudioTimeStampSampleTimeValid;
            AudioUnitRenderActionFlags flags = 0;
            gArmed = true;
            mStatus = AudioUnitRender(mInst.unit, &flags, &ts, 0, 64, list);
            gArmed = false;
            if (mStatus != noErr) break;
            mTime += 64;
        }
        return {gAllocations - a, gFrees - f, gLocks - l};
    }
    OSStatus status() const { return mStatus; }

private:
    Instrument& mInst;
    bool mHost;
    std::vector<float> mLeft, mRight;
    std::vector<UInt8> mList;
    double mTime = 0;
    OSStatus mStatus = noErr;
};

struct Case {
    int routing;
    bool hostBuffers;
};

std::string describe(const Case& c, int filter, int wave) {
    return "routing " + std::to_string(c.routing) + ", filter type " + std::to_string(filter) + ", wave " +
           std::to_string(wave) + (c.hostBuffers ? ", host buffers" : ", the unit's buffers");
}

}  // namespace

class RealtimeSafety : public ::testing::TestWithParam<Case> {};

TEST(RealtimeSafetyCounters, SeeAllocationsAndLocks) {
    // The counters themselves: an allocation and a lock while armed are seen.
    gArmed = true;
    auto* p = new std::vector<int>(100);
    pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
    pthread_mutex_lock(&m);
    pthread_mutex_unlock(&m);
    delete p;
    gArmed = false;
    EXPECT_GE(gAllocations.load(), 2);
    EXPECT_GE(gFrees.load(), 2);
    EXPECT_GE(gLocks.load(), 1);
}

TEST_P(RealtimeSafety, RenderNeitherAllocatesNorLocks) {
    const Case c = GetParam();
    Instrument inst;
    Renderer renderer(inst, c.hostBuffers);
    ASSERT_EQ(inst.set(kRouting, float(c.routing)), noErr);
    // Every stage in the path: noise, both shapers, modulation of the filters,
    // the LFOs and the multipliers, and a glide between the notes.
    for (auto [id, value] : {std::pair{kNoiseType, 1.0f}, {kNoiseGain, 20.0f}, {kRumbleADepth, 40.0f},
                             {kRumbleBDepth, 60.0f}, {kFilterAFSrc, 15.0f}, {kFilterAFDpth, 30.0f},
                             {kFilterBFSrc, 19.0f}, {kFilterBFDpth, 20.0f}, {kLFO1Wave, 1.0f}, {kLFO2Wave, 3.0f},
                             {kMultiAS1, 15.0f}, {kMultiAS2, 9.0f}, {kGlide, 20.0f}, {kFiltAKeyfollow, 50.0f}})
        ASSERT_EQ(inst.set(id, value), noErr);

    int key = 36;
    for (int filter = 0; filter <= 17; ++filter) {
        for (int wave = 0; wave <= 3; ++wave) {
            ASSERT_EQ(inst.set(kFilterAType, float(filter)), noErr);
            ASSERT_EQ(inst.set(kFilterBType, float((filter + 7) % 18)), noErr);
            ASSERT_EQ(inst.set(kOSC1Wave, float(wave)), noErr);
            ASSERT_EQ(inst.set(kOSC2Wave, float(3 - wave)), noErr);
            ASSERT_EQ(inst.set(kRumbleAType, float(wave + 1)), noErr);
            ASSERT_EQ(inst.set(kRumbleBType, float(4 - wave)), noErr);
            ASSERT_EQ(inst.set(kMixMode, float((filter + wave) % 5)), noErr);
            const UInt8 played = UInt8(key);
            key = key >= 96 ? 36 : key + 5;
            inst.noteOn(played, 100, 17);
            const Counts playing = renderer.renderCounted(4);
            ASSERT_EQ(renderer.status(), noErr) << describe(c, filter, wave);
            EXPECT_EQ(playing, (Counts{0, 0, 0})) << describe(c, filter, wave) << ": " << playing.allocations
                                                  << " allocations, " << playing.frees << " frees, "
                                                  << playing.locks << " locks";
            inst.noteOff(played);
            const Counts released = renderer.renderCounted(1);
            EXPECT_EQ(released, (Counts{0, 0, 0})) << describe(c, filter, wave) << " after a note-off";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Routings, RealtimeSafety,
                         ::testing::Values(Case{0, true}, Case{1, true}, Case{2, true}, Case{3, true}, Case{4, true},
                                           Case{5, true}, Case{6, true}, Case{7, true}, Case{8, true},
                                           Case{0, false}, Case{5, false}),
                         [](const auto& info) {
                             return "Routing" + std::to_string(info.param.routing) +
                                    (info.param.hostBuffers ? "" : "OwnBuffers");
                         });
