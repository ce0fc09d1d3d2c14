// AUBase: construction, lifecycle, elements, parameters, presets and saved state.
#include "AUPublic/AUBase/AUBase.h"

#include <bit>
#include <cstring>

#include "AUPublic/Utility/BigEndian.h"

namespace {
constexpr UInt32 kDefaultMaxFramesPerSlice = 1152;

void putNumber(CFMutableDictionaryRef dict, const char* key, SInt32 value) {
    CFNumberRef n = CFNumberCreate(nullptr, kCFNumberSInt32Type, &value);
    CFDictionarySetValue(dict, CFSTR_(key), n);
    CFRelease(n);
}

// True when `key` holds a number equal to `expected`.
bool numberIs(CFDictionaryRef dict, const char* key, SInt32 expected) {
    auto n = static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR_(key)));
    SInt32 value = 0;
    return n && CFGetTypeID(n) == CFNumberGetTypeID() && CFNumberGetValue(n, kCFNumberSInt32Type, &value) &&
           value == expected;
}
}  // namespace

AUBase::AUBase(ComponentInstance instance, UInt32 numInputs, UInt32 numOutputs, UInt32 numGroups)
    : ComponentBase(instance), mInitNumInputs(numInputs), mInitNumOutputs(numOutputs), mInitNumGroups(numGroups) {
    ComponentDescription desc{};
    const OSErr err = GetComponentInfo(instance, &desc);
    if (err != noErr) ThrowStatus(err);
    mAudioUnitAPIVersion = desc.componentType == FourCC("aunt") ? 1 : 2;
    SetMaxFramesPerSlice(kDefaultMaxFramesPerSlice);
    GlobalScope().Initialize(this, kAudioUnitScope_Global, 1);
    mCurrentPreset.presetName = CFSTR("Untitled");
    CFRetain(mCurrentPreset.presetName);
}

AUBase::~AUBase() {
    if (mCurrentPreset.presetName) CFRelease(mCurrentPreset.presetName);
}

// ---- lifecycle

OSStatus AUBase::DoInitialize() {
    if (mTriedToInitialize) return mInitialized ? OSStatus(noErr) : OSStatus(kAudioUnitErr_FailedInitialization);
    mInitialized = true;
    OSStatus result;
    try {
        ReallocateBuffers();
        result = Initialize();
    } catch (...) {
        mTriedToInitialize = true;
        mInitialized = false;
        throw;
    }
    mTriedToInitialize = true;
    if (result != noErr) mInitialized = false;
    return result;
}

void AUBase::DoCleanup() {
    if (mInitialized) Cleanup();
    mInitialized = false;
    mTriedToInitialize = false;
}

OSStatus AUBase::Reset(AudioUnitScope, AudioUnitElement) {
    mLastRenderedSampleTime = -1.0;
    return noErr;
}

// ---- elements

void AUBase::CreateElements() {
    if (mElementsCreated) return;
    Inputs().Initialize(this, kAudioUnitScope_Input, mInitNumInputs);
    Outputs().Initialize(this, kAudioUnitScope_Output, mInitNumOutputs);
    Groups().Initialize(this, kAudioUnitScope_Group, mInitNumGroups);
    mElementsCreated = true;
}

AUElement* AUBase::CreateElement(AudioUnitScope scope, AudioUnitElement) {
    switch (scope) {
        case kAudioUnitScope_Global:
        case kAudioUnitScope_Group: return new AUElement(*this);
        case kAudioUnitScope_Output: return new AUOutputElement(*this);
        default: ThrowStatus(kAudioUnitErr_InvalidScope);
    }
}

void AUBase::SetNumberOfElements(AudioUnitScope scope, UInt32 numElements) {
    if (scope == kAudioUnitScope_Global && numElements != 1) ThrowStatus(kAudioUnitErr_InvalidScope);
    GetScope(scope).SetNumberOfElements(numElements);
}

void AUBase::SetMaxFramesPerSlice(UInt32 frames) {
    mMaxFramesPerSlice = frames;
    if (mBuffersAllocated) ReallocateBuffers();
    PropertyChanged(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0);
}

void AUBase::ReallocateBuffers() {
    CreateElements();
    for (UInt32 i = 0; i < Outputs().GetNumberOfElements(); ++i) GetOutput(i)->AllocateBuffer();
    mBuffersAllocated = true;
}

// ---- listeners and notifications

OSStatus AUBase::AddPropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void* refCon) {
    mPropertyListeners.change([&](std::vector<PropertyListener>& list) { list.push_back({id, proc, refCon}); });
    return noErr;
}

OSStatus AUBase::RemovePropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc) {
    mPropertyListeners.change([&](std::vector<PropertyListener>& list) {
        std::erase_if(list, [&](const PropertyListener& l) { return l.propertyID == id && l.listenerProc == proc; });
    });
    return noErr;
}

// Also called on the render thread (the last render error).
void AUBase::PropertyChanged(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element) {
    mPropertyListeners.read([&](const std::vector<PropertyListener>& list) {
        for (const PropertyListener& l : list)
            if (l.propertyID == id && l.listenerProc)
                l.listenerProc(l.listenerRefCon, mComponentInstance, id, scope, element);
    });
}

OSStatus AUBase::SetRenderNotification(UInt32, void* proc, void* refCon) {
    if (!proc) {
        if (mAudioUnitAPIVersion > 1) return paramErr;
        mRenderCallbacks.change([](std::vector<RenderCallback>& list) { list.clear(); });
        return noErr;
    }
    mRenderCallbacks.change([&](std::vector<RenderCallback>& list) {
        for (const RenderCallback& c : list)
            if (c.mRenderNotify == proc && c.mRenderNotifyRefCon == refCon) return;
        list.push_back({proc, refCon});
    });
    return noErr;
}

OSStatus AUBase::RemoveRenderNotification(void* proc, void* refCon) {
    mRenderCallbacks.change([&](std::vector<RenderCallback>& list) {
        for (auto it = list.begin(); it != list.end(); ++it)
            if (it->mRenderNotify == proc && it->mRenderNotifyRefCon == refCon) {
                list.erase(it);
                break;
            }
    });
    return noErr;
}

// ---- parameters

OSStatus AUBase::GetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                              Float32& outValue) {
    outValue = SafeGetElement(scope, element)->GetParameter(id);
    return noErr;
}

OSStatus AUBase::SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element, Float32 value,
                              UInt32) {
    SafeGetElement(scope, element)->SetParameter(id, value);
    return noErr;
}

OSStatus AUBase::ScheduleParameter(const AudioUnitParameterEvent* events, UInt32 numEvents) {
    for (UInt32 i = 0; i < numEvents; ++i) {
        const AudioUnitParameterEvent& e = events[i];
        if (e.eventType != kParameterEvent_Immediate) continue;
        if (e.scope > kAudioUnitScope_Group || !mScopes[e.scope].GetElement(e.element)) continue;
        SetParameter(e.parameter, e.scope, e.element, e.eventValues.immediate.value,
                     e.eventValues.immediate.bufferOffset);
    }
    return noErr;
}

OSStatus AUBase::GetParameterList(AudioUnitScope scope, AudioUnitParameterID* outList, UInt32& outNumParameters) {
    AUScope& s = GetScope(scope);
    AUElement* largest = nullptr;
    for (UInt32 i = 0; i < s.GetNumberOfElements(); ++i) {
        AUElement* e = s.GetElement(i);
        if (!largest || e->GetNumberOfParameters() > largest->GetNumberOfParameters()) largest = e;
    }
    outNumParameters = largest ? largest->GetNumberOfParameters() : 0;
    if (largest && outList) largest->GetParameterList(outList);
    return noErr;
}

OSStatus AUBase::GetParameterInfo(AudioUnitScope, AudioUnitParameterID, AudioUnitParameterInfo&) {
    return kAudioUnitErr_InvalidParameter;
}

OSStatus AUBase::GetParameterValueStrings(AudioUnitScope, AudioUnitParameterID, CFArrayRef*) {
    return kAudioUnitErr_InvalidProperty;
}

// ---- presets

OSStatus AUBase::GetPresets(CFArrayRef*) const { return kAudioUnitErr_InvalidProperty; }
OSStatus AUBase::NewFactoryPresetSet(const AUPreset&) { return kAudioUnitErr_InvalidProperty; }

void AUBase::SetCurrentPreset(SInt32 number, CFStringRef name) {
    CFRetain(name);
    if (mCurrentPreset.presetName) CFRelease(mCurrentPreset.presetName);
    mCurrentPreset = {number, name};
}

bool AUBase::SetAFactoryPresetAsCurrent(const AUPreset& preset) {
    if (preset.presetNumber < 0 || !preset.presetName) return false;
    SetCurrentPreset(preset.presetNumber, preset.presetName);
    return true;
}

UInt32 AUBase::SupportedNumChannels(const AUChannelInfo**) { return 0; }

// ---- saved state

OSStatus AUBase::SaveState(CFPropertyListRef* outData) {
    ComponentDescription desc{};
    const OSErr err = GetComponentInfo(mComponentInstance, &desc);
    if (err != noErr) return err;

    CFMutableDictionaryRef dict =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    putNumber(dict, "version", 0);
    putNumber(dict, "type", SInt32(desc.componentType));
    putNumber(dict, "subtype", SInt32(desc.componentSubType));
    putNumber(dict, "manufacturer", SInt32(desc.componentManufacturer));

    std::vector<UInt8> block;
    for (AudioUnitScope scope = kAudioUnitScope_Global; scope <= kAudioUnitScope_Group; ++scope) {
        AUScope& s = mScopes[scope];
        for (UInt32 i = 0; i < s.GetNumberOfElements(); ++i) {
            AUElement* e = s.GetElement(i);
            if (e->GetNumberOfParameters() == 0) continue;
            PutBigEndian32(block, scope);
            PutBigEndian32(block, i);
            e->SaveState(block);
        }
    }
    CFDataRef data = CFDataCreate(nullptr, block.data(), CFIndex(block.size()));
    CFDictionarySetValue(dict, CFSTR("data"), data);
    CFRelease(data);
    CFDictionarySetValue(dict, CFSTR("name"), mCurrentPreset.presetName);

    UInt32 quality = 0;
    if (DispatchGetProperty(kAudioUnitProperty_RenderQuality, kAudioUnitScope_Global, 0, &quality) == noErr)
        putNumber(dict, "render-quality", SInt32(quality));
    Float32 load = 0;
    if (DispatchGetProperty(kAudioUnitProperty_CPULoad, kAudioUnitScope_Global, 0, &load) == noErr) {
        CFNumberRef n = CFNumberCreate(nullptr, kCFNumberFloat32Type, &load);
        CFDictionarySetValue(dict, CFSTR("cpu-load"), n);
        CFRelease(n);
    }
    *outData = dict;
    return noErr;
}

OSStatus AUBase::RestoreState(CFPropertyListRef state) {
    if (!state || CFGetTypeID(state) != CFDictionaryGetTypeID()) return kAudioUnitErr_InvalidPropertyValue;
    auto dict = static_cast<CFDictionaryRef>(state);
    ComponentDescription desc{};
    const OSErr err = GetComponentInfo(mComponentInstance, &desc);
    if (err != noErr) return err;

    if (!numberIs(dict, "version", 0) || !numberIs(dict, "type", SInt32(desc.componentType)) ||
        !numberIs(dict, "subtype", SInt32(desc.componentSubType)) ||
        !numberIs(dict, "manufacturer", SInt32(desc.componentManufacturer)))
        return kAudioUnitErr_InvalidPropertyValue;
    auto data = static_cast<CFDataRef>(CFDictionaryGetValue(dict, CFSTR("data")));
    if (!data || CFGetTypeID(data) != CFDataGetTypeID()) return kAudioUnitErr_InvalidPropertyValue;
    auto name = static_cast<CFStringRef>(CFDictionaryGetValue(dict, CFSTR("name")));
    if (name && CFGetTypeID(name) != CFStringGetTypeID()) name = nullptr;

    // Every record's address is checked before any is applied, so a block that
    // names a missing element changes nothing.
    const UInt8* begin = CFDataGetBytePtr(data);
    const UInt8* end = begin + CFDataGetLength(data);
    for (int pass = 0; pass < 2; ++pass) {
        for (const UInt8* p = begin; p && end - p >= 8;) {
            AUElement* e = SafeGetElement(GetBigEndian32(p), GetBigEndian32(p + 4));
            if (pass == 1) {
                p = e->RestoreState(p + 8, end);
            } else if (end - p >= 12 && UInt64(end - p - 12) >= UInt64(GetBigEndian32(p + 8)) * 8) {
                p += 12 + UInt64(GetBigEndian32(p + 8)) * 8;
            } else {
                p = nullptr;
            }
        }
    }

    SetCurrentPreset(-1, name ? name : CFSTR("Untitled"));
    PropertyChanged(kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0);

    if (auto q = static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("render-quality")));
        q && CFGetTypeID(q) == CFNumberGetTypeID()) {
        UInt32 quality = 0;
        CFNumberGetValue(q, kCFNumberSInt32Type, &quality);
        DispatchSetProperty(kAudioUnitProperty_RenderQuality, kAudioUnitScope_Global, 0, &quality, 4);
    }
    if (auto c = static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("cpu-load")));
        c && CFGetTypeID(c) == CFNumberGetTypeID()) {
        Float32 load = 0;
        CFNumberGetValue(c, kCFNumberFloat32Type, &load);
        DispatchSetProperty(kAudioUnitProperty_CPULoad, kAudioUnitScope_Global, 0, &load, 4);
    }
    return noErr;
}
