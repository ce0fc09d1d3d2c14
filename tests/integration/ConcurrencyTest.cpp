// Concurrent use: one thread renders in 64-frame calls while others write
// parameters, play notes, select presets and save and restore the state. Run
// under ThreadSanitizer too, where any unsynchronised access fails the run.
#include <atomic>
#include <cmath>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "../support/InstrumentFixture.h"
#include "Platform/RenderCall.h"
#include "Velmora/VelmoraParameters.h"
#include "Velmora/VelmoraPresets.h"

namespace {

constexpr int kRenderCalls = 20000;  // about 29 s of audio at 44.1 kHz
constexpr UInt32 kFrames = 64;

// A value inside the parameter's range; indexed parameters get whole numbers.
// The noise and filter parameters take a value one of the factory presets
// uses: random combinations there can drive the voice to overflow even in
// range (the endurance run shows it), and this test is about the threads.
float inRangeValue(AudioUnitParameterID id, std::mt19937& rng) {
    if ((id >= kNoiseType && id <= kNoisePanMDpth) || (id >= kFilterAType && id <= kFilterBFDpth))
        return asEZ_preset[rng() % kNumFactoryPresets].values[id];
    const AudioUnitParameterInfo& info = VelmoraParameterTable()[id];
    std::uniform_real_distribution<float> pick(info.minValue, info.maxValue);
    const float v = pick(rng);
    return info.unit == kAudioUnitParameterUnit_Indexed ? std::round(v) : v;
}

// Runs `work` over and over on its own thread until the renderer is done;
// counts the rounds so the test can see that every thread took part.
class Worker {
public:
    Worker(const std::atomic<bool>& done, std::function<void(std::mt19937&)> work, unsigned seed)
        : mThread([this, &done, work = std::move(work), seed] {
              std::mt19937 rng(seed);
              while (!done.load(std::memory_order_acquire)) {
                  work(rng);
                  mRounds.fetch_add(1, std::memory_order_relaxed);
              }
          }) {}
    ~Worker() { join(); }
    void join() {
        if (mThread.joinable()) mThread.join();
    }
    long rounds() const { return mRounds.load(); }

private:
    std::atomic<long> mRounds{0};
    std::thread mThread;
};

struct RenderResult {
    long nonFinite = 0;
    float peak = 0;
    long calls = 0;
    long failures = 0;
};

// The render thread's loop: host buffers allocated once, 64 frames a call.
RenderResult renderContinuously(AudioUnit unit, const std::atomic<long>& started, long workers) {
    // Wait until every other thread runs, so that the calls overlap.
    while (started.load() < workers) std::this_thread::yield();
    std::vector<float> left(kFrames), right(kFrames);
    float* const channels[2] = {left.data(), right.data()};
    RenderCall renderCall;
    RenderResult r;
    for (int call = 0; call < kRenderCalls; ++call) {
        if (renderCall.render(unit, double(call) * kFrames, kFrames, channels) != noErr) ++r.failures;
        for (UInt32 i = 0; i < kFrames; ++i) {
            for (float s : {left[i], right[i]}) {
                if (!std::isfinite(s))
                    ++r.nonFinite;
                else
                    r.peak = std::max(r.peak, std::fabs(s));
            }
        }
        ++r.calls;
    }
    return r;
}

}  // namespace

TEST(Concurrency, RenderStaysFiniteWhileOtherThreadsUseTheInstrument) {
    Instrument inst;
    const AudioUnit unit = inst.unit;
    std::atomic<bool> done{false};
    std::atomic<long> started{0};
    std::atomic<long> refused{0};  // calls that returned an error
    auto expectOk = [&](OSStatus status) {
        if (status != noErr) refused.fetch_add(1);
    };
    auto once = [&started](bool& first) {
        if (first) started.fetch_add(1);
        first = false;
    };

    // Parameters: any of the 102, with the envelope and LFO re-sets often, and
    // an output-scope parameter now and then.
    bool firstParam = true;
    auto parameters = [&](std::mt19937& rng) {
        once(firstParam);
        static constexpr AudioUnitParameterID kResets[] = {kA1,          kD1, kS1, kR1,        kLFO1Wave,   kLFO1Speed,
                                                           kLFO1InPhase, kA2, kR3, kLFO2Speed, kLFO2InPhase};
        for (int i = 0; i < 16; ++i) {
            const AudioUnitParameterID id =
                i % 2 ? kResets[rng() % std::size(kResets)] : AudioUnitParameterID(rng() % kNumberOfParameters);
            expectOk(AudioUnitSetParameter(unit, id, kAudioUnitScope_Global, 0, inRangeValue(id, rng), 0));
        }
        Float32 value = 0;
        expectOk(AudioUnitGetParameter(unit, kFilterAFc, kAudioUnitScope_Global, 0, &value));
        expectOk(AudioUnitSetParameter(unit, 7, kAudioUnitScope_Output, 0, float(rng() % 100), 0));
        expectOk(AudioUnitGetParameter(unit, 7, kAudioUnitScope_Output, 0, &value));
    };

    // MIDI and the note calls: notes in and out of the sounding keys, bend, wheel, pressure.
    bool firstMidi = true;
    auto midi = [&](std::mt19937& rng) {
        once(firstMidi);
        const UInt8 key = UInt8(20 + rng() % 90);
        expectOk(MusicDeviceMIDIEvent(unit, 0x90, key, 1 + rng() % 127, rng() % kFrames));
        expectOk(MusicDeviceMIDIEvent(unit, 0xE0, rng() % 128, rng() % 128, 0));
        expectOk(MusicDeviceMIDIEvent(unit, 0xB0, 1, rng() % 128, 0));
        expectOk(MusicDeviceMIDIEvent(unit, 0xD0, rng() % 128, 0, 0));
        const MusicDeviceNoteParams params{2, float(24 + rng() % 80), float(rng() % 128)};
        NoteInstanceID note = 0;
        expectOk(MusicDeviceStartNote(unit, 0, 0, &note, rng() % kFrames, &params));
        std::this_thread::yield();
        expectOk(MusicDeviceStopNote(unit, 0, note, 0));
        expectOk(MusicDeviceMIDIEvent(unit, 0x80, key, 0, rng() % kFrames));
        if (rng() % 64 == 0) expectOk(MusicDeviceMIDIEvent(unit, 0xB0, 123, 0, 0));  // all notes off
    };

    // Presets through the current-preset property, with and without a name of
    // the caller's, and the list and the current preset read back.
    auto presets = [&](bool& first) {
        return [&](std::mt19937& rng) {
            once(first);
            const SInt32 number = SInt32(rng() % kNumFactoryPresets);
            CFStringRef name = rng() % 2 ? CFStringCreateWithCString(nullptr, "Mine", kCFStringEncodingUTF8) : nullptr;
            const AUPreset preset{number, name};
            expectOk(AudioUnitSetProperty(unit, kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0, &preset,
                                          sizeof preset));
            if (name) CFRelease(name);
            AUPreset current{};
            UInt32 size = sizeof current;
            expectOk(AudioUnitGetProperty(unit, kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0, &current,
                                          &size));
            CFArrayRef list = nullptr;
            size = sizeof list;
            expectOk(
                AudioUnitGetProperty(unit, kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0, &list, &size));
            if (list) CFRelease(list);
        };
    };
    bool firstPresets = true, secondPresets = true;

    // Saving the state, and now and then restoring what was saved.
    bool firstState = true;
    auto state = [&](std::mt19937& rng) {
        once(firstState);
        CFPropertyListRef saved = nullptr;
        UInt32 size = sizeof saved;
        expectOk(AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &saved, &size));
        if (!saved) return;
        if (rng() % 4 == 0)
            expectOk(AudioUnitSetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &saved,
                                          sizeof saved));
        CFRelease(saved);
    };

    RenderResult result;
    {
        std::thread renderer([&] {
            result = renderContinuously(unit, started, 5);
            done.store(true, std::memory_order_release);
        });
        Worker w1(done, parameters, 1), w2(done, midi, 2), w3(done, presets(firstPresets), 3),
            w4(done, presets(secondPresets), 4), w5(done, state, 5);
        renderer.join();
        for (Worker* w : {&w1, &w2, &w3, &w4, &w5}) {
            w->join();
            EXPECT_GT(w->rounds(), 0);
        }
    }
    EXPECT_EQ(result.calls, kRenderCalls);
    EXPECT_EQ(result.failures, 0);
    EXPECT_EQ(result.nonFinite, 0);
    EXPECT_GT(result.peak, 0.0f);  // the notes did sound
    EXPECT_EQ(refused.load(), 0);
}

TEST(Concurrency, ListenersChangeWhileRenderReportsErrors) {
    // The render thread reports each failure to the last-render-error listeners while
    // another thread adds and removes them and reads the error (which lets the next
    // failure be reported), until it has read a hundred.
    Instrument inst;
    const AudioUnit unit = inst.unit;
    std::atomic<bool> started{false}, done{false};
    std::atomic<long> heard[4] = {};
    auto listener = [](void* refCon, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
        static_cast<std::atomic<long>*>(refCon)->fetch_add(1, std::memory_order_relaxed);
    };
    std::thread renderer([&] {
        std::vector<float> left(2048), right(2048);
        float* const channels[2] = {left.data(), right.data()};
        RenderCall call;
        for (long c = 0; !done.load(); ++c) {
            // Every other call asks for more frames than the maximum.
            call.render(unit, 64.0 * double(c), c % 2 ? 2048 : 64, channels);
            started.store(true);
        }
    });
    while (!started.load()) std::this_thread::yield();
    long rounds = 0, errors = 0;
    for (; errors < 100 && rounds < 10000000; ++rounds) {
        for (auto& slot : heard)
            EXPECT_EQ(AudioUnitAddPropertyListener(unit, kAudioUnitProperty_LastRenderError, listener, &slot), noErr);
        OSStatus error = noErr;
        UInt32 size = sizeof error;
        EXPECT_EQ(
            AudioUnitGetProperty(unit, kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0, &error, &size),
            noErr);
        errors += error == kAudioUnitErr_TooManyFramesToProcess;
        EXPECT_EQ(AudioUnitRemovePropertyListener(unit, kAudioUnitProperty_LastRenderError, listener), noErr);
    }
    done.store(true);
    renderer.join();
    EXPECT_EQ(errors, 100) << "after " << rounds << " rounds";
}
