// CAStreamBasicDescription: a stream description with the canonical format
// and wildcard equality (a zero field matches anything).
#pragma once
#include "Platform/CoreAudioTypes.h"

struct CAStreamBasicDescription : AudioStreamBasicDescription {
    CAStreamBasicDescription() : AudioStreamBasicDescription{} {}
    CAStreamBasicDescription(const AudioStreamBasicDescription& d) : AudioStreamBasicDescription(d) {}

    // 32-bit big-endian packed float, interleaved or one buffer per channel.
    void SetCanonical(UInt32 channels, bool interleaved) {
        mFormatID = kAudioFormatLinearPCM;
        mFramesPerPacket = 1;
        mBitsPerChannel = 32;
        mChannelsPerFrame = channels;
        mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsBigEndian | kAudioFormatFlagIsPacked;
        if (interleaved) {
            mBytesPerPacket = mBytesPerFrame = 4 * channels;
        } else {
            mFormatFlags |= kAudioFormatFlagIsNonInterleaved;
            mBytesPerPacket = mBytesPerFrame = 4;
        }
    }

    bool IsInterleaved() const {
        return !(mFormatID == kAudioFormatLinearPCM && (mFormatFlags & kAudioFormatFlagIsNonInterleaved));
    }
    UInt32 NumberInterleavedChannels() const { return IsInterleaved() ? mChannelsPerFrame : 1; }
    UInt32 NumberChannelStreams() const { return IsInterleaved() ? 1 : mChannelsPerFrame; }

    friend bool operator==(const CAStreamBasicDescription& a, const CAStreamBasicDescription& b) {
        auto match = [](auto x, auto y) { return x == y || x == 0 || y == 0; };
        return match(a.mSampleRate, b.mSampleRate) && match(a.mFormatID, b.mFormatID) &&
               match(a.mBytesPerPacket, b.mBytesPerPacket) && match(a.mFramesPerPacket, b.mFramesPerPacket) &&
               match(a.mBytesPerFrame, b.mBytesPerFrame) && match(a.mChannelsPerFrame, b.mChannelsPerFrame) &&
               match(a.mBitsPerChannel, b.mBitsPerChannel) && match(a.mFormatFlags, b.mFormatFlags);
    }
};
