// HostedInstrument: the driver's calls, each failure thrown with what failed.
#include "Host/HostedInstrument.h"

#include <stdexcept>

namespace {
std::string describe(OSStatus status) { return "error " + std::to_string(status); }
}  // namespace

void checkHostCall(OSStatus status, const char* what) {
    if (status != noErr) throw std::runtime_error(std::string(what) + " failed (" + describe(status) + ")");
}

HostedInstrument::HostedInstrument(const ComponentDescription& desc) {
    const OSStatus status = mDriver.open(desc);
    if (status == invalidComponentID) throw std::runtime_error("the instrument is not registered");
    if (status != noErr) throw std::runtime_error("cannot open the instrument (" + describe(status) + ")");
}

void HostedInstrument::configure(double sampleRate, UInt32 channels, UInt32 maxFrames) {
    checkHostCall(mDriver.setOutputFormat(sampleRate, channels), "setting the output format");
    checkHostCall(mDriver.ensureMaxFramesPerSlice(maxFrames), "setting the maximum frames per slice");
    checkHostCall(mDriver.initialize(), "initializing the instrument");
}

const std::vector<ParameterDescription>& HostedInstrument::parameters() {
    if (mParameters.empty()) checkHostCall(mDriver.describeParameters(mParameters), "listing the parameters");
    return mParameters;
}

std::optional<AudioUnitParameterID> HostedInstrument::findParameter(const std::string& nameOrId) {
    for (const ParameterDescription& p : parameters())
        if (p.name == nameOrId) return p.id;
    if (!nameOrId.empty() && nameOrId.find_first_not_of("0123456789") == std::string::npos && nameOrId.size() < 10) {
        const auto id = AudioUnitParameterID(std::stoul(nameOrId));
        for (const ParameterDescription& p : parameters())
            if (p.id == id) return id;
    }
    return std::nullopt;
}

void HostedInstrument::setParameter(AudioUnitParameterID id, float value) {
    checkHostCall(mDriver.setParameter(id, value), "setting a parameter");
}

float HostedInstrument::getParameter(AudioUnitParameterID id) {
    float value = 0;
    checkHostCall(mDriver.getParameter(id, value), "reading a parameter");
    return value;
}

std::vector<std::pair<SInt32, std::string>> HostedInstrument::factoryPresets() {
    std::vector<std::pair<SInt32, std::string>> presets;
    checkHostCall(mDriver.factoryPresets(presets), "listing the factory presets");
    return presets;
}

std::optional<SInt32> HostedInstrument::findPreset(const std::string& numberOrName) {
    const auto presets = factoryPresets();
    for (auto& [number, name] : presets)
        if (name == numberOrName) return number;
    for (auto& [number, name] : presets)
        if (std::to_string(number) == numberOrName) return number;
    return std::nullopt;
}

void HostedInstrument::selectPreset(SInt32 number) {
    const OSStatus status = mDriver.selectPreset(number);
    if (status == InstrumentDriver::kNoSuchPreset)
        throw std::runtime_error("no factory preset " + std::to_string(number));
    checkHostCall(status, "selecting the preset");
}

void HostedInstrument::midi(UInt8 status, UInt8 data1, UInt8 data2, UInt32 offset) {
    checkHostCall(mDriver.midi(status, data1, data2, offset), "sending a MIDI event");
}

void HostedInstrument::render(UInt32 frames, const std::vector<float*>& channels) {
    checkHostCall(mDriver.render(frames, channels), "rendering");
}

CFPropertyListRef HostedInstrument::saveState() {
    CFPropertyListRef state = nullptr;
    checkHostCall(mDriver.saveState(state), "saving the state");
    return state;
}

OSStatus HostedInstrument::restoreState(CFPropertyListRef state) { return mDriver.restoreState(state); }
