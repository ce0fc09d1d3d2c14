// InstrumentDriver: opening, configuring and playing the instrument through host calls.
#include "Host/InstrumentDriver.h"

#include <cstring>

InstrumentDriver::~InstrumentDriver() {
    if (mUnit) {
        AudioUnitUninitialize(mUnit);
        CloseComponent(mUnit);
    }
}

OSStatus InstrumentDriver::open(const ComponentDescription& desc) {
    if (mUnit) return paramErr;
    Component comp = FindNextComponent(nullptr, desc);
    if (!comp) return invalidComponentID;
    return OpenAComponent(comp, &mUnit);
}

OSStatus InstrumentDriver::setOutputFormat(double sampleRate, UInt32 channels) {
    const AudioStreamBasicDescription format = CanonicalOutputFormat(sampleRate, channels);
    return AudioUnitSetProperty(mUnit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &format,
                                sizeof format);
}

OSStatus InstrumentDriver::ensureMaxFramesPerSlice(UInt32 frames) {
    UInt32 current = 0, size = sizeof current;
    const OSStatus status = AudioUnitGetProperty(mUnit, kAudioUnitProperty_MaximumFramesPerSlice,
                                                 kAudioUnitScope_Global, 0, &current, &size);
    if (status != noErr || frames <= current) return status;
    return AudioUnitSetProperty(mUnit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &frames,
                                sizeof frames);
}

OSStatus InstrumentDriver::initialize() { return AudioUnitInitialize(mUnit); }

OSStatus InstrumentDriver::setParameter(AudioUnitParameterID id, float value) {
    return AudioUnitSetParameter(mUnit, id, kAudioUnitScope_Global, 0, value, 0);
}

OSStatus InstrumentDriver::getParameter(AudioUnitParameterID id, float& value) {
    return AudioUnitGetParameter(mUnit, id, kAudioUnitScope_Global, 0, &value);
}

OSStatus InstrumentDriver::describeParameters(std::vector<ParameterDescription>& out) {
    out.clear();
    UInt32 size = 0;
    Boolean writable = false;
    OSStatus status =
        AudioUnitGetPropertyInfo(mUnit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, &size, &writable);
    if (status != noErr) return status;
    std::vector<AudioUnitParameterID> ids(size / sizeof(AudioUnitParameterID));
    if (!ids.empty() && (status = AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global,
                                                       0, ids.data(), &size)) != noErr)
        return status;
    for (AudioUnitParameterID id : ids) {
        ParameterDescription p{id, {}, {}, {}};
        UInt32 infoSize = sizeof p.info;
        status = AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id, &p.info,
                                      &infoSize);
        if (status != noErr) {
            out.clear();
            return status;
        }
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
        out.push_back(std::move(p));
    }
    return noErr;
}

OSStatus InstrumentDriver::factoryPresets(std::vector<std::pair<SInt32, std::string>>& out) {
    out.clear();
    CFArrayRef list = nullptr;
    UInt32 size = sizeof list;
    const OSStatus status =
        AudioUnitGetProperty(mUnit, kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0, &list, &size);
    if (status != noErr) return status;
    for (CFIndex i = 0; i < CFArrayGetCount(list); ++i) {
        auto preset = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(list, i));
        out.emplace_back(preset->presetNumber, CFStringGetUTF8(preset->presetName));
    }
    CFRelease(list);
    return noErr;
}

OSStatus InstrumentDriver::selectPreset(SInt32 number) {
    std::vector<std::pair<SInt32, std::string>> presets;
    if (const OSStatus status = factoryPresets(presets); status != noErr) return status;
    for (auto& [n, name] : presets) {
        if (n != number) continue;
        CFStringRef cfName = CFStringCreateWithCString(nullptr, name.c_str(), kCFStringEncodingUTF8);
        const AUPreset preset{number, cfName};
        const OSStatus status = AudioUnitSetProperty(mUnit, kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0,
                                                     &preset, sizeof preset);
        CFRelease(cfName);
        return status;
    }
    return kNoSuchPreset;
}

OSStatus InstrumentDriver::midi(UInt8 status, UInt8 data1, UInt8 data2, UInt32 offset) {
    return MusicDeviceMIDIEvent(mUnit, status, data1, data2, offset);
}

OSStatus InstrumentDriver::render(UInt32 frames, std::span<float* const> channels) {
    const OSStatus status = mRenderCall.render(mUnit, mSampleTime, frames, channels);
    if (status == noErr) mSampleTime += frames;
    return status;
}

OSStatus InstrumentDriver::saveState(CFPropertyListRef& state) {
    state = nullptr;
    UInt32 size = sizeof state;
    return AudioUnitGetProperty(mUnit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, &size);
}

OSStatus InstrumentDriver::restoreState(CFPropertyListRef state) {
    return AudioUnitSetProperty(mUnit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, sizeof state);
}
