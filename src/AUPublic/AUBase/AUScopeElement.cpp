// AUScope, AUElement and AUIOElement.
#include "AUPublic/AUBase/AUScopeElement.h"

#include <cstring>

#include "AUPublic/AUBase/AUBase.h"
#include "AUPublic/Utility/BigEndian.h"
#include "Platform/BitCast.h"

Float32 AUElement::GetParameter(AudioUnitParameterID id) const {
    auto it = mParameters.find(id);
    if (it == mParameters.end()) ThrowStatus(kAudioUnitErr_InvalidParameter);
    return it->second;
}

void AUElement::SetParameter(AudioUnitParameterID id, Float32 value) { mParameters[id] = value; }

void AUElement::GetParameterList(AudioUnitParameterID* outIDs) const {
    for (auto& [id, value] : mParameters) *outIDs++ = id;
}

void AUElement::SaveState(std::vector<UInt8>& data) const {
    PutBigEndian32(data, UInt32(mParameters.size()));
    for (auto& [id, value] : mParameters) {
        PutBigEndian32(data, id);
        PutBigEndian32(data, BitCast<UInt32>(value));
    }
}

const UInt8* AUElement::RestoreState(const UInt8* data, const UInt8* end) {
    if (end - data < 4) return nullptr;
    const UInt32 count = GetBigEndian32(data);
    data += 4;
    if (UInt64(end - data) < UInt64(count) * 8) return nullptr;
    for (UInt32 i = 0; i < count; ++i, data += 8)
        SetParameter(GetBigEndian32(data), BitCast<Float32>(GetBigEndian32(data + 4)));
    return data;
}

AUIOElement::AUIOElement(AUBase& audioUnit) : AUElement(audioUnit) {
    mStreamFormat.SetCanonical(2, audioUnit.AudioUnitAPIVersion() == 1);
    mStreamFormat.mSampleRate = 44100.0;
}

OSStatus AUIOElement::SetStreamFormat(const CAStreamBasicDescription& format) {
    mStreamFormat = format;
    return noErr;
}

void AUIOElement::AllocateBuffer() {
    if (!mAudioUnit.IsInitialized()) return;
    mIOBuffer.Allocate(mStreamFormat, NeedsBufferSpace() ? mAudioUnit.GetMaxFramesPerSlice() : 0);
}

AUScope::~AUScope() {
    for (AUElement* e : mElements) delete e;
}

void AUScope::Initialize(AUElementCreator* creator, AudioUnitScope scope, UInt32 numElements) {
    mCreator = creator;
    mScope = scope;
    SetNumberOfElements(numElements);
}

void AUScope::SetNumberOfElements(UInt32 n) {
    if (n > mElements.size()) {
        mElements.reserve(n);
        while (mElements.size() < n) mElements.push_back(mCreator->CreateElement(mScope, UInt32(mElements.size())));
    } else {
        while (mElements.size() > n) {
            delete mElements.back();
            mElements.pop_back();
        }
    }
}

AUElement* AUScope::SafeGetElement(UInt32 i) const {
    AUElement* e = GetElement(i);
    if (!e) ThrowStatus(kAudioUnitErr_InvalidElement);
    return e;
}

AUIOElement* AUScope::SafeGetIOElement(UInt32 i) const {
    AUIOElement* e = GetIOElement(i);
    if (!e) ThrowStatus(kAudioUnitErr_InvalidElement);
    return e;
}
