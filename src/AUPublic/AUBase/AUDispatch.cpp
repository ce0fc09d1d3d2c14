// AUBase: the audio-unit selector dispatch and the fast-dispatch functions.
#include <cstring>
#include <memory>

#include "AUPublic/AUBase/AUBase.h"
#include "AUPublic/AUBase/ComponentEntryPoint.h"

namespace {
// Selectors that only one calling convention accepts.
bool versionOneOnly(SInt16 what) {
    return what == kAudioUnitRenderSliceSelect || what == kAudioUnitSetRenderNotificationSelect ||
           what == kAudioUnitRemoveRenderNotificationSelect;
}
bool versionTwoOnly(SInt16 what) {
    return what == kAudioUnitRenderSelect || what == kAudioUnitAddRenderNotifySelect ||
           what == kAudioUnitRemoveRenderNotifySelect || what == kAudioUnitScheduleParametersSelect;
}

OSStatus renderOneBuffer(AUBase& unit, AudioUnitRenderActionFlags& flags, const AudioTimeStamp& timeStamp, UInt32 bus,
                         AudioBuffer& buffer) {
    AudioBufferList list{1, {buffer}};
    const OSStatus result = unit.DoRenderSlice(flags, timeStamp, bus, list);
    buffer = list.mBuffers[0];
    return result;
}
}  // namespace

OSStatus AUBase::ComponentEntryDispatch(ComponentParameters* params, AUBase* This) {
    if (!This) return paramErr;
    const SInt16 what = params->what;
    if (versionOneOnly(what) && This->mAudioUnitAPIVersion > 1) return badComponentSelector;
    if (versionTwoOnly(what) && This->mAudioUnitAPIVersion == 1) return badComponentSelector;
    const ComponentParameters* p = params;

    switch (what) {
        case kAudioUnitInitializeSelect: return This->DoInitialize();
        case kAudioUnitUninitializeSelect: This->DoCleanup(); return noErr;
        case kAudioUnitGetPropertyInfoSelect: {
            UInt32 size = 0;
            Boolean writable = false;
            const OSStatus result = This->DispatchGetPropertyInfo(ComponentParamU32(p, 4), ComponentParamU32(p, 3),
                                                                  ComponentParamU32(p, 2), size, writable);
            if (auto outSize = ComponentParamPtr<UInt32*>(p, 1)) *outSize = size;
            if (auto outWritable = ComponentParamPtr<Boolean*>(p, 0)) *outWritable = writable;
            return result;
        }
        case kAudioUnitGetPropertySelect: {
            const AudioUnitPropertyID id = ComponentParamU32(p, 4);
            const AudioUnitScope scope = ComponentParamU32(p, 3);
            const AudioUnitElement element = ComponentParamU32(p, 2);
            void* outData = ComponentParamPtr<void*>(p, 1);
            auto ioSize = ComponentParamPtr<UInt32*>(p, 0);
            if (!ioSize) return paramErr;
            UInt32 actual = 0;
            Boolean writable = false;
            if (!outData) {
                const OSStatus result = This->DispatchGetPropertyInfo(id, scope, element, actual, writable);
                *ioSize = actual;
                return result;
            }
            const UInt32 requested = *ioSize;
            if (requested == 0) return paramErr;
            OSStatus result = This->DispatchGetPropertyInfo(id, scope, element, actual, writable);
            if (result != noErr) return result;
            std::unique_ptr<UInt8[]> temp;
            void* target = outData;
            if (requested < actual) {
                temp = std::make_unique<UInt8[]>(actual);
                target = temp.get();
            }
            result = This->DispatchGetProperty(id, scope, element, target);
            if (result != noErr) {
                *ioSize = 0;
                return result;
            }
            if (temp)
                std::memcpy(outData, temp.get(), requested);
            else
                *ioSize = actual;
            return noErr;
        }
        case kAudioUnitSetPropertySelect: {
            const void* data = ComponentParamPtr<const void*>(p, 1);
            const UInt32 size = ComponentParamU32(p, 0);
            if (!data || size == 0) return paramErr;
            return This->DispatchSetProperty(ComponentParamU32(p, 4), ComponentParamU32(p, 3), ComponentParamU32(p, 2),
                                             data, size);
        }
        case kAudioUnitGetParameterSelect: {
            auto outValue = ComponentParamPtr<Float32*>(p, 0);
            if (!outValue) return paramErr;
            return This->GetParameter(ComponentParamU32(p, 3), ComponentParamU32(p, 2), ComponentParamU32(p, 1),
                                      *outValue);
        }
        case kAudioUnitSetParameterSelect:
            return This->SetParameter(ComponentParamU32(p, 4), ComponentParamU32(p, 3), ComponentParamU32(p, 2),
                                      ComponentParamFloat(p, 1), ComponentParamU32(p, 0));
        case kAudioUnitRenderSliceSelect: {
            auto flags = ComponentParamPtr<AudioUnitRenderActionFlags*>(p, 3);
            auto timeStamp = ComponentParamPtr<const AudioTimeStamp*>(p, 2);
            auto buffer = ComponentParamPtr<AudioBuffer*>(p, 0);
            if (!timeStamp || !buffer) return paramErr;
            AudioUnitRenderActionFlags localFlags = 0;
            return renderOneBuffer(*This, flags ? *flags : localFlags, *timeStamp, ComponentParamU32(p, 1), *buffer);
        }
        case kAudioUnitResetSelect:
            This->mLastRenderedSampleTime = -1.0;
            return This->Reset(ComponentParamU32(p, 1), ComponentParamU32(p, 0));
        case kAudioUnitAddPropertyListenerSelect:
            return This->AddPropertyListener(ComponentParamU32(p, 2),
                                             ComponentParamPtr<AudioUnitPropertyListenerProc>(p, 1),
                                             ComponentParamPtr<void*>(p, 0));
        case kAudioUnitRemovePropertyListenerSelect:
            return This->RemovePropertyListener(ComponentParamU32(p, 1),
                                                ComponentParamPtr<AudioUnitPropertyListenerProc>(p, 0));
        case kAudioUnitSetRenderNotificationSelect:
            return This->SetRenderNotification(1, ComponentParamPtr<void*>(p, 1), ComponentParamPtr<void*>(p, 0));
        case kAudioUnitRemoveRenderNotificationSelect:
            return This->RemoveRenderNotification(ComponentParamPtr<void*>(p, 1), ComponentParamPtr<void*>(p, 0));
        case kAudioUnitRenderSelect: {
            auto flags = ComponentParamPtr<AudioUnitRenderActionFlags*>(p, 4);
            auto timeStamp = ComponentParamPtr<const AudioTimeStamp*>(p, 3);
            auto list = ComponentParamPtr<AudioBufferList*>(p, 0);
            if (!timeStamp || !list) return paramErr;
            AudioUnitRenderActionFlags localFlags = 0;
            return This->DoRender(flags ? *flags : localFlags, *timeStamp, ComponentParamU32(p, 2),
                                  ComponentParamU32(p, 1), *list);
        }
        case kAudioUnitAddRenderNotifySelect:
            return This->SetRenderNotification(2, ComponentParamPtr<void*>(p, 1), ComponentParamPtr<void*>(p, 0));
        case kAudioUnitRemoveRenderNotifySelect:
            return This->RemoveRenderNotification(ComponentParamPtr<void*>(p, 1), ComponentParamPtr<void*>(p, 0));
        case kAudioUnitScheduleParametersSelect: {
            auto events = ComponentParamPtr<const AudioUnitParameterEvent*>(p, 1);
            const UInt32 count = ComponentParamU32(p, 0);
            if (!events && count) return paramErr;
            return This->ScheduleParameter(events, count);
        }
        case kComponentCanDoSelect: {
            const SInt16 selector = SInt16(p->params[0]);
            if (selector >= kAudioUnitInitializeSelect && selector <= kAudioUnitScheduleParametersSelect) return 1;
            return ComponentBase::ComponentEntryDispatch(params, This);
        }
        default: return ComponentBase::ComponentEntryDispatch(params, This);
    }
}

OSStatus AudioUnitBaseGetParameter(void* obj, AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                   Float32* outValue) {
    if (!obj || !outValue) return paramErr;
    return CatchFrameExceptions([&] { return static_cast<AUBase*>(obj)->GetParameter(id, scope, element, *outValue); });
}

OSStatus AudioUnitBaseSetParameter(void* obj, AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                   Float32 value, UInt32 bufferOffsetInFrames) {
    if (!obj) return paramErr;
    return CatchFrameExceptions(
        [&] { return static_cast<AUBase*>(obj)->SetParameter(id, scope, element, value, bufferOffsetInFrames); });
}

OSStatus AudioUnitBaseRenderSlice(void* obj, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* timeStamp,
                                  UInt32 busNumber, AudioBuffer* ioBuffer) {
    if (!obj || !timeStamp || !ioBuffer) return paramErr;
    return CatchFrameExceptions([&] {
        AudioUnitRenderActionFlags localFlags = 0;
        return renderOneBuffer(*static_cast<AUBase*>(obj), ioActionFlags ? *ioActionFlags : localFlags, *timeStamp,
                               busNumber, *ioBuffer);
    });
}

OSStatus AudioUnitBaseRender(void* obj, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* timeStamp,
                             UInt32 busNumber, UInt32 frames, AudioBufferList* ioData) {
    if (!obj || !timeStamp || !ioData) return paramErr;
    return CatchFrameExceptions([&] {
        AudioUnitRenderActionFlags localFlags = 0;
        return static_cast<AUBase*>(obj)->DoRender(ioActionFlags ? *ioActionFlags : localFlags, *timeStamp, busNumber,
                                                   frames, *ioData);
    });
}
