// The output every host of ours renders, and RenderCall: a render call as
// every host of ours makes it: a time stamp at a sample time and a buffer list
// over the caller's channel buffers. The list lives in the object, so a call
// allocates nothing and throws nothing, and a host may make it on its audio thread.
#pragma once
#include <span>

#include "Platform/AudioUnitCalls.h"

// The platform's canonical output: 32-bit float, one buffer per channel (the
// big-endian bit is among the canonical flags; the samples are native floats).
inline AudioStreamBasicDescription CanonicalOutputFormat(Float64 sampleRate, UInt32 channels) {
    AudioStreamBasicDescription f{};
    f.mSampleRate = sampleRate;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsPacked |
                     kAudioFormatFlagIsNonInterleaved;
    f.mBytesPerPacket = f.mBytesPerFrame = sizeof(float);
    f.mFramesPerPacket = 1;
    f.mChannelsPerFrame = channels;
    f.mBitsPerChannel = 32;
    return f;
}

class RenderCall {
public:
    static constexpr UInt32 kMaxChannels = 64;

    // Renders `frames` at `sampleTime` into channels[c], each at least `frames`
    // floats. A null channel asks the unit for its own memory: channel(c) then
    // points there until the next call. paramErr for more than kMaxChannels.
    OSStatus render(AudioUnit unit, Float64 sampleTime, UInt32 frames, std::span<float* const> channels,
                    AudioUnitRenderActionFlags flags = 0, UInt32 bus = 0) {
        if (channels.size() > kMaxChannels) return paramErr;
        AudioBufferList& buffers = list();
        buffers.mNumberBuffers = UInt32(channels.size());
        for (size_t c = 0; c < channels.size(); ++c)
            buffers.mBuffers[c] = {1, UInt32(frames * sizeof(float)), channels[c]};
        AudioTimeStamp timeStamp{};
        timeStamp.mSampleTime = sampleTime;
        timeStamp.mFlags = kAudioTimeStampSampleTimeValid;
        return AudioUnitRender(unit, &flags, &timeStamp, bus, frames, &buffers);
    }

    // Where channel c's samples are after the last call.
    const float* channel(UInt32 c) const { return static_cast<const float*>(list().mBuffers[c].mData); }

    AudioBufferList& list() { return *reinterpret_cast<AudioBufferList*>(mMemory); }
    const AudioBufferList& list() const { return *reinterpret_cast<const AudioBufferList*>(mMemory); }

private:
    alignas(AudioBufferList) UInt8 mMemory[AudioBufferListSize(kMaxChannels)] = {};
};
