// The instrument's 102 parameters: IDs, the description table and the
// value-name lists offered to hosts.
#pragma once
#include <climits>

#include "Platform/AudioUnitTypes.h"

enum VelmoraParam : UInt32 {
    kVolume = 0,
    kRouting = 1,
    kMixMode = 2,
    kTrigger = 3,
    kGlide = 4,
    kPitchBendUp = 5,
    kPitchBendDown = 6,
    kOSC1Wave = 7,
    kOSC1Tune = 8,
    kOSC1TModSrc = 9,
    kOSC1TModDpth = 10,
    kOSC1Mology = 11,
    kOSC1MModSrc = 12,
    kOSC1MModDpth = 13,
    kOSC1Vari = 14,
    kOSC1VModSrc = 15,
    kOSC1VModDpth = 16,
    kOSC2Wave = 17,
    kOSC2Tune = 18,
    kOSC2TModSrc = 19,
    kOSC2TModDpth = 20,
    kOSC2Mology = 21,
    kOSC2MModSrc = 22,
    kOSC2MModDpth = 23,
    kOSC2Vari = 24,
    kOSC2VModSrc = 25,
    kOSC2VModDpth = 26,
    kNoiseType = 27,
    kNoiseGain = 28,
    kNoisePan = 29,
    kNoiseGainMSrc = 30,
    kNoiseGainMDpth = 31,
    kNoisePanMSrc = 32,
    kNoisePanMDpth = 33,
    kOSC1Gain = 34,
    kOSC2Gain = 35,
    kOSC1GainMSrc = 36,
    kOSC1GainMDpth = 37,
    kOSC2GainMSrc = 38,
    kOSC2GainMDpth = 39,
    kRumbleAType = 40,
    kRumbleADepth = 41,
    kRumbleAModSrc = 42,
    kRumbleAModDpth = 43,
    kRumbleBType = 44,
    kRumbleBDepth = 45,
    kRumbleBModSrc = 46,
    kRumbleBModDpth = 47,
    kFilterAType = 48,
    kFilterAFc = 49,
    kFilterAFq = 50,
    kFilterAP2 = 51,
    kFiltAKeyfollow = 52,
    kFilterAFSrc = 53,
    kFilterAFDpth = 54,
    kFilterBType = 55,
    kFilterBFc = 56,
    kFilterBFq = 57,
    kFilterBP2 = 58,
    kFiltBKeyfollow = 59,
    kFilterBFSrc = 60,
    kFilterBFDpth = 61,
    kA1 = 62,
    kD1 = 63,
    kS1 = 64,
    kR1 = 65,
    kVel2Vol = 66,
    kA2 = 67,
    kD2 = 68,
    kS2 = 69,
    kR2 = 70,
    kVel2Env2 = 71,
    kA3 = 72,
    kD3 = 73,
    kS3 = 74,
    kR3 = 75,
    kVel2Env3 = 76,
    kLFO1Wave = 77,
    kLFO1Mode = 78,
    kLFO1Speed = 79,
    kLFO1InPhase = 80,
    kLFO1SModSrc = 81,
    kLFO1SModDpth = 82,
    kLFO1VModSrc = 83,
    kLFO1VModDpth = 84,
    kLFO2Wave = 85,
    kLFO2Mode = 86,
    kLFO2Speed = 87,
    kLFO2InPhase = 88,
    kLFO2SModSrc = 89,
    kLFO2SModDpth = 90,
    kLFO2VModSrc = 91,
    kLFO2VModDpth = 92,
    kMultiAS1 = 93,
    kMultiAMode = 94,
    kMultiAS2 = 95,
    kMultiBS1 = 96,
    kMultiBMode = 97,
    kMultiBS2 = 98,
    kQuality = 99,
    kAccuracy = 100,
    kSpectralDense = 101,
};

constexpr UInt32 kNumberOfParameters = 102;

// The modulation sources that every selector chooses from; each is followed by its inverse.
enum ModSource : int {
    kSourceOff,
    kSourceVelocity,
    kSourceVelocityInverted,
    kSourcePressure,
    kSourcePressureInverted,
    kSourceWheel,
    kSourceWheelInverted,
    kSourceBend,
    kSourceBendInverted,
    kSourceEnv1,
    kSourceEnv1Inverted,
    kSourceEnv2,
    kSourceEnv2Inverted,
    kSourceEnv3,
    kSourceEnv3Inverted,
    kSourceLfo1,
    kSourceLfo1Inverted,
    kSourceLfo2,
    kSourceLfo2Inverted,
    kSourceMultiA,
    kSourceMultiAInverted,
    kSourceMultiB,
    kSourceMultiBInverted,
};

// "OSC1 Wave", "OSC2 Wave": "off", "saw o/e", "digiwave", "pwm".
enum OscWave : int { kWaveOff, kWaveSawOE, kWaveDigiwave, kWavePwm };
// "rumbleA type", "rumbleB type": "off", "scramble", "engage", "degenerat", "wedge".
enum ShaperType : int { kShaperOff, kShaperScramble, kShaperEngage, kShaperDegenerat, kShaperWedge };
// "MixMode": "2 + 1", "2 - 1", "2 x 1", "1".
enum MixMode : int { kMixSum, kMixDifference, kMixRing, kMixPathA };
// Offsets between the parameters of the two oscillators, filters, shapers,
// envelopes, LFOs and multipliers.
constexpr UInt32 kOscStride = kOSC2Wave - kOSC1Wave;
constexpr UInt32 kFilterStride = kFilterBType - kFilterAType;
constexpr UInt32 kRumbleStride = kRumbleBType - kRumbleAType;
constexpr UInt32 kEnvStride = kA2 - kA1;
constexpr UInt32 kLfoStride = kLFO2Wave - kLFO1Wave;
constexpr UInt32 kMultiStride = kMultiBS1 - kMultiAS1;

// The process-wide description table: 102 entries and the terminator, built
// on first use and never freed.
const AudioUnitParameterInfo* VelmoraParameterTable();
// Entries before the terminator (the first with a 0..0 range).
UInt32 CountParameters(const AudioUnitParameterInfo* table);

// True for the 22 modulation-source selectors, which are stored rounded.
bool IsModSourceSelector(AudioUnitParameterID id);

// A new array of the value names of `id` (the caller owns it), or null when
// the parameter has no list.
CFArrayRef CopyParameterValueStrings(AudioUnitParameterID id);

// Float to int by truncation toward zero, as a C cast does for values in
// range; NaN gives 0 and values beyond the int range saturate.
inline int TruncToInt(float x) {
    if (!(x == x)) return 0;
    if (x >= 2147483648.0f) return INT_MAX;
    if (x <= -2147483648.0f) return INT_MIN;
    return int(x);
}
