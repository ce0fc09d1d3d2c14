// AUBase: the render path: frame-count check, notifications, element buffers.
#include "AUPublic/AUBase/AUBase.h"

OSStatus AUBase::Render(AudioUnitRenderActionFlags&, const AudioTimeStamp&, UInt32) { return noErr; }

bool AUBase::NeedsToRender(Float64 sampleTime) {
    const bool needs = sampleTime != mLastRenderedSampleTime;
    mLastRenderedSampleTime = sampleTime;
    return needs;
}

OSStatus AUBase::RenderBus(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp, UInt32,
                           UInt32 frames) {
    if (NeedsToRender(timeStamp.mSampleTime)) return Render(ioActionFlags, timeStamp, frames);
    return noErr;
}

// `finished` stays false where the buffers could not be set up or handed back, or
// the unit raised a status: such a call ends without the post-render notification.
OSStatus AUBase::DoRenderBus(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                             UInt32 busNumber, AUIOElement& output, UInt32 frames, AudioBufferList& ioData,
                             bool& finished) {
    finished = false;
    // The unit renders straight into the host's buffers only when every one of
    // them has memory; a list with some null buffers gets the unit's pointers
    // where it has none and a copy where it has.
    bool hostMemory = ioData.mNumberBuffers > 0 && Outputs().GetNumberOfElements() <= 1;
    bool anyHostMemory = false;
    for (UInt32 i = 0; i < ioData.mNumberBuffers; ++i) {
        hostMemory = hostMemory && ioData.mBuffers[i].mData != nullptr;
        anyHostMemory = anyHostMemory || ioData.mBuffers[i].mData != nullptr;
    }
    OSStatus result = hostMemory ? output.SetBufferList(ioData) : output.PrepareBuffer(frames);
    if (result != noErr) return result;
    // A unit's own Render may still raise a status, as frame code deeper down may;
    // it is the call's result and the last render error, as a returned one is.
    try {
        result = RenderBus(ioActionFlags, timeStamp, busNumber, frames);
    } catch (OSStatus status) {
        return status;
    }
    if (result != noErr) {
        finished = true;
        return result;
    }
    if (hostMemory) {
        result = output.CopyBufferContentsTo(ioData);
        output.InvalidateBufferList();
    } else if (!anyHostMemory) {
        result = output.CopyBufferListTo(ioData);
    } else {
        result = output.CopyBufferContentsTo(ioData);  // skips the null buffers
        if (const AudioBufferList* mine = output.GetBufferList())
            for (UInt32 i = 0; i < ioData.mNumberBuffers && i < mine->mNumberBuffers; ++i)
                if (!ioData.mBuffers[i].mData) ioData.mBuffers[i] = mine->mBuffers[i];
    }
    finished = result == noErr;
    return result;
}

void AUBase::RecordRenderError(OSStatus result) {
    // Only the first error until the host reads it; its listeners hear of it once.
    OSStatus none = noErr;
    if (result != noErr && mLastRenderError.compare_exchange_strong(none, result))
        PropertyChanged(kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0);
}

// The render path allocates nothing and throws nothing, also when it fails: every
// failure is a returned status.
OSStatus AUBase::DoRender(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp, UInt32 busNumber,
                          UInt32 frames, AudioBufferList& ioData) {
    AUIOElement* output = Outputs().GetIOElement(busNumber);
    OSStatus result = frames > mMaxFramesPerSlice ? OSStatus(kAudioUnitErr_TooManyFramesToProcess)
                      : !output                   ? OSStatus(kAudioUnitErr_InvalidElement)
                                                  : OSStatus(noErr);
    if (result == noErr) {
        mRenderCallbacks.read([&](const std::vector<RenderCallback>& callbacks) {
            auto notify = [&](AudioUnitRenderActionFlags phase) {
                for (auto i = callbacks.size(); i-- > 0;) {
                    AudioUnitRenderActionFlags flags = ioActionFlags | phase;
                    auto proc = reinterpret_cast<AURenderCallback>(callbacks[i].mRenderNotify);
                    proc(callbacks[i].mRenderNotifyRefCon, &flags, &timeStamp, busNumber, frames, &ioData);
                }
            };
            notify(kAudioUnitRenderAction_PreRender);
            bool finished = false;
            result = DoRenderBus(ioActionFlags, timeStamp, busNumber, *output, frames, ioData, finished);
            if (finished) notify(kAudioUnitRenderAction_PostRender);
        });
    }
    RecordRenderError(result);
    return result;
}

OSStatus AUBase::DoRenderSlice(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                               UInt32 busNumber, AudioBufferList& ioData) {
    AUIOElement* output = Outputs().GetIOElement(busNumber);
    const UInt32 bytesPerFrame = output ? output->GetStreamFormat().mBytesPerFrame : 0;
    const UInt32 frames = bytesPerFrame ? ioData.mBuffers[0].mDataByteSize / bytesPerFrame : 0;
    OSStatus result = !output                       ? OSStatus(kAudioUnitErr_InvalidElement)
                      : frames > mMaxFramesPerSlice ? OSStatus(kAudioUnitErr_TooManyFramesToProcess)
                                                    : OSStatus(noErr);
    if (result == noErr) {
        mRenderCallbacks.read([&](const std::vector<RenderCallback>& callbacks) {
            auto notify = [&](AudioUnitRenderActionFlags flags) {
                for (auto i = callbacks.size(); i-- > 0;) {
                    auto proc = reinterpret_cast<AudioUnitRenderNotifyV1>(callbacks[i].mRenderNotify);
                    proc(callbacks[i].mRenderNotifyRefCon, flags, &timeStamp, busNumber, &ioData.mBuffers[0]);
                }
            };
            notify(ioActionFlags | kAudioUnitRenderAction_PreRender);
            AudioUnitRenderActionFlags flags = ioActionFlags;
            bool finished = false;
            result = DoRenderBus(flags, timeStamp, busNumber, *output, frames, ioData, finished);
            if (finished) notify(flags | kAudioUnitRenderAction_PostRender);
        });
    }
    RecordRenderError(result);
    return result;
}

OSStatus AUBase::SetConnection(const AudioUnitConnection& connection) {
    GetInput(connection.destInputNumber);  // this unit has no inputs: raises InvalidElement
    return kAudioUnitErr_InvalidElement;
}

OSStatus AUBase::SetInputCallback(UInt32, AudioUnitElement element, void*, void*) {
    GetInput(element);
    return kAudioUnitErr_InvalidElement;
}
