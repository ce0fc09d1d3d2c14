// AUScope and its elements: AUElement with its parameter store, AUIOElement
// with a stream format and a buffer list.
#pragma once
#include <map>
#include <vector>

#include "AUPublic/AUBase/ComponentBase.h"
#include "AUPublic/Utility/AUBuffer.h"

class AUBase;
class AUElement;

class AUElementCreator {
public:
    virtual ~AUElementCreator() = default;
    virtual AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement element) = 0;
};

class AUElement {
public:
    explicit AUElement(AUBase& audioUnit) : mAudioUnit(audioUnit) {}
    virtual ~AUElement() = default;
    AUElement(const AUElement&) = delete;
    AUElement& operator=(const AUElement&) = delete;

    Float32 GetParameter(AudioUnitParameterID id) const;
    void SetParameter(AudioUnitParameterID id, Float32 value);
    void GetParameterList(AudioUnitParameterID* outIDs) const;
    UInt32 GetNumberOfParameters() const { return UInt32(mParameters.size()); }

    // The element's part of the saved parameter block: count, then (ID, value)
    // pairs, big-endian. RestoreState reads from `data` and returns the
    // position after its entries, or null when they run past `end`.
    void SaveState(std::vector<UInt8>& data) const;
    const UInt8* RestoreState(const UInt8* data, const UInt8* end);

    // Input and output elements answer themselves; a virtual call is much cheaper
    // than a dynamic_cast on the render path.
    virtual class AUIOElement* AsIOElement() { return nullptr; }

protected:
    AUBase& mAudioUnit;
    std::map<AudioUnitParameterID, Float32> mParameters;
};

class AUIOElement : public AUElement {
public:
    explicit AUIOElement(AUBase& audioUnit);
    AUIOElement* AsIOElement() override { return this; }

    const CAStreamBasicDescription& GetStreamFormat() const { return mStreamFormat; }
    virtual OSStatus SetStreamFormat(const CAStreamBasicDescription& format);
    virtual bool NeedsBufferSpace() const { return false; }

    void AllocateBuffer();
    void DeallocateBuffer() { mIOBuffer.Deallocate(); }
    OSStatus PrepareBuffer(UInt32 frames) { return mIOBuffer.PrepareBuffer(mStreamFormat, frames); }
    OSStatus SetBufferList(const AudioBufferList& list) { return mIOBuffer.SetBufferList(list); }
    AudioBufferList* GetBufferList() const { return mIOBuffer.GetBufferList(); }
    OSStatus CopyBufferListTo(AudioBufferList& list) const { return mIOBuffer.CopyBufferListTo(list); }
    OSStatus CopyBufferContentsTo(AudioBufferList& list) const { return mIOBuffer.CopyBufferContentsTo(list); }
    void InvalidateBufferList() { mIOBuffer.InvalidateBufferList(); }
    void UseExternalBuffer(UInt8* buffer, UInt32 size) { mIOBuffer.UseExternalBuffer(mStreamFormat, buffer, size); }
    const AUBufferList& IOBuffer() const { return mIOBuffer; }

protected:
    CAStreamBasicDescription mStreamFormat;
    AUBufferList mIOBuffer;
};

class AUScope {
public:
    AUScope() = default;
    ~AUScope();
    AUScope(const AUScope&) = delete;
    AUScope& operator=(const AUScope&) = delete;

    void Initialize(AUElementCreator* creator, AudioUnitScope scope, UInt32 numElements);
    void SetNumberOfElements(UInt32 n);
    UInt32 GetNumberOfElements() const { return UInt32(mElements.size()); }
    AudioUnitScope GetScope() const { return mScope; }

    // Get... answer null for a missing element (the render path's lookups);
    // SafeGet... raise kAudioUnitErr_InvalidElement.
    AUElement* GetElement(UInt32 i) const { return i < mElements.size() ? mElements[i] : nullptr; }
    AUIOElement* GetIOElement(UInt32 i) const {
        AUElement* e = GetElement(i);
        return e ? e->AsIOElement() : nullptr;
    }
    AUElement* SafeGetElement(UInt32 i) const;
    AUIOElement* SafeGetIOElement(UInt32 i) const;

private:
    AUElementCreator* mCreator = nullptr;
    AudioUnitScope mScope = 0;
    std::vector<AUElement*> mElements;
};
