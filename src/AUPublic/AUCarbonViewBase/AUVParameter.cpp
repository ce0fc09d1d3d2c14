// AUVParameter: reads the description once, at construction.
#include "AUPublic/AUCarbonViewBase/AUVParameter.h"

#include "Platform/AudioUnitCalls.h"
#include "PlatformUI/AUListener.h"

namespace {

CFStringRef unitLabel(UInt32 unit) {
    switch (unit) {
        case kAudioUnitParameterUnit_Boolean: return CFSTR("T/F");
        case kAudioUnitParameterUnit_Percent:
        case kAudioUnitParameterUnit_EqualPowerCrossfade: return CFSTR("%");
        case kAudioUnitParameterUnit_Seconds: return CFSTR("Secs");
        case kAudioUnitParameterUnit_SampleFrames: return CFSTR("Samps");
        case kAudioUnitParameterUnit_Phase:
        case kAudioUnitParameterUnit_Degrees: return CFSTR("Degr.");
        case kAudioUnitParameterUnit_Hertz: return CFSTR("Hz");
        case kAudioUnitParameterUnit_Cents:
        case kAudioUnitParameterUnit_AbsoluteCents: return CFSTR("Cents");
        case kAudioUnitParameterUnit_RelativeSemiTones: return CFSTR("S-T");
        case kAudioUnitParameterUnit_MIDINoteNumber:
        case kAudioUnitParameterUnit_MIDIController: return CFSTR("MIDI");
        case kAudioUnitParameterUnit_Decibels: return CFSTR("dB");
        case kAudioUnitParameterUnit_LinearGain:
        case kAudioUnitParameterUnit_MixerFaderCurve1: return CFSTR("Gain");
        case kAudioUnitParameterUnit_Pan: return CFSTR("L/R");
        case kAudioUnitParameterUnit_Meters: return CFSTR("Mtrs");
        case kAudioUnitParameterUnit_Octaves: return CFSTR("8ve");
        case kAudioUnitParameterUnit_BPM: return CFSTR("BPM");
        case kAudioUnitParameterUnit_Beats: return CFSTR("Beats");
        case kAudioUnitParameterUnit_Milliseconds: return CFSTR("msecs");
        default: return nullptr;
    }
}

}  // namespace

AUVParameter::AUVParameter() : AudioUnitParameter{nullptr, 0, 0, 0} {}

AUVParameter::AUVParameter(AudioUnit audioUnit, AudioUnitParameterID parameterID, AudioUnitScope scope,
                           AudioUnitElement element)
    : AudioUnitParameter{audioUnit, parameterID, scope, element} {
    UInt32 size = sizeof mParamInfo;
    if (AudioUnitGetProperty(audioUnit, kAudioUnitProperty_ParameterInfo, scope, parameterID, &mParamInfo, &size) !=
        noErr)
        mParamInfo = {};
    if ((mParamInfo.flags & kAudioUnitParameterFlag_HasCFNameString) && mParamInfo.cfNameString)
        mParamName = static_cast<CFStringRef>(CFRetain(mParamInfo.cfNameString));
    else
        mParamName = CFStringCreateWithCString(nullptr, mParamInfo.name, kCFStringEncodingUTF8);

    const auto span = SInt16(mParamInfo.maxValue + 1 - mParamInfo.minValue);
    switch (mParamInfo.unit) {
        case kAudioUnitParameterUnit_Indexed: {
            CFArrayRef names = nullptr;
            size = sizeof names;
            if (AudioUnitGetProperty(audioUnit, kAudioUnitProperty_ParameterValueStrings, scope, parameterID, &names,
                                     &size) == noErr &&
                names) {
                mNamedParams = names;
                mNumIndexedParams = SInt16(CFArrayGetCount(names));
            } else {
                mNumIndexedParams = span;
            }
            break;
        }
        case kAudioUnitParameterUnit_MIDINoteNumber:
        case kAudioUnitParameterUnit_MIDIController: mNumIndexedParams = span; break;
        default: break;
    }
    mParamTag = unitLabel(mParamInfo.unit);
}

AUVParameter::AUVParameter(const AUVParameter& other)
    : AudioUnitParameter(other),
      mParamInfo(other.mParamInfo),
      mParamName(other.mParamName),
      mParamTag(other.mParamTag),
      mNumIndexedParams(other.mNumIndexedParams),
      mNamedParams(other.mNamedParams) {
    retainAll();
}

AUVParameter& AUVParameter::operator=(const AUVParameter& other) {
    if (this == &other) return *this;
    releaseAll();
    AudioUnitParameter::operator=(other);
    mParamInfo = other.mParamInfo;
    mParamName = other.mParamName;
    mParamTag = other.mParamTag;
    mNumIndexedParams = other.mNumIndexedParams;
    mNamedParams = other.mNamedParams;
    retainAll();
    return *this;
}

AUVParameter::~AUVParameter() { releaseAll(); }

void AUVParameter::retainAll() {
    for (CFTypeRef s : {CFTypeRef(mParamName), CFTypeRef(mParamTag), CFTypeRef(mNamedParams)})
        if (s) CFRetain(s);
}

void AUVParameter::releaseAll() {
    for (CFTypeRef s : {CFTypeRef(mParamName), CFTypeRef(mParamTag), CFTypeRef(mNamedParams)})
        if (s) CFRelease(s);
}

Float32 AUVParameter::GetValue() const {
    Float32 value = 0;
    if (AudioUnitGetParameter(mAudioUnit, mParameterID, mScope, mElement, &value) != noErr) return 0;
    return value;
}

void AUVParameter::SetValue(AUListenerBase* listener, void* sender, Float32 value) const {
    AUParameterSet(listener, sender, this, value, 0);
}

CFStringRef AUVParameter::GetParamName(int index) const {
    if (!mNamedParams || index < 0 || index >= CFArrayGetCount(mNamedParams)) return nullptr;
    return static_cast<CFStringRef>(CFArrayGetValueAtIndex(mNamedParams, index));
}
