// The heaviest configuration of the instrument: every stage that costs per sample or
// per slice is on and modulated. Shared by the golden-render test and the benchmarks.
#pragma once
#include "Velmora/VelmoraParameters.h"

struct ParameterSetting {
    AudioUnitParameterID id;
    float value;
};

// Written over the default parameters, in this order. Source numbers: 9/11/13 the
// envelopes, 15/17 the LFOs, 19/21 the multipliers, 5 the mod wheel.
inline constexpr ParameterSetting kHeaviestConfiguration[] = {
    {kRouting, 7},
    // Both oscillators "saw o/e", both shapes modulated.
    {kOSC1Wave, 1},
    {kOSC1Mology, 30},
    {kOSC1MModSrc, 15},
    {kOSC1MModDpth, 40},
    {kOSC1Vari, 40},
    {kOSC1VModSrc, 17},
    {kOSC1VModDpth, 50},
    {kOSC2Wave, 1},
    {kOSC2Tune, 7},
    {kOSC2Mology, 20},
    {kOSC2MModSrc, 19},
    {kOSC2MModDpth, 60},
    {kOSC2Vari, 60},
    {kOSC2VModSrc, 21},
    {kOSC2VModDpth, 30},
    // Noise on, gain and pan modulated.
    {kNoiseType, 1},
    {kNoiseGain, 20},
    {kNoisePan, 40},
    {kNoiseGainMSrc, 13},
    {kNoiseGainMDpth, 10},
    {kNoisePanMSrc, 16},
    {kNoisePanMDpth, 30},
    {kOSC1GainMSrc, 11},
    {kOSC1GainMDpth, 20},
    {kOSC2GainMSrc, 18},
    {kOSC2GainMDpth, 20},
    // Both shapers "wedge", depths modulated.
    {kRumbleAType, 4},
    {kRumbleADepth, 50},
    {kRumbleAModSrc, 15},
    {kRumbleAModDpth, 40},
    {kRumbleBType, 4},
    {kRumbleBDepth, 30},
    {kRumbleBModSrc, 21},
    {kRumbleBModDpth, 50},
    // Both filters "rude LP2", cutoffs key-followed and modulated.
    {kFilterAType, 8},
    {kFilterAFc, 70},
    {kFilterAFq, 60},
    {kFiltAKeyfollow, 50},
    {kFilterAFSrc, 11},
    {kFilterAFDpth, 40},
    {kFilterBType, 8},
    {kFilterBFc, 90},
    {kFilterBFq, 40},
    {kFiltBKeyfollow, 30},
    {kFilterBFSrc, 19},
    {kFilterBFDpth, 20},
    // Both LFOs running, their depths modulated; both multipliers in use.
    {kLFO1Wave, 1},
    {kLFO1Speed, 40},
    {kLFO1VModSrc, 5},
    {kLFO1VModDpth, 50},
    {kLFO2Wave, 4},
    {kLFO2Speed, 60},
    {kLFO2VModSrc, 11},
    {kLFO2VModDpth, 40},
    {kMultiAS1, 15},
    {kMultiAMode, 1},
    {kMultiAS2, 11},
    {kMultiBS1, 17},
    {kMultiBMode, 0},
    {kMultiBS2, 9},
};
