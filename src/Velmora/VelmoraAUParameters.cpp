// VelmoraAU: parameters, the instrument's own properties, presets and saved state.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "Platform/Log.h"
#include "Velmora/VelmoraAU.h"

namespace {
const ComponentDescription kEditorDescription{FourCC("auvw"), FourCC("TvW1"), FourCC("KqVt"), 0, 0};

bool isPropertyCall(SInt16 what) {
    return what == kAudioUnitGetPropertyInfoSelect || what == kAudioUnitGetPropertySelect ||
           what == kAudioUnitSetPropertySelect || what == kAudioUnitAddPropertyListenerSelect ||
           what == kAudioUnitRemovePropertyListenerSelect;
}
}  // namespace

// ---- the entry

OSStatus VelmoraAU::ComponentEntryDispatch(ComponentParameters* params, VelmoraAU* This) {
    if (This && isPropertyCall(params->what)) {
        std::lock_guard guard(This->mSettingsLock);
        return MusicDeviceBase::ComponentEntryDispatch(params, This);
    }
    return MusicDeviceBase::ComponentEntryDispatch(params, This);
}

// ---- parameters

OSStatus VelmoraAU::GetParameterList(AudioUnitScope scope, AudioUnitParameterID* outList, UInt32& outNumParameters) {
    if (scope != kAudioUnitScope_Global) return MusicDeviceBase::GetParameterList(scope, outList, outNumParameters);
    outNumParameters = CountParameters(VelmoraParameterTable());
    if (outList)
        for (UInt32 id = 0; id < outNumParameters; ++id) outList[id] = id;
    return noErr;
}

OSStatus VelmoraAU::GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id, AudioUnitParameterInfo& outInfo) {
    if (scope != kAudioUnitScope_Global) return MusicDeviceBase::GetParameterInfo(scope, id, outInfo);
    if (id >= kNumberOfParameters) return kAudioUnitErr_InvalidParameter;
    outInfo = VelmoraParameterTable()[id];
    return noErr;
}

OSStatus VelmoraAU::GetParameterValueStrings(AudioUnitScope scope, AudioUnitParameterID id, CFArrayRef* outStrings) {
    if (scope == kAudioUnitScope_Global && outStrings) {
        if (CFArrayRef list = CopyParameterValueStrings(id)) {
            *outStrings = list;
            return noErr;
        }
    }
    return MusicDeviceBase::GetParameterValueStrings(scope, id, outStrings);
}

OSStatus VelmoraAU::GetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                 Float32& outValue) {
    if (scope != kAudioUnitScope_Global || element != 0) {
        std::lock_guard guard(mSettingsLock);  // the frame's parameter maps, also read by a state save
        return MusicDeviceBase::GetParameter(id, scope, element, outValue);
    }
    if (id >= kNumberOfParameters) return kAudioUnitErr_InvalidParameter;
    outValue = LoadRelaxed(currentSettings.values[id]);
    return noErr;
}

OSStatus VelmoraAU::SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element, Float32 value,
                                 UInt32 bufferOffsetInFrames) {
    if (scope != kAudioUnitScope_Global || element != 0) {
        std::lock_guard guard(mSettingsLock);  // the frame's parameter maps, also read by a state save
        return MusicDeviceBase::SetParameter(id, scope, element, value, bufferOffsetInFrames);
    }
    if (id >= kNumberOfParameters) return kAudioUnitErr_InvalidParameter;
    // A NaN or an infinity would poison the voice for good: refused, the old value stays.
    if (!std::isfinite(value)) return paramErr;
    float* values = currentSettings.values;
    StoreRelaxed(values[id], IsModSourceSelector(id) ? std::roundf(value) : value);
    parameterChanges.fetch_add(1, std::memory_order_release);

    const bool envelope = id >= kA1 && id <= kR3 && (id - kA1) % kEnvStride < 4;
    const bool lfo = id == kLFO1Wave || id == kLFO1Speed || id == kLFO1InPhase || id == kLFO2Wave || id == kLFO2Speed ||
                     id == kLFO2InPhase;
    if (!envelope && !lfo) return noErr;
    const Float64 sampleRate = outputSampleRate();  // raises InvalidElement without an output element
    if (!params) return noErr;                      // generators exist only from the first Initialize
    if (envelope)
        configureEnvelope(int((id - kA1) / kEnvStride), sampleRate);
    else
        configureLfo(id >= kLFO2Wave ? 1 : 0, sampleRate);
    return noErr;
}

// The render thread may schedule events: only the instrument's own parameters (global
// scope, element 0) are applied, through the path above that neither locks nor
// allocates; other addresses hold none of its parameters and are skipped.
OSStatus VelmoraAU::ScheduleParameter(const AudioUnitParameterEvent* events, UInt32 numEvents) {
    for (UInt32 i = 0; i < numEvents; ++i) {
        const AudioUnitParameterEvent& e = events[i];
        if (e.eventType == kParameterEvent_Immediate && e.scope == kAudioUnitScope_Global && e.element == 0)
            SetParameter(e.parameter, e.scope, e.element, e.eventValues.immediate.value,
                         e.eventValues.immediate.bufferOffset);
    }
    return noErr;
}

// Writes every value of the current settings again, so that each side effect
// of a parameter write (rounding, envelope and LFO re-sets) happens.
void VelmoraAU::applySettings(const EZPreset& settings) {
    std::memcpy(currentSettings.name, settings.name, sizeof currentSettings.name);
    currentSettings.name[sizeof currentSettings.name - 1] = 0;  // a name that fills the field still ends
    for (UInt32 id = 0; id < kNumberOfParameters; ++id)
        SetParameter(id, kAudioUnitScope_Global, 0, settings.values[id], 0);
}

// ---- properties

OSStatus VelmoraAU::GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                    UInt32& outDataSize, Boolean& outWritable) {
    switch (id) {
        case kInternalParamsProperty:
            outDataSize = sizeof internalParams;
            outWritable = false;
            return noErr;
        case kPresetNameProperty:
            outDataSize = kPresetNameBytes;
            outWritable = true;
            return noErr;
        default: return MusicDeviceBase::GetPropertyInfo(id, scope, element, outDataSize, outWritable);
    }
}

OSStatus VelmoraAU::GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* outData) {
    switch (id) {
        case kInternalParamsProperty: std::memcpy(outData, internalParams, sizeof internalParams); return noErr;
        case kPresetNameProperty: {
            static_assert(sizeof currentSettings.name == kPresetNameBytes);
            char* name = static_cast<char*>(outData);
            std::memcpy(name, currentSettings.name, kPresetNameBytes);
            name[kPresetNameBytes - 1] = 0;
            return noErr;
        }
        default: return MusicDeviceBase::GetProperty(id, scope, element, outData);
    }
}

OSStatus VelmoraAU::SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                const void* inData, UInt32 inDataSize) {
    if (id != kPresetNameProperty) return MusicDeviceBase::SetProperty(id, scope, element, inData, inDataSize);
    if (!inData || inDataSize == 0 || inDataSize > kPresetNameBytes) return kAudioUnitErr_InvalidPropertyValue;
    // Up to the first terminator, at most 47 bytes; the rest of the record's name is zeros.
    const char* text = static_cast<const char*>(inData);
    const size_t length = strnlen(text, std::min<size_t>(inDataSize, kPresetNameBytes - 1));
    std::memset(currentSettings.name, 0, sizeof currentSettings.name);
    std::memcpy(currentSettings.name, text, length);
    return noErr;
}

void VelmoraAU::GetUIComponentDescs(ComponentDescription* outDescs) {
    if (outDescs) *outDescs = kEditorDescription;
}

UInt32 VelmoraAU::SupportedNumChannels(const AUChannelInfo** outInfo) {
    if (outInfo) *outInfo = channelInfo;
    UInt32 n = 0;
    while (channelInfo[n].inChannels != 0 || channelInfo[n].outChannels != 0) ++n;
    return n;
}

// ---- presets

OSStatus VelmoraAU::GetPresets(CFArrayRef* outData) const {
    if (!outData) return noErr;
    const void* entries[kNumFactoryPresets];
    for (int n = 0; n < kNumFactoryPresets; ++n) entries[n] = &presetList[n];
    *outData = CFArrayCreate(nullptr, entries, kNumFactoryPresets, nullptr);
    return noErr;
}

OSStatus VelmoraAU::NewFactoryPresetSet(const AUPreset& preset) {
    const SInt32 n = preset.presetNumber;
    if (n < 0 || n >= kNumFactoryPresets) return kAudioUnitErr_InvalidPropertyValue;
    if (preset.presetName && preset.presetName != presetList[n].presetName) {
        // The list keeps its own reference to the caller's name.
        CFRetain(preset.presetName);
        CFRelease(presetList[n].presetName);
        presetList[n].presetName = preset.presetName;
    }
    applySettings(factoryPresets[n]);
    SetAFactoryPresetAsCurrent(presetList[n]);
    return noErr;
}

bool VelmoraAU::SetAFactoryPresetAsCurrent(const AUPreset& preset) {
    const bool selected = MusicDeviceBase::SetAFactoryPresetAsCurrent(preset);
    if (selected)
        PlatformLog("selecting preset: %d\n", int(preset.presetNumber));
    else
        PlatformLog("not selecting preset...\n");
    return selected;
}

// ---- saved state

OSStatus VelmoraAU::SaveState(CFPropertyListRef* outData) {
    const OSStatus result = MusicDeviceBase::SaveState(outData);
    if (result != noErr) return result;
    UInt8 block[sizeof(EZPreset)];
    EZPreset snapshot;
    std::memcpy(snapshot.name, currentSettings.name, sizeof snapshot.name);
    for (UInt32 id = 0; id < kNumberOfParameters; ++id) snapshot.values[id] = LoadRelaxed(currentSettings.values[id]);
    EncodeSettingsBlock(snapshot, block);
    CFDataRef data = CFDataCreate(nullptr, block, sizeof block);
    CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(const_cast<void*>(*outData)), CFSTR("ZPQ-DATA-KEY"), data);
    CFRelease(data);
    return noErr;
}

OSStatus VelmoraAU::RestoreState(CFPropertyListRef state) {
    // The instrument's block is checked before anything is restored, so that a
    // state without a valid block changes nothing.
    if (!state || CFGetTypeID(state) != CFDictionaryGetTypeID()) return kAudioUnitErr_InvalidPropertyValue;
    auto data =
        static_cast<CFDataRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(state), CFSTR("ZPQ-DATA-KEY")));
    if (!data || CFGetTypeID(data) != CFDataGetTypeID() || CFDataGetLength(data) != CFIndex(sizeof(EZPreset)))
        return kAudioUnitErr_InvalidPropertyValue;
    UInt8 block[sizeof(EZPreset)];
    std::memcpy(block, CFDataGetBytePtr(data), sizeof block);
    EZPreset restored;
    DecodeSettingsBlock(block, restored);
    for (float v : restored.values)
        if (!std::isfinite(v)) return kAudioUnitErr_InvalidPropertyValue;
    const OSStatus result = MusicDeviceBase::RestoreState(state);
    if (result != noErr) return result;
    applySettings(restored);
    return noErr;
}
