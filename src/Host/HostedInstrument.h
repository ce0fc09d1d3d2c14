// HostedInstrument: the instrument as a host sees it, driven only through the
// platform's host-side calls; a failure throws std::runtime_error naming the call.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "Host/InstrumentDriver.h"

class HostedInstrument {
public:
    // Opens the first registered component of the description; throws
    // std::runtime_error with a message when there is none or it fails.
    explicit HostedInstrument(const ComponentDescription& desc);
    HostedInstrument(const HostedInstrument&) = delete;
    HostedInstrument& operator=(const HostedInstrument&) = delete;

    AudioUnit unit() const { return mDriver.unit(); }
    // The same instrument without exceptions, for code that must not throw.
    InstrumentDriver& driver() { return mDriver; }

    // Output format (non-interleaved float), then initialize.
    void configure(double sampleRate, UInt32 channels, UInt32 maxFrames);

    const std::vector<ParameterDescription>& parameters();
    // A parameter named by its ID or its exact name; nullopt when unknown.
    std::optional<AudioUnitParameterID> findParameter(const std::string& nameOrId);
    void setParameter(AudioUnitParameterID id, float value);
    float getParameter(AudioUnitParameterID id);

    // Factory presets: number and name.
    std::vector<std::pair<SInt32, std::string>> factoryPresets();
    // A preset named by its number or exact name; nullopt when unknown.
    std::optional<SInt32> findPreset(const std::string& numberOrName);
    void selectPreset(SInt32 number);

    void midi(UInt8 status, UInt8 data1, UInt8 data2, UInt32 offset);
    // Renders `frames` (at most the maximum per slice) into one buffer per channel.
    void render(UInt32 frames, const std::vector<float*>& channels);

    // The class-info state; the dictionary returned belongs to the caller.
    CFPropertyListRef saveState();
    OSStatus restoreState(CFPropertyListRef state);

private:
    InstrumentDriver mDriver;
    std::vector<ParameterDescription> mParameters;
};

// Throws std::runtime_error "WHAT failed (error N)" for a status other than noErr.
void checkHostCall(OSStatus status, const char* what);
