// AUVParameter: a parameter's address with its description, display name,
// unit label and value names, as an editor shows them.
#pragma once
#include "Platform/AudioUnitTypes.h"

class AUVParameter : public AudioUnitParameter {
public:
    AUVParameter();
    AUVParameter(AudioUnit audioUnit, AudioUnitParameterID parameterID, AudioUnitScope scope, AudioUnitElement element);
    AUVParameter(const AUVParameter& other);
    AUVParameter& operator=(const AUVParameter& other);
    ~AUVParameter();

    // The unit's current value; 0 when it cannot be read.
    Float32 GetValue() const;
    // Sets the value through the listener service, which tells every other listener.
    void SetValue(struct AUListenerBase* listener, void* sender, Float32 value) const;

    const AudioUnitParameterInfo& ParamInfo() const { return mParamInfo; }
    CFStringRef GetName() const { return mParamName; }
    CFStringRef GetParamTag() const { return mParamTag; }
    SInt16 GetNumIndexedParams() const { return mNumIndexedParams; }
    bool HasNamedParams() const { return mNumIndexedParams != 0 && mNamedParams; }
    CFStringRef GetParamName(int index) const;

private:
    void retainAll();
    void releaseAll();

    AudioUnitParameterInfo mParamInfo{};
    CFStringRef mParamName = nullptr;
    CFStringRef mParamTag = nullptr;
    SInt16 mNumIndexedParams = 0;
    CFArrayRef mNamedParams = nullptr;
};
