// AUBufferList: the buffer list an input or output element owns: its own
// sample memory, or pointers into memory that the host supplied. Allocate runs
// off the render thread and raises its failures; everything the render path
// calls returns a status and never throws.
#pragma once
#include "AUPublic/Utility/CAStreamBasicDescription.h"

class AUBufferList {
public:
    enum EPtrState { kPtrsInvalid = 0, kPtrsToMyMemory = 1, kPtrsToExternalMemory = 2 };

    AUBufferList() = default;
    ~AUBufferList();
    AUBufferList(const AUBufferList&) = delete;
    AUBufferList& operator=(const AUBufferList&) = delete;

    void Allocate(const CAStreamBasicDescription& format, UInt32 frames);
    void Deallocate();
    OSStatus PrepareBuffer(const CAStreamBasicDescription& format, UInt32 frames);
    OSStatus SetBufferList(const AudioBufferList& list);
    AudioBufferList* GetBufferList() const;  // null while the pointers are invalid
    OSStatus CopyBufferListTo(AudioBufferList& list) const;
    OSStatus CopyBufferContentsTo(AudioBufferList& list) const;
    void UseExternalBuffer(const CAStreamBasicDescription& format, UInt8* buffer, UInt32 size);
    void InvalidateBufferList() { mPtrState = kPtrsInvalid; }

    EPtrState PtrState() const { return mPtrState; }
    UInt32 AllocatedFrames() const { return mAllocatedFrames; }
    UInt32 AllocatedBytes() const { return mAllocatedBytes; }

private:
    void releaseMemory();

    EPtrState mPtrState = kPtrsInvalid;
    bool mExternalMemory = false;
    AudioBufferList* mPtrs = nullptr;
    UInt8* mMemory = nullptr;
    UInt32 mAllocatedStreams = 0;
    UInt32 mAllocatedFrames = 0;
    UInt32 mAllocatedBytes = 0;
};
