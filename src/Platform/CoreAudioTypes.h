// Audio records shared by hosts and units: stream formats, buffers, time stamps.
#pragma once
#include "Platform/MacTypes.h"

struct AudioStreamBasicDescription {
    Float64 mSampleRate;
    UInt32 mFormatID;
    UInt32 mFormatFlags;
    UInt32 mBytesPerPacket;
    UInt32 mFramesPerPacket;
    UInt32 mBytesPerFrame;
    UInt32 mChannelsPerFrame;
    UInt32 mBitsPerChannel;
    UInt32 mReserved;
};
static_assert(sizeof(AudioStreamBasicDescription) == 40);

enum : UInt32 {
    kAudioFormatLinearPCM = FourCC("lpcm"),
    kAudioFormatFlagIsFloat = 1u << 0,
    kAudioFormatFlagIsBigEndian = 1u << 1,
    kAudioFormatFlagIsSignedInteger = 1u << 2,
    kAudioFormatFlagIsPacked = 1u << 3,
    kAudioFormatFlagIsNonInterleaved = 1u << 5,
};

struct AudioBuffer {
    UInt32 mNumberChannels;
    UInt32 mDataByteSize;
    void* mData;
};

struct AudioBufferList {
    UInt32 mNumberBuffers;
    AudioBuffer mBuffers[1];  // really mNumberBuffers of them
};

// Bytes taken by a list of n buffers laid out as the platform does.
constexpr std::size_t AudioBufferListSize(UInt32 n) {
    return offsetof(AudioBufferList, mBuffers) + sizeof(AudioBuffer) * (n ? n : 1);
}

struct SMPTETime {
    SInt16 mSubframes;
    SInt16 mSubframeDivisor;
    UInt32 mCounter;
    UInt32 mType;
    UInt32 mFlags;
    SInt16 mHours;
    SInt16 mMinutes;
    SInt16 mSeconds;
    SInt16 mFrames;
};

struct AudioTimeStamp {
    Float64 mSampleTime;
    UInt64 mHostTime;
    Float64 mRateScalar;
    UInt64 mWordClockTime;
    SMPTETime mSMPTETime;
    UInt32 mFlags;
    UInt32 mReserved;
};

enum : UInt32 {
    kAudioTimeStampSampleTimeValid = 1u << 0,
};
