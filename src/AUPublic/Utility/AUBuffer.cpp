// AUBufferList: element sample memory and the buffer list handed to render.
#include "AUPublic/Utility/AUBuffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "AUPublic/AUBase/ComponentBase.h"

AUBufferList::~AUBufferList() {
    Deallocate();
    std::free(mPtrs);
}

void AUBufferList::releaseMemory() {
    if (!mExternalMemory) std::free(mMemory);
    mMemory = nullptr;
    mExternalMemory = false;
}

void AUBufferList::Allocate(const CAStreamBasicDescription& format, UInt32 frames) {
    const UInt32 streams = format.NumberChannelStreams();
    if (streams > mAllocatedStreams) {
        void* list = std::realloc(mPtrs, AudioBufferListSize(streams));
        if (!list) throw std::bad_alloc();
        mPtrs = static_cast<AudioBufferList*>(list);
        mAllocatedStreams = streams;
    }
    const UInt64 needed = UInt64(streams) * frames * format.mBytesPerFrame;
    if (needed > 0xFFFFFFFFull) ThrowStatus(kAudioUnitErr_TooManyFramesToProcess);
    if (needed > mAllocatedBytes) {
        if (mExternalMemory) {
            mMemory = nullptr;  // the host's memory is only let go
            mExternalMemory = false;
        }
        void* memory = std::realloc(mMemory, size_t(needed));
        if (!memory) throw std::bad_alloc();
        mMemory = static_cast<UInt8*>(memory);
        mAllocatedBytes = UInt32(needed);
        // A pull that does not render (the same sample time again) hands this
        // memory out as it is: silence, never what the heap held before.
        std::memset(mMemory, 0, size_t(needed));
    }
    mAllocatedFrames = frames;
    mPtrState = kPtrsInvalid;
}

void AUBufferList::Deallocate() {
    mAllocatedStreams = 0;
    mAllocatedFrames = 0;
    mAllocatedBytes = 0;
    releaseMemory();
    mPtrState = kPtrsInvalid;
}

OSStatus AUBufferList::PrepareBuffer(const CAStreamBasicDescription& format, UInt32 frames) {
    const UInt32 streams = format.NumberChannelStreams();
    if (!format.IsInterleaved() && format.mChannelsPerFrame > mAllocatedStreams)
        return kAudioUnitErr_FormatNotSupported;
    if (streams > mAllocatedStreams || !mPtrs) return kAudioUnitErr_FormatNotSupported;
    const UInt64 stride = UInt64(mAllocatedFrames) * format.mBytesPerFrame;
    const UInt64 end = stride * (streams - 1) + UInt64(frames) * format.mBytesPerFrame;
    if (streams > 0 && end > mAllocatedBytes) return kAudioUnitErr_TooManyFramesToProcess;
    mPtrs->mNumberBuffers = streams;
    for (UInt32 i = 0; i < streams; ++i) {
        AudioBuffer& b = mPtrs->mBuffers[i];
        b.mNumberChannels = format.NumberInterleavedChannels();
        b.mDataByteSize = frames * format.mBytesPerFrame;
        b.mData = mMemory + i * stride;
    }
    mPtrState = kPtrsToMyMemory;
    return noErr;
}

// A list with more buffers than the element has: kUnspecifiedErr, as hosts have always seen it.
OSStatus AUBufferList::SetBufferList(const AudioBufferList& list) {
    if (list.mNumberBuffers > mAllocatedStreams || !mPtrs) return kUnspecifiedErr;
    std::memcpy(mPtrs, &list, AudioBufferListSize(list.mNumberBuffers));
    mPtrState = kPtrsToExternalMemory;
    return noErr;
}

AudioBufferList* AUBufferList::GetBufferList() const { return mPtrState == kPtrsInvalid ? nullptr : mPtrs; }

OSStatus AUBufferList::CopyBufferListTo(AudioBufferList& list) const {
    if (mPtrState == kPtrsInvalid) return kUnspecifiedErr;
    const UInt32 n = list.mNumberBuffers < mPtrs->mNumberBuffers ? list.mNumberBuffers : mPtrs->mNumberBuffers;
    for (UInt32 i = 0; i < n; ++i) list.mBuffers[i] = mPtrs->mBuffers[i];
    return noErr;
}

OSStatus AUBufferList::CopyBufferContentsTo(AudioBufferList& list) const {
    if (mPtrState == kPtrsInvalid) return kUnspecifiedErr;
    const UInt32 n = list.mNumberBuffers < mPtrs->mNumberBuffers ? list.mNumberBuffers : mPtrs->mNumberBuffers;
    for (UInt32 i = 0; i < n; ++i) {
        const AudioBuffer& from = mPtrs->mBuffers[i];
        AudioBuffer& to = list.mBuffers[i];
        if (to.mData && from.mData && to.mData != from.mData) {
            const UInt32 bytes = from.mDataByteSize < to.mDataByteSize ? from.mDataByteSize : to.mDataByteSize;
            std::memmove(to.mData, from.mData, bytes);
        }
    }
    return noErr;
}

void AUBufferList::UseExternalBuffer(const CAStreamBasicDescription& format, UInt8* buffer, UInt32 size) {
    if (mAllocatedBytes == 0 || size < mAllocatedBytes) return;
    releaseMemory();
    mMemory = buffer;
    mAllocatedBytes = size;
    mExternalMemory = true;
    const UInt32 perFrame = format.NumberChannelStreams() * format.mBytesPerFrame;
    mAllocatedFrames = perFrame ? size / perFrame : 0;
    mPtrState = kPtrsInvalid;
}
