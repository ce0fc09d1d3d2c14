// A recording music device opened through the component registry, and the host-side fixture that drives it.
#pragma once
#include <gtest/gtest.h>

#include <bit>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "AUPublic/AUBase/ComponentEntryPoint.h"
#include "AUPublic/OtherBases/MusicDeviceBase.h"
#include "Platform/AudioUnitCalls.h"
#include "Platform/RenderCall.h"

// What a call of the unit throws, and from where.
enum class Fault { None, OutOfMemory, Status, PlatformError, Unrelated };
enum class FaultSite { Initialize, SetParameter, Render, StartNote };

constexpr OSStatus kThrownStatus = -12001;
constexpr OSErr kThrownPlatformError = -36;
constexpr float kRenderedSample = 0.25f;  // buffer b of a render holds kRenderedSample + b

constexpr OSType kTestType = FourCC("aumu");
constexpr OSType kTestSubType = FourCC("frTU");
constexpr OSType kTestManufacturer = FourCC("VlTs");

class TestUnit : public MusicDeviceBase {
public:
    explicit TestUnit(ComponentInstance instance) : MusicDeviceBase(instance, 0, 1, 0) {}
    ~TestUnit() override { ++sDestroyed; }

    struct ParameterCall {
        AudioUnitParameterID id;
        AudioUnitScope scope;
        AudioUnitElement element;
        UInt32 valueBits, offset;
    };

    OSStatus Initialize() override {
        ++initializeCalls;
        raise(FaultSite::Initialize);
        return initializeResult;
    }
    void Cleanup() override { ++sCleanups; }

    bool StreamFormatWritable(AudioUnitScope, AudioUnitElement) override { return true; }
    UInt32 SupportedNumChannels(const AUChannelInfo** outInfo) override {
        static const AUChannelInfo kChannels[] = {{0, 1}, {0, 2}};
        if (outInfo) *outInfo = kChannels;
        return 2;
    }

    OSStatus SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element, Float32 value,
                          UInt32 offset) override {
        parameterCalls.push_back({id, scope, element, std::bit_cast<UInt32>(value), offset});
        raise(FaultSite::SetParameter);
        return AUBase::SetParameter(id, scope, element, value, offset);
    }

    OSStatus Render(AudioUnitRenderActionFlags&, const AudioTimeStamp&, UInt32 frames) override {
        renderFrames.push_back(frames);
        raise(FaultSite::Render);
        AudioBufferList& out = *GetOutput(0)->GetBufferList();
        for (UInt32 b = 0; b < out.mNumberBuffers; ++b) {
            auto* samples = static_cast<float*>(out.mBuffers[b].mData);
            for (UInt32 i = 0; i < frames; ++i) samples[i] = kRenderedSample + float(b);
        }
        return noErr;
    }

    void HandleNoteOn(int ch, UInt8 note, UInt8 vel, SInt32 at) override { record("noteOn", {ch, note, vel, at}); }
    void HandleNoteOff(int ch, UInt8 note, UInt8 vel, SInt32 at) override { record("noteOff", {ch, note, vel, at}); }
    void HandleControlChange(int ch, UInt8 cc, UInt8 v, SInt32 at) override { record("control", {ch, cc, v, at}); }
    void HandlePitchWheel(int ch, UInt8 lsb, UInt8 msb, SInt32 at) override { record("pitch", {ch, lsb, msb, at}); }
    void HandleChannelPressure(int ch, UInt8 v, SInt32 at) override { record("pressure", {ch, v, at}); }
    void HandleProgramChange(int ch, UInt8 program) override { record("program", {ch, program}); }
    void HandlePolyPressure(int ch, UInt8 key, UInt8 v, SInt32 at) override { record("poly", {ch, key, v, at}); }
    void HandleResetAllControllers(int ch) override { record("resetControllers", {ch}); }
    void HandleAllNotesOff(int ch) override { record("allNotesOff", {ch}); }
    void HandleAllSoundOff(int ch) override { record("allSoundOff", {ch}); }
    void HandleSysEx(const UInt8*, UInt32 length) override { record("sysex", {long(length)}); }

    OSStatus PrepareInstrument(MusicDeviceInstrumentID id) override { return record("prepare", {long(id)}); }
    OSStatus ReleaseInstrument(MusicDeviceInstrumentID id) override { return record("release", {long(id)}); }
    OSStatus StartNote(MusicDeviceInstrumentID instrument, MusicDeviceGroupID group, NoteInstanceID* outID,
                       UInt32 offset, const MusicDeviceNoteParams& params) override {
        raise(FaultSite::StartNote);
        if (outID) *outID = 77;
        return record("start",
                      {long(instrument), long(group), long(offset), long(params.mPitch), long(params.mVelocity)});
    }
    OSStatus StopNote(MusicDeviceGroupID group, NoteInstanceID id, UInt32 offset) override {
        return record("stop", {long(group), long(id), long(offset)});
    }

    // Set by the test before the call under test.
    OSStatus initializeResult = noErr;
    Fault fault = Fault::None;
    FaultSite faultSite = FaultSite::Initialize;

    // What reached the unit.
    int initializeCalls = 0;
    std::vector<UInt32> renderFrames;
    std::vector<ParameterCall> parameterCalls;
    std::vector<std::string> calls;  // handler and music-device calls, "name arg arg ..."
    static inline int sCleanups = 0;
    static inline int sDestroyed = 0;

private:
    OSStatus record(const char* name, std::initializer_list<long> args) {
        std::string line = name;
        for (long a : args) line += ' ' + std::to_string(a);
        calls.push_back(line);
        return noErr;
    }
    void raise(FaultSite site) const {
        if (site != faultSite) return;
        switch (fault) {
            case Fault::None: return;
            case Fault::OutOfMemory: throw std::bad_alloc();
            case Fault::Status: throw OSStatus(kThrownStatus);
            case Fault::PlatformError: throw OSErr(kThrownPlatformError);
            case Fault::Unrelated: throw std::runtime_error("not a status");
        }
    }
};

inline OSStatus TestUnitEntry(ComponentParameters* params, void* storage) {
    return ComponentEntryPoint<TestUnit>::Dispatch(params, storage);
}

// Registers the test unit (once) and opens it the way a host finds one.
inline AudioUnit OpenTestUnit() {
    const ComponentDescription desc{kTestType, kTestSubType, kTestManufacturer, 0, 0};
    RegisterComponentEntry(desc, "Frame test unit", TestUnitEntry);
    AudioUnit unit = nullptr;
    EXPECT_EQ(OpenAComponent(FindNextComponent(nullptr, desc), &unit), noErr);
    return unit;
}

// A property listener that counts its calls in an int.
inline void CountChange(void* refCon, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
    ++*static_cast<int*>(refCon);
}

// Stereo host output of `frames` floats per channel; without memory the data
// pointers are null so that the unit hands back its own.
struct HostOutput {
    static constexpr float kUntouched = -7.0f;
    HostOutput(UInt32 frames, bool withMemory) : samples(2, std::vector<float>(frames, kUntouched)) {
        for (UInt32 c = 0; c < 2; ++c) channels[c] = withMemory ? samples[c].data() : nullptr;
        list().mNumberBuffers = 2;  // for calls made by hand
        for (UInt32 c = 0; c < 2; ++c) list().mBuffers[c] = {1, UInt32(frames * sizeof(float)), channels[c]};
    }
    AudioBufferList& list() { return call.list(); }
    const float* data(UInt32 c) { return call.channel(c); }

    std::vector<std::vector<float>> samples;
    float* channels[2];
    RenderCall call;
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUnit::sCleanups = TestUnit::sDestroyed = 0;
        au = OpenTestUnit();
        ASSERT_NE(au, nullptr);
    }
    void TearDown() override {
        if (au) {
            EXPECT_EQ(CloseComponent(au), noErr);
        }
    }
    // The unit is observed and configured directly, driven only through host calls.
    TestUnit& unit() { return *static_cast<TestUnit*>(GetComponentInstanceStorage(au)); }

    OSStatus render(HostOutput& out, UInt32 frames, Float64 sampleTime, AudioUnitRenderActionFlags flags = 0,
                    UInt32 bus = 0) {
        return out.call.render(au, sampleTime, frames, out.channels, flags, bus);
    }
    template <class T>
    OSStatus get(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, T& value) {
        UInt32 size = sizeof value;
        return AudioUnitGetProperty(au, id, scope, element, &value, &size);
    }
    template <class T>
    OSStatus set(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, const T& value) {
        return AudioUnitSetProperty(au, id, scope, element, &value, sizeof value);
    }

    AudioUnit au = nullptr;
};

// The canonical non-interleaved float format this unit's elements start with.
inline AudioStreamBasicDescription CanonicalFormat(Float64 sampleRate, UInt32 channels) {
    const UInt32 flags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsPacked |
                         kAudioFormatFlagIsNonInterleaved;
    return {sampleRate, kAudioFormatLinearPCM, flags, 4, 1, 4, channels, 32, 0};
}
