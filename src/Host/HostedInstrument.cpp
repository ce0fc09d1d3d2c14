// HostedInstrument: opening, configuring and playing the instrument through host calls.
#include "Host/HostedInstrument.h"

#include <cstring>
#include <stdexcept>

namespace {
std::string describe(OSStatus status) { return "error " + std::to_string(status); }
}  // namespace

HostedInstrument::HostedInstrument(const ComponentDescription& desc) {
    Component comp = FindNextComponent(nullptr, desc);
    if (!comp) throw std::runtime_error("the instrument is not registered");
    const OSErr err = OpenAComponent(comp, &mUnit);
    if (err != noErr) throw std::runtime_error("cannot open the instrument (" + describe(err) + ")");
}

HostedInstrument::~HostedInstrument() {
    if (mUnit) {
        AudioUnitUninitialize(mUnit);
        CloseComponent(mUnit);
    }
}

void HostedInstrument::check(OSStatus status, const char* what) {
    if (status != noErr) throw std::runtime_error(std::string(what) + " failed (" + describe(status) + ")");
}

void HostedInstrument::configure(double sampleRate, UInt32 channels, UInt32 maxFrames) {
    AudioStreamBasicDescription format{};
    format.mSampleRate = sampleRate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsPacked |
                          kAudioFormatFlagIsNonInterleaved;
    format.mBytesPerPacket = format.mBytesPerFrame = 4;
    format.mFramesPerPacket = 1;
    format.mChannelsPerFrame = channels;
    format.mBitsPerChannel = 32;
    check(
        AudioUnitSetProperty(mUnit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &format, sizeof format),
        "setting the output format");
    UInt32 current = 0, size = sizeof current;
    check(AudioUnitGetProperty(mUnit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &current,
                               &size),
          "reading the maximum frames per slice");
    if (maxFrames > current)
        check(AudioUnitSetProperty(mUnit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                                   &maxFrames, sizeof maxFrames),
              "setting the maximum frames per slice");
    mChannels = channels;
    check(AudioUnitInitialize(mUnit), "initializing the instrument");
}

const std::vector<ParameterDescription>& HostedInstrument::parameters() {
    if (!mParameters.empty()) return mParameters;
    UInt32 size = 0;
    Boolean writable = false;
    check(
        AudioUnitGetPropertyInfo(mUnit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, &size, &writable),
        "listing the parameters");
    std::vector<AudioUnitParameterID> ids(size / sizeof(AudioUnitParameterID));
    if (!ids.empty())
        check(
            AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, ids.data(), &size),
            "listing the parameters");
    for (AudioUnitParameterID id : ids) {
        ParameterDescription p{id, {}, {}, {}};
        UInt32 infoSize = sizeof p.info;
        check(AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id, &p.info,
                                   &infoSize),
              "reading a parameter description");
        p.name.assign(p.info.name, strnlen(p.info.name, sizeof p.info.name));
        CFArrayRef names = nullptr;
        UInt32 namesSize = sizeof names;
        if (AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, id, &names,
                                 &namesSize) == noErr &&
            names) {
            for (CFIndex i = 0; i < CFArrayGetCount(names); ++i)
                p.valueNames.emplace_back(CFStringGetUTF8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(names, i))));
            CFRelease(names);
        }
        mParameters.push_back(std::move(p));
    }
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
    check(AudioUnitSetParameter(mUnit, id, kAudioUnitScope_Global, 0, value, 0), "setting a parameter");
}

float HostedInstrument::getParameter(AudioUnitParameterID id) {
    float value = 0;
    check(AudioUnitGetParameter(mUnit, id, kAudioUnitScope_Global, 0, &value), "reading a parameter");
    return value;
}

std::vector<std::pair<SInt32, std::string>> HostedInstrument::factoryPresets() {
    CFArrayRef list = nullptr;
    UInt32 size = sizeof list;
    check(AudioUnitGetProperty(mUnit, kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0, &list, &size),
          "listing the factory presets");
    std::vector<std::pair<SInt32, std::string>> presets;
    for (CFIndex i = 0; i < CFArrayGetCount(list); ++i) {
        auto preset = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(list, i));
        presets.emplace_back(preset->presetNumber, CFStringGetUTF8(preset->presetName));
    }
    CFRelease(list);
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
    for (auto& [n, name] : factoryPresets()) {
        if (n != number) continue;
        CFStringRef cfName = CFStringCreateWithCString(nullptr, name.c_str(), kCFStringEncodingUTF8);
        const AUPreset preset{number, cfName};
        const OSStatus status = AudioUnitSetProperty(mUnit, kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0,
                                                     &preset, sizeof preset);
        CFRelease(cfName);
        check(status, "selecting the preset");
        return;
    }
    throw std::runtime_error("no factory preset " + std::to_string(number));
}

void HostedInstrument::midi(UInt8 status, UInt8 data1, UInt8 data2, UInt32 offset) {
    check(MusicDeviceMIDIEvent(mUnit, status, data1, data2, offset), "sending a MIDI event");
}

void HostedInstrument::render(UInt32 frames, const std::vector<float*>& channels) {
    check(mRenderCall.render(mUnit, mSampleTime, frames, channels), "rendering");
    mSampleTime += frames;
}

CFPropertyListRef HostedInstrument::saveState() {
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    check(AudioUnitGetProperty(mUnit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, &size),
          "saving the state");
    return state;
}

OSStatus HostedInstrument::restoreState(CFPropertyListRef state) {
    return AudioUnitSetProperty(mUnit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, sizeof state);
}
