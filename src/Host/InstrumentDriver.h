// InstrumentDriver: the instrument as a host drives it, through the platform's
// host-side calls only, every failure returned as the platform's status code.
// Nothing here throws (but std::bad_alloc where a call builds a list); render,
// midi and the parameter calls allocate nothing, so an audio thread or an
// AudioWorklet may make them.
#pragma once
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "Platform/AudioUnitCalls.h"
#include "Platform/RenderCall.h"

struct ParameterDescription {
    AudioUnitParameterID id;
    std::string name;
    AudioUnitParameterInfo info;
    std::vector<std::string> valueNames;
};

class InstrumentDriver {
public:
    InstrumentDriver() = default;
    ~InstrumentDriver();
    InstrumentDriver(const InstrumentDriver&) = delete;
    InstrumentDriver& operator=(const InstrumentDriver&) = delete;

    // Opens the first registered component of the description: invalidComponentID
    // when none is registered, else what opening it returns.
    OSStatus open(const ComponentDescription& desc);
    AudioUnit unit() const { return mUnit; }

    // The three steps of configuring, in this order: the output format
    // (non-interleaved float), a maximum slice at least `frames`, initialize.
    OSStatus setOutputFormat(double sampleRate, UInt32 channels);
    OSStatus ensureMaxFramesPerSlice(UInt32 frames);
    OSStatus initialize();

    OSStatus setParameter(AudioUnitParameterID id, float value);
    OSStatus getParameter(AudioUnitParameterID id, float& value);
    // Every parameter with its description and value names, in list order.
    OSStatus describeParameters(std::vector<ParameterDescription>& out);

    // Factory presets: number and name.
    OSStatus factoryPresets(std::vector<std::pair<SInt32, std::string>>& out);
    // kNoSuchPreset when the instrument has no factory preset of that number.
    static constexpr OSStatus kNoSuchPreset = kAudioUnitErr_InvalidPropertyValue;
    OSStatus selectPreset(SInt32 number);

    OSStatus midi(UInt8 status, UInt8 data1, UInt8 data2, UInt32 offset);
    // Renders `frames` (at most the maximum per slice) into channels[c]; the
    // sample time advances only when the render succeeds.
    OSStatus render(UInt32 frames, std::span<float* const> channels);

    // The class-info state; a dictionary returned belongs to the caller.
    OSStatus saveState(CFPropertyListRef& state);
    OSStatus restoreState(CFPropertyListRef state);

private:
    AudioUnit mUnit = nullptr;
    Float64 mSampleTime = 0;
    RenderCall mRenderCall;
};
