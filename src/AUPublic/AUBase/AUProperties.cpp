// AUBase: the property switch, stream formats and the properties every unit shares.
#include <cstring>

#include "AUPublic/AUBase/AUBase.h"

OSStatus AUBase::GetPropertyInfo(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, UInt32&, Boolean&) {
    return kAudioUnitErr_InvalidProperty;
}
OSStatus AUBase::GetProperty(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, void*) {
    return kAudioUnitErr_InvalidProperty;
}
OSStatus AUBase::SetProperty(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, const void*, UInt32) {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::DispatchGetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                         UInt32& outDataSize, Boolean& outWritable) {
    bool checkElement = true;
    auto globalOnly = [&](UInt32 size, bool writable) -> OSStatus {
        if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        outDataSize = size;
        outWritable = writable;
        return noErr;
    };
    OSStatus result = noErr;
    switch (id) {
        case kAudioUnitProperty_ClassInfo:
            // A state reference: the size the set side demands and the get side writes.
            result = globalOnly(sizeof(CFPropertyListRef), true);
            break;
        case kAudioUnitProperty_MakeConnection:
            if (scope != kAudioUnitScope_Global && scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidScope;
            outDataSize = sizeof(AudioUnitConnection);
            outWritable = true;
            break;
        case kAudioUnitProperty_SampleRate:
            outDataSize = 8;
            outWritable = IsStreamFormatWritable(scope, element);
            break;
        case kAudioUnitProperty_ParameterList: {
            UInt32 count = 0;
            result = GetParameterList(scope, nullptr, count);
            outDataSize = UInt32(sizeof(AudioUnitParameterID)) * count;
            outWritable = false;
            checkElement = false;
            break;
        }
        case kAudioUnitProperty_ParameterInfo:
            outDataSize = sizeof(AudioUnitParameterInfo);
            outWritable = false;
            checkElement = false;
            break;
        case kAudioUnitProperty_FastDispatch:
            result = globalOnly(sizeof(void*), false);
            checkElement = false;
            break;
        case kAudioUnitProperty_SetInputCallback:
            if (mAudioUnitAPIVersion > 1) return kAudioUnitErr_InvalidProperty;
            if (scope != kAudioUnitScope_Global && scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidScope;
            outDataSize = sizeof(AudioUnitInputCallbackStruct);
            outWritable = true;
            break;
        case kAudioUnitProperty_StreamFormat:
            outDataSize = sizeof(AudioStreamBasicDescription);
            outWritable = IsStreamFormatWritable(scope, element);
            break;
        case kAudioUnitProperty_ElementCount:
            outDataSize = 4;
            outWritable = BusCountWritable(scope);
            checkElement = false;
            break;
        case kAudioUnitProperty_Latency: result = globalOnly(8, false); break;
        case kAudioUnitProperty_SupportedNumChannels: {
            const UInt32 n = SupportedNumChannels(nullptr);
            if (n == 0) return kAudioUnitErr_InvalidProperty;
            result = globalOnly(UInt32(sizeof(AUChannelInfo)) * n, false);
            break;
        }
        case kAudioUnitProperty_MaximumFramesPerSlice: result = globalOnly(4, true); break;
        case kAudioUnitProperty_ParameterValueStrings:
            outDataSize = sizeof(CFArrayRef);
            outWritable = false;
            checkElement = false;
            break;
        case kAudioUnitProperty_GetUIComponentList: {
            const UInt32 n = GetNumCustomUIComponents();
            if (n == 0) return kAudioUnitErr_InvalidProperty;
            result = globalOnly(UInt32(sizeof(ComponentDescription)) * n, false);
            break;
        }
        case kAudioUnitProperty_TailTime:
            if (!SupportsTail()) return kAudioUnitErr_InvalidProperty;
            result = globalOnly(8, false);
            break;
        case kAudioUnitProperty_LastRenderError: result = globalOnly(4, false); break;
        case kAudioUnitProperty_SetRenderCallback:
            if (mAudioUnitAPIVersion == 1) return kAudioUnitErr_InvalidProperty;
            if (scope != kAudioUnitScope_Global && scope != kAudioUnitScope_Input) return kAudioUnitErr_InvalidScope;
            outDataSize = sizeof(AURenderCallbackStruct);
            outWritable = true;
            break;
        case kAudioUnitProperty_FactoryPresets: result = globalOnly(sizeof(CFArrayRef), false); break;
        case kAudioUnitProperty_HostCallbacks: result = globalOnly(sizeof(HostCallbackInfo), true); break;
        case kAudioUnitProperty_CurrentPreset: result = globalOnly(sizeof(AUPreset), true); break;
        default: return GetPropertyInfo(id, scope, element, outDataSize, outWritable);
    }
    if (result == noErr && checkElement && !GetElement(scope, element)) return kAudioUnitErr_InvalidElement;
    return result;
}

OSStatus AUBase::DispatchGetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                     void* outData) {
    switch (id) {
        case kAudioUnitProperty_ClassInfo:
            *static_cast<CFPropertyListRef*>(outData) = nullptr;
            return SaveState(static_cast<CFPropertyListRef*>(outData));
        case kAudioUnitProperty_SampleRate: {
            const Float64 rate = GetStreamFormat(scope, element).mSampleRate;
            std::memcpy(outData, &rate, 8);
            return noErr;
        }
        case kAudioUnitProperty_ParameterList: {
            UInt32 count = 0;
            return GetParameterList(scope, static_cast<AudioUnitParameterID*>(outData), count);
        }
        case kAudioUnitProperty_ParameterInfo:
            return GetParameterInfo(scope, element, *static_cast<AudioUnitParameterInfo*>(outData));
        case kAudioUnitProperty_FastDispatch: {
            void* proc = nullptr;
            switch (element) {
                case kAudioUnitGetParameterSelect: proc = reinterpret_cast<void*>(AudioUnitBaseGetParameter); break;
                case kAudioUnitSetParameterSelect: proc = reinterpret_cast<void*>(AudioUnitBaseSetParameter); break;
                case kAudioUnitRenderSliceSelect:
                    if (mAudioUnitAPIVersion == 1) proc = reinterpret_cast<void*>(AudioUnitBaseRenderSlice);
                    break;
                case kAudioUnitRenderSelect:
                    if (mAudioUnitAPIVersion > 1) proc = reinterpret_cast<void*>(AudioUnitBaseRender);
                    break;
                default: break;
            }
            if (!proc) return kAudioUnitErr_InvalidElement;
            std::memcpy(outData, &proc, sizeof proc);
            return noErr;
        }
        case kAudioUnitProperty_StreamFormat:
            std::memcpy(outData, &GetStreamFormat(scope, element), sizeof(AudioStreamBasicDescription));
            return noErr;
        case kAudioUnitProperty_ElementCount: {
            DoInitialize();
            if (!mInitialized) return kAudioUnitErr_Uninitialized;
            const UInt32 count = GetScope(scope).GetNumberOfElements();
            std::memcpy(outData, &count, 4);
            return noErr;
        }
        case kAudioUnitProperty_Latency: {
            const Float64 latency = GetLatency();
            std::memcpy(outData, &latency, 8);
            return noErr;
        }
        case kAudioUnitProperty_SupportedNumChannels: {
            const AUChannelInfo* table = nullptr;
            const UInt32 n = SupportedNumChannels(&table);
            if (table) std::memcpy(outData, table, sizeof(AUChannelInfo) * n);
            return noErr;
        }
        case kAudioUnitProperty_MaximumFramesPerSlice: std::memcpy(outData, &mMaxFramesPerSlice, 4); return noErr;
        case kAudioUnitProperty_ParameterValueStrings:
            return GetParameterValueStrings(scope, element, static_cast<CFArrayRef*>(outData));
        case kAudioUnitProperty_GetUIComponentList:
            GetUIComponentDescs(static_cast<ComponentDescription*>(outData));
            return noErr;
        case kAudioUnitProperty_TailTime: {
            if (!SupportsTail()) return kAudioUnitErr_InvalidProperty;
            const Float64 tail = GetTailTime();
            std::memcpy(outData, &tail, 8);
            return noErr;
        }
        case kAudioUnitProperty_LastRenderError: {
            const OSStatus error = mLastRenderError.exchange(noErr);
            std::memcpy(outData, &error, 4);
            return noErr;
        }
        case kAudioUnitProperty_FactoryPresets:
            *static_cast<CFArrayRef*>(outData) = nullptr;
            return GetPresets(static_cast<CFArrayRef*>(outData));
        case kAudioUnitProperty_HostCallbacks:
            std::memcpy(outData, &mHostCallbackInfo, sizeof mHostCallbackInfo);
            return noErr;
        case kAudioUnitProperty_CurrentPreset:
            std::memcpy(outData, &mCurrentPreset, sizeof mCurrentPreset);
            return noErr;
        default: return GetProperty(id, scope, element, outData);
    }
}

OSStatus AUBase::DispatchSetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                     const void* inData, UInt32 inDataSize) {
    switch (id) {
        case kAudioUnitProperty_ClassInfo:
            if (inDataSize != sizeof(CFPropertyListRef)) return kAudioUnitErr_InvalidPropertyValue;
            if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
            return RestoreState(*static_cast<const CFPropertyListRef*>(inData));
        case kAudioUnitProperty_MakeConnection:
            if (inDataSize < sizeof(AudioUnitConnection)) return kAudioUnitErr_InvalidPropertyValue;
            return SetConnection(*static_cast<const AudioUnitConnection*>(inData));
        case kAudioUnitProperty_SampleRate: {
            if (inDataSize != 8) return kAudioUnitErr_InvalidPropertyValue;
            if (!IsStreamFormatWritable(scope, element)) return kAudioUnitErr_PropertyNotWritable;
            const CAStreamBasicDescription current = GetStreamFormat(scope, element);
            CAStreamBasicDescription wanted = current;
            std::memcpy(&wanted.mSampleRate, inData, 8);
            if (!ValidFormat(scope, element, wanted)) return kAudioUnitErr_FormatNotSupported;
            if (wanted == current) return noErr;
            return ChangeStreamFormat(scope, element, current, wanted);
        }
        case kAudioUnitProperty_SetInputCallback: {
            if (inDataSize < sizeof(AudioUnitInputCallbackStruct)) return kAudioUnitErr_InvalidPropertyValue;
            if (mAudioUnitAPIVersion > 1) return kAudioUnitErr_InvalidProperty;
            auto& cb = *static_cast<const AudioUnitInputCallbackStruct*>(inData);
            return SetInputCallback(id, element, reinterpret_cast<void*>(cb.inputProc), cb.inputProcRefCon);
        }
        case kAudioUnitProperty_StreamFormat: {
            if (!IsStreamFormatWritable(scope, element)) return kAudioUnitErr_PropertyNotWritable;
            if (inDataSize < 36) return kAudioUnitErr_InvalidPropertyValue;
            CAStreamBasicDescription wanted;
            std::memcpy(&wanted, inData, inDataSize < 40 ? inDataSize : 40);
            if (!ValidFormat(scope, element, wanted)) return kAudioUnitErr_FormatNotSupported;
            const CAStreamBasicDescription current = GetStreamFormat(scope, element);
            if (wanted == current) return noErr;
            return ChangeStreamFormat(scope, element, current, wanted);
        }
        case kAudioUnitProperty_ElementCount: {
            if (inDataSize != 4) return kAudioUnitErr_InvalidPropertyValue;
            if (!BusCountWritable(scope)) return kAudioUnitErr_PropertyNotWritable;
            if (!mInitialized) return kAudioUnitErr_Uninitialized;
            UInt32 count;
            std::memcpy(&count, inData, 4);
            SetNumberOfElements(scope, count);
            PropertyChanged(id, scope, element);
            return noErr;
        }
        case kAudioUnitProperty_MaximumFramesPerSlice: {
            if (inDataSize != 4) return kAudioUnitErr_InvalidPropertyValue;
            UInt32 frames;
            std::memcpy(&frames, inData, 4);
            // Element buffers hold this many frames per channel: a limit keeps a
            // mistaken value from asking for gigabytes.
            if (frames > kMaxFramesPerSliceLimit) return kAudioUnitErr_InvalidPropertyValue;
            SetMaxFramesPerSlice(frames);
            return noErr;
        }
        case kAudioUnitProperty_SetExternalBuffer: {
            if (inDataSize < sizeof(AudioUnitExternalBuffer)) return kAudioUnitErr_InvalidPropertyValue;
            if (!mInitialized) return kAudioUnitErr_Uninitialized;
            auto& ext = *static_cast<const AudioUnitExternalBuffer*>(inData);
            // No memory to render into: refused, the element keeps its own.
            if (!ext.buffer || reinterpret_cast<std::uintptr_t>(ext.buffer) % 16 != 0) return paramErr;
            AUIOElement* e = scope == kAudioUnitScope_Input ? GetInput(element) : GetOutput(element);
            e->UseExternalBuffer(ext.buffer, ext.size);
            return noErr;
        }
        case kAudioUnitProperty_SetRenderCallback: {
            if (inDataSize < sizeof(AURenderCallbackStruct)) return kAudioUnitErr_InvalidPropertyValue;
            if (mAudioUnitAPIVersion == 1) return kAudioUnitErr_InvalidProperty;
            auto& cb = *static_cast<const AURenderCallbackStruct*>(inData);
            return SetInputCallback(id, element, reinterpret_cast<void*>(cb.inputProc), cb.inputProcRefCon);
        }
        case kAudioUnitProperty_HostCallbacks: {
            if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
            mHostCallbackInfo = {};
            std::memcpy(&mHostCallbackInfo, inData,
                        inDataSize < sizeof mHostCallbackInfo ? inDataSize : sizeof mHostCallbackInfo);
            return noErr;
        }
        case kAudioUnitProperty_CurrentPreset: {
            if (inDataSize != sizeof(AUPreset)) return kAudioUnitErr_InvalidPropertyValue;
            if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
            const AUPreset& preset = *static_cast<const AUPreset*>(inData);
            if (preset.presetNumber >= 0) return NewFactoryPresetSet(preset);
            if (!preset.presetName) return kAudioUnitErr_InvalidPropertyValue;
            SetCurrentPreset(preset.presetNumber, preset.presetName);
            return noErr;
        }
        default: {
            const OSStatus result = SetProperty(id, scope, element, inData, inDataSize);
            if (result == noErr) PropertyChanged(id, scope, element);
            return result;
        }
    }
}

// ---- stream formats

bool AUBase::IsStreamFormatWritable(AudioUnitScope scope, AudioUnitElement element) {
    switch (scope) {
        case kAudioUnitScope_Input:
            GetInput(element);  // a missing input raises InvalidElement; no input is fed by a connection
            return StreamFormatWritable(kAudioUnitScope_Input, element);
        case kAudioUnitScope_Global: return StreamFormatWritable(kAudioUnitScope_Output, 0);
        case kAudioUnitScope_Output: return StreamFormatWritable(kAudioUnitScope_Output, element);
        default: return false;
    }
}

const CAStreamBasicDescription& AUBase::GetStreamFormat(AudioUnitScope scope, AudioUnitElement element) {
    switch (scope) {
        case kAudioUnitScope_Input: return GetInput(element)->GetStreamFormat();
        case kAudioUnitScope_Output: return GetOutput(element)->GetStreamFormat();
        case kAudioUnitScope_Global: return GetOutput(0)->GetStreamFormat();
        default: ThrowStatus(kAudioUnitErr_InvalidScope);
    }
}

bool AUBase::FormatIsCanonical(const CAStreamBasicDescription& f) const {
    const bool nonInterleaved = (f.mFormatFlags & kAudioFormatFlagIsNonInterleaved) != 0;
    return f.mFormatID == kAudioFormatLinearPCM && f.mFramesPerPacket == 1 && f.mBytesPerPacket == f.mBytesPerFrame &&
           (f.mFormatFlags & kAudioFormatFlagIsFloat) && (f.mFormatFlags & kAudioFormatFlagIsBigEndian) &&
           nonInterleaved == (mAudioUnitAPIVersion > 1) && f.mBitsPerChannel == 32 &&
           f.mBytesPerFrame == (nonInterleaved ? 4 : 4 * f.mChannelsPerFrame);
}

// Besides the canonical layout, a usable rate (0 is the wildcard) and a channel
// count whose buffers can be allocated.
bool AUBase::ValidFormat(AudioUnitScope, AudioUnitElement, const CAStreamBasicDescription& format) {
    const Float64 rate = format.mSampleRate;
    return FormatIsCanonical(format) && format.mChannelsPerFrame <= kMaxChannelsLimit &&
           (rate == 0.0 || (rate >= 1.0 && rate <= 1e7));
}

OSStatus AUBase::ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element, const CAStreamBasicDescription&,
                                    const CAStreamBasicDescription& newFormat) {
    AUIOElement* e = scope == kAudioUnitScope_Input ? GetInput(element)
                     : scope == kAudioUnitScope_Output || scope == kAudioUnitScope_Global
                         ? GetOutput(scope == kAudioUnitScope_Global ? 0 : element)
                         : (ThrowStatus(kAudioUnitErr_InvalidScope), nullptr);
    e->SetStreamFormat(newFormat);
    PropertyChanged(kAudioUnitProperty_StreamFormat, scope, element);
    return noErr;
}
