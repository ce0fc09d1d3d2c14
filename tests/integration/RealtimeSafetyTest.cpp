// Real-time safety of render: after initialization a render call neither
// allocates nor frees memory nor takes a mutex nor throws, for every routing,
// filter type and wave, with notes playing; nor does a render call that fails,
// nor scheduled parameter events. This program replaces the global allocator
// (and, outside the sanitizer builds, malloc itself), pthread_mutex_lock and
// the C++ runtime's exception allocation with counting versions.
#include <dlfcn.h>
#include <pthread.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "../support/InstrumentFixture.h"
#include "Platform/RenderCall.h"
#include "Velmora/VelmoraParameters.h"

// The replaced operators hand out malloc's memory and give it back with free.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
// Counted only while armed, which the test does around its render calls; no
// other thread runs then.
std::atomic<bool> gArmed{false};
std::atomic<long> gAllocations{0}, gFrees{0}, gLocks{0}, gThrows{0};

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

// Every throw starts here; the sanitizer builds see throws through this alone.
namespace {
using ExceptionAllocation = void* (*)(std::size_t);
std::atomic<ExceptionAllocation> gNextExceptionAllocation{nullptr};
}  // namespace

extern "C" void* __cxa_allocate_exception(std::size_t size) noexcept {
    ExceptionAllocation next = gNextExceptionAllocation.load(std::memory_order_relaxed);
    if (!next) {
        next = reinterpret_cast<ExceptionAllocation>(dlsym(RTLD_NEXT, "__cxa_allocate_exception"));
        gNextExceptionAllocation.store(next, std::memory_order_relaxed);
    }
    if (gArmed.load(std::memory_order_relaxed)) gThrows.fetch_add(1, std::memory_order_relaxed);
    return next(size);
}

namespace {

struct Counts {
    long allocations, frees, locks, throws;
    bool operator==(const Counts&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Counts& c) {
    return out << c.allocations << " allocations, " << c.frees << " frees, " << c.locks << " locks, " << c.throws
               << " throws";
}

// What happens inside `work`, counted.
template <class Work>
Counts counted(Work&& work) {
    const long a = gAllocations, f = gFrees, l = gLocks, t = gThrows;
    gArmed = true;
    work();
    gArmed = false;
    return {gAllocations - a, gFrees - f, gLocks - l, gThrows - t};
}

constexpr Counts kNone{0, 0, 0, 0};

// Renders with buffers allocated up front; `hostBuffers` false hands the unit
// null data pointers, so that it renders into its own memory.
class Renderer {
public:
    Renderer(Instrument& inst, bool hostBuffers)
        : mInst(inst),
          mLeft(2048),
          mRight(2048),
          mChannels{hostBuffers ? mLeft.data() : nullptr, hostBuffers ? mRight.data() : nullptr} {}

    // Renders `calls` calls of `frames`, counting what happens inside them.
    Counts renderCounted(int calls, UInt32 frames = 64) {
        Counts total = kNone;
        for (int c = 0; c < calls; ++c) {
            const Counts one = counted([&] { mStatus = mCall.render(mInst.unit, mTime, frames, mChannels); });
            total = {total.allocations + one.allocations, total.frees + one.frees, total.locks + one.locks,
                     total.throws + one.throws};
            if (mStatus != noErr) break;
            mTime += frames;
        }
        return total;
    }
    OSStatus status() const { return mStatus; }

private:
    Instrument& mInst;
    std::vector<float> mLeft, mRight;
    float* mChannels[2];
    RenderCall mCall;
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

TEST(RealtimeSafetyCounters, SeeAllocationsLocksAndThrows) {
    // The counters themselves: an allocation, a lock and a throw while armed are seen.
    const Counts seen = counted([] {
        auto* p = new std::vector<int>(100);
        pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
        pthread_mutex_lock(&m);
        pthread_mutex_unlock(&m);
        delete p;
        try {
            throw OSStatus(kUnspecifiedErr);
        } catch (OSStatus) {}
    });
    EXPECT_GE(seen.allocations, 2);
    EXPECT_GE(seen.frees, 2);
    EXPECT_GE(seen.locks, 1);
    EXPECT_EQ(seen.throws, 1);
}

TEST_P(RealtimeSafety, RenderNeitherAllocatesNorLocks) {
    const Case c = GetParam();
    Instrument inst;
    Renderer renderer(inst, c.hostBuffers);
    ASSERT_EQ(inst.set(kRouting, float(c.routing)), noErr);
    // Every stage in the path: noise, both shapers, modulation of the filters,
    // the LFOs and the multipliers, and a glide between the notes.
    for (auto [id, value] : {std::pair{kNoiseType, 1.0f},
                             {kNoiseGain, 20.0f},
                             {kRumbleADepth, 40.0f},
                             {kRumbleBDepth, 60.0f},
                             {kFilterAFSrc, 15.0f},
                             {kFilterAFDpth, 30.0f},
                             {kFilterBFSrc, 19.0f},
                             {kFilterBFDpth, 20.0f},
                             {kLFO1Wave, 1.0f},
                             {kLFO2Wave, 3.0f},
                             {kMultiAS1, 15.0f},
                             {kMultiAS2, 9.0f},
                             {kGlide, 20.0f},
                             {kFiltAKeyfollow, 50.0f}})
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
            EXPECT_EQ(playing, kNone) << describe(c, filter, wave) << ": " << playing;
            inst.noteOff(played);
            const Counts released = renderer.renderCounted(1);
            EXPECT_EQ(released, kNone) << describe(c, filter, wave) << " after a note-off: " << released;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Routings, RealtimeSafety,
                         ::testing::Values(Case{0, true}, Case{1, true}, Case{2, true}, Case{3, true}, Case{4, true},
                                           Case{5, true}, Case{6, true}, Case{7, true}, Case{8, true}, Case{0, false},
                                           Case{5, false}),
                         [](const auto& info) {
                             return "Routing" + std::to_string(info.param.routing) +
                                    (info.param.hostBuffers ? "" : "OwnBuffers");
                         });

namespace {
void countChange(void* refCon, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
    ++*static_cast<int*>(refCon);
}

OSStatus lastRenderError(AudioUnit unit) {
    OSStatus error = 12345;
    UInt32 size = sizeof error;
    AudioUnitGetProperty(unit, kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0, &error, &size);
    return error;
}
}  // namespace

TEST(RealtimeSafetyFailures, FailedRendersReturnTheirStatusWithoutAllocatingOrThrowing) {
    // Each failure reaches the last-render-error listener, which runs on the render
    // thread too; the error is read back (and so cleared) between the calls.
    Instrument inst;
    int changes = 0;
    ASSERT_EQ(AudioUnitAddPropertyListener(inst.unit, kAudioUnitProperty_LastRenderError, countChange, &changes),
              noErr);
    inst.noteOn(60);
    std::vector<float> left(2048), right(2048), third(2048);
    float* const two[2] = {left.data(), right.data()};
    float* const three[3] = {left.data(), right.data(), third.data()};
    RenderCall call;
    struct Failure {
        const char* what;
        std::function<OSStatus()> render;
        OSStatus expected;
    };
    const Failure failures[] = {
        {"more frames than the maximum", [&] { return call.render(inst.unit, 0, 1153, two); },
         kAudioUnitErr_TooManyFramesToProcess},
        {"the unit's memory, more frames than the maximum",
         [&] { return call.render(inst.unit, 0, 4096, std::array<float*, 2>{}); },
         kAudioUnitErr_TooManyFramesToProcess},
        {"a buffer more than the output has", [&] { return call.render(inst.unit, 0, 64, three); }, kUnspecifiedErr},
        {"an output bus that does not exist", [&] { return call.render(inst.unit, 0, 64, two, 0, 1); },
         kAudioUnitErr_InvalidElement},
    };
    int expectedChanges = 0;
    for (const Failure& f : failures) {
        OSStatus status = noErr;
        const Counts seen = counted([&] { status = f.render(); });
        EXPECT_EQ(status, f.expected) << f.what;
        EXPECT_EQ(seen, kNone) << f.what << ": " << seen;
        EXPECT_EQ(changes, ++expectedChanges) << f.what;
        EXPECT_EQ(lastRenderError(inst.unit), f.expected) << f.what;
    }
    // Not yet initialized: the output has no buffers at all.
    Instrument bare(44100, 2, false);
    for (bool hostMemory : {true, false}) {
        OSStatus status = noErr;
        const Counts seen = counted([&] {
            status = call.render(bare.unit, 0, 64, hostMemory ? std::array{two[0], two[1]} : std::array<float*, 2>{});
        });
        EXPECT_EQ(status, hostMemory ? OSStatus(kUnspecifiedErr) : OSStatus(kAudioUnitErr_FormatNotSupported));
        EXPECT_EQ(seen, kNone) << (hostMemory ? "host memory" : "the unit's memory") << ": " << seen;
        EXPECT_EQ(lastRenderError(bare.unit), status);
    }
    // The instrument still renders, and sounds.
    float peak = 0;
    for (int c = 0; c < 16; ++c) {
        ASSERT_EQ(call.render(inst.unit, 64.0 * c, 64, two), noErr);
        for (int i = 0; i < 64; ++i) peak = std::max(peak, std::fabs(left[i]));
    }
    EXPECT_GT(peak, 0.01f);
}

TEST(RealtimeSafetyFailures, ScheduledParametersApplyWithoutAllocatingLockingOrThrowing) {
    // Good events beside ones for a missing scope or element, another scope, an
    // unknown parameter, a non-finite value and a ramp: the good ones apply.
    Instrument inst;
    Renderer renderer(inst, true);
    AudioUnitParameterEvent events[8]{};
    auto immediate = [](AudioUnitScope scope, AudioUnitElement element, AudioUnitParameterID id, float value) {
        AudioUnitParameterEvent e{};
        e.scope = scope;
        e.element = element;
        e.parameter = id;
        e.eventType = kParameterEvent_Immediate;
        e.eventValues.immediate = {0, value};
        return e;
    };
    events[0] = immediate(kAudioUnitScope_Global, 0, kFilterAFc, 40);
    events[1] = immediate(7, 0, kFilterAFc, 50);
    events[2] = immediate(kAudioUnitScope_Global, 3, kFilterAFc, 60);
    events[3] = immediate(kAudioUnitScope_Output, 0, 5, 70);
    events[4] = immediate(kAudioUnitScope_Global, 0, 500, 80);
    events[5] = immediate(kAudioUnitScope_Global, 0, kA1, std::numeric_limits<float>::infinity());
    events[6] = immediate(kAudioUnitScope_Global, 0, kR1, 33);  // re-sets the envelope
    events[7] = immediate(kAudioUnitScope_Global, 0, kFilterAFc, 90);
    events[7].eventType = kParameterEvent_Ramped;
    const float attack = inst.get(kA1);
    inst.noteOn(60);
    ASSERT_EQ(renderer.renderCounted(1), kNone);
    OSStatus status = -1;
    const Counts seen = counted([&] { status = AudioUnitScheduleParameters(inst.unit, events, 8); });
    EXPECT_EQ(status, noErr);
    EXPECT_EQ(seen, kNone) << seen;
    EXPECT_EQ(inst.get(kFilterAFc), 40.0f);
    EXPECT_EQ(inst.get(kR1), 33.0f);
    EXPECT_EQ(inst.get(kA1), attack);
    EXPECT_EQ(renderer.renderCounted(4), kNone);
    EXPECT_EQ(renderer.status(), noErr);
}
