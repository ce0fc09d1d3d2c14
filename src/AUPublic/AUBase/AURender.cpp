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

OSStatus AUBase::DoRenderBus(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                             UInt32 busNumber, AUIOElement& output, UInt32 frames, AudioBufferList& ioData) {
    // The unit renders straight into the host's buffers only when every one of
    // them has memory; a list with some null buffers gets the unit's pointers
    // where it has none and a copy where it has.
    bool hostMemory = ioData.mNumberBuffers > 0 && Outputs().GetNumberOfElements() <= 1;
    bool anyHostMemory = false;
    for (UInt32 i = 0; i < ioData.mNumberBuffers; ++i) {
        hostMemory = hostMemory && ioData.mBuffers[i].mData != nullptr;
        anyHostMemory = anyHostMemory || ioData.mBuffers[i].mData != nullptr;
    }
    if (hostMemory)
        output.SetBufferList(ioData);
    else
        output.PrepareBuffer(frames);
    const OSStatus result = RenderBus(ioActionFlags, timeStamp, busNumber, frames);
    if (result == noErr) {
        if (hostMemory) {
            output.CopyBufferContentsTo(ioData);
            output.InvalidateBufferList();
        } else if (!anyHostMemory) {
            output.CopyBufferListTo(ioData);
        } else {
            output.CopyBufferContentsTo(ioData);  // skips the null buffers
            const AudioBufferList& mine = output.GetBufferList();
            for (UInt32 i = 0; i < ioData.mNumberBuffers && i < mine.mNumberBuffers; ++i)
                if (!ioData.mBuffers[i].mData) ioData.mBuffers[i] = mine.mBuffers[i];
        }
    }
    return result;
}

void AUBase::RecordRenderError(OSStatus result) {
    if (result != noErr && mLastRenderError == 0) {
        mLastRenderError = result;
        PropertyChanged(kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0);
    }
}

OSStatus AUBase::DoRender(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                          UInt32 busNumber, UInt32 frames, AudioBufferList& ioData) {
    OSStatus result;
    try {
        if (frames > mMaxFramesPerSlice) ThrowStatus(kAudioUnitErr_TooManyFramesToProcess);
        AUIOElement* output = GetOutput(busNumber);
        auto notify = [&](AudioUnitRenderActionFlags phase) {
            for (auto i = mRenderCallbacks.size(); i-- > 0;) {
                AudioUnitRenderActionFlags flags = ioActionFlags | phase;
                auto proc = reinterpret_cast<AURenderCallback>(mRenderCallbacks[i].mRenderNotify);
                proc(mRenderCallbacks[i].mRenderNotifyRefCon, &flags, &timeStamp, busNumber, frames, &ioData);
            }
        };
        notify(kAudioUnitRenderAction_PreRender);
        result = DoRenderBus(ioActionFlags, timeStamp, busNumber, *output, frames, ioData);
        notify(kAudioUnitRenderAction_PostRender);
        mParamList.clear();
    } catch (OSStatus status) {
        result = status;
    }
    RecordRenderError(result);
    return result;
}

OSStatus AUBase::DoRenderSlice(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                               UInt32 busNumber, AudioBufferList& ioData) {
    OSStatus result;
    try {
        AUIOElement* output = GetOutput(busNumber);
        const UInt32 bytesPerFrame = output->GetStreamFormat().mBytesPerFrame;
        const UInt32 frames = bytesPerFrame ? ioData.mBuffers[0].mDataByteSize / bytesPerFrame : 0;
        if (frames > mMaxFramesPerSlice) ThrowStatus(kAudioUnitErr_TooManyFramesToProcess);
        auto notify = [&](AudioUnitRenderActionFlags flags) {
            for (auto i = mRenderCallbacks.size(); i-- > 0;) {
                auto proc = reinterpret_cast<AudioUnitRenderNotifyV1>(mRenderCallbacks[i].mRenderNotify);
                proc(mRenderCallbacks[i].mRenderNotifyRefCon, flags, &timeStamp, busNumber, &ioData.mBuffers[0]);
            }
        };
        notify(ioActionFlags | kAudioUnitRenderAction_PreRender);
        AudioUnitRenderActionFlags flags = ioActionFlags;
        result = DoRenderBus(flags, timeStamp, busNumber, *output, frames, ioData);
        notify(flags | kAudioUnitRenderAction_PostRender);
    } catch (OSStatus status) {
        result = status;
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
