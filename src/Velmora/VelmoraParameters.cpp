// The instrument's parameter table and value-name lists.
#include "Velmora/VelmoraParameters.h"

#include <cstring>

namespace {

struct ParameterRow {
    const char* name;
    UInt32 unit;
    Float32 minValue, maxValue, defaultValue;
};

// clang-format off
constexpr ParameterRow kRows[kNumberOfParameters] = {
    {"Volume", kAudioUnitParameterUnit_Generic, 0, 100, 50},  // 0
    {"Routing", kAudioUnitParameterUnit_Indexed, 0, 8, 0},  // 1
    {"MixMode", kAudioUnitParameterUnit_Indexed, 0, 4, 0},  // 2
    {"trigger", kAudioUnitParameterUnit_Indexed, 0, 1, 1},  // 3
    {"Glide", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 4
    {"PitchBend up", kAudioUnitParameterUnit_Indexed, 0, 24, 2},  // 5
    {"PitchBend down", kAudioUnitParameterUnit_Indexed, 0, 24, 5},  // 6
    {"OSC1 Wave", kAudioUnitParameterUnit_Indexed, 0, 3, 1},  // 7
    {"OSC1 Tune", kAudioUnitParameterUnit_Generic, -24, 24, 0},  // 8
    {"OSC1 TModSrc", kAudioUnitParameterUnit_Indexed, 0, 22, 0},  // 9
    {"OSC1 TModDpth", kAudioUnitParameterUnit_Generic, 0, 24, 0},  // 10
    {"OSC1 Mo'logy", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 11
    {"OSC1 MModSrc", kAudioUnitParameterUnit_Indexed, 0, 22, 0},  // 12
    {"OSC1 MModDpth", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 13
    {"OSC1 Vari", kAudioUnitParameterUnit_Generic, 0, 100, 50},  // 14
    {"OSC1 VModSrc", kAudioUnitParameterUnit_Indexed, 0, 22, 0},  // 15
    {"OSC1 VModDpth", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 16
    {"OSC2 Wave", kAudioUnitParameterUnit_Indexed, 0, 3, 1},  // 17
    {"OSC2 Tune", kAudioUnitParameterUnit_Generic, -24, 24, 0},  // 18
    {"OSC2 TModSrc", kAudioUnitParameterUnit_Indexed, 0, 22, 0},  // 19
    {"OSC2 TModDpth", kAudioUnitParameterUnit_Generic, 0, 24, 0},  // 20
    {"OSC2 Mo'logy", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 21
    {"OSC2 MModSrc", kAudioUnitParameterUnit_Indexed, 0, 22, 0},  // 22
    {"OSC2 MModDpth", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 23
    {"OSC2 Vari", kAudioUnitParameterUnit_Generic, 0, 100, 50},  // 24
    {"OSC2 VModSrc", kAudioUnitParameterUnit_Indexed, 0, 22, 0},  // 25
    {"OSC2 VModDpth", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 26
    {"NoiseType", kAudioUnitParameterUnit_Indexed, 0, 1, 0},  // 27
    {"NoiseGain", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 28
    {"NoisePan", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 29
    {"NoiseGainMSrc", kAudioUnitParameterUnit_Indexed, 0, 22, 0},  // 30
    {"NoiseGainMDpth", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 31
    {"NoisePanMSrc", kAudioUnitParameterUnit_Indexed, 0, 22, 0},  // 32
    {"NoisePanMDpth", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 33
    {"OSC1 Gain", kAudioUnitParameterUnit_Generic, 0, 100, 100},  // 34
    {"OSC2 Gain", kAudioUnitParameterUnit_Generic, 0, 100, 100},  // 35
    {"OSC1 GainMSrc", kAudioUnitParameterUnit_Indexed, 0, 22, 0},  // 36
    {"OSC1 GainMDpth", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 37
    {"OSC2 GainMSrc", kAudioUnitParameterUnit_Indexed, 0, 22, 0},  // 38
    {"OSC2 GainMDpth", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 39
    {"rumbleA type", kAudioUnitParameterUnit_Indexed, 0, 4, 0},  // 40
    {"rumbleA depth", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 41
    {"rumbleA ModSrc", kAudioUnitParameterUnit_Indexed, 0, 22, 0},  // 42
    {"rumbleA ModDpth", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 43
    {"rumbleB type", kAudioUnitParameterUnit_Indexed, 0, 4, 0},  // 44
    {"rumbleB depth", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 45
    {"rumbleB ModSrc", kAudioUnitParameterUnit_Indexed, 0, 22, 0},  // 46
    {"rumbleB ModDpth", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 47
    {"FilterA type", kAudioUnitParameterUnit_Indexed, 0, 17, 0},  // 48
    {"FilterA fc", kAudioUnitParameterUnit_Generic, 0, 127, 69},  // 49
    {"FilterA fq", kAudioUnitParameterUnit_Generic, 0, 100, 50},  // 50
    {"FilterA p2", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 51
    {"FiltA keyfollow", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 52
    {"FilterA FSrc", kAudioUnitParameterUnit_Indexed, 0, 22, 0},  // 53
    {"FilterA FDpth", kAudioUnitParameterUnit_Generic, 0, 127, 0},  // 54
    {"FilterB type", kAudioUnitParameterUnit_Indexed, 0, 17, 0},  // 55
    {"FilterB fc", kAudioUnitParameterUnit_Generic, 0, 127, 69},  // 56
    {"FilterB fq", kAudioUnitParameterUnit_Generic, 0, 100, 50},  // 57
    {"FilterB p2", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 58
    {"FiltB keyfollow", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 59
    {"FilterB FSrc", kAudioUnitParameterUnit_Indexed, 0, 22, 0},  // 60
    {"FilterB FDpth", kAudioUnitParameterUnit_Generic, 0, 127, 0},  // 61
    {"A1", kAudioUnitParameterUnit_Generic, 0, 100, 10},  // 62
    {"D1", kAudioUnitParameterUnit_Generic, 0, 100, 10},  // 63
    {"S1", kAudioUnitParameterUnit_Generic, 0, 100, 50},  // 64
    {"R1", kAudioUnitParameterUnit_Generic, 0, 100, 30},  // 65
    {"Vel2Vol", kAudioUnitParameterUnit_Generic, 0, 100, 50},  // 66
    {"A2", kAudioUnitParameterUnit_Generic, 0, 100, 1},  // 67
    {"D2", kAudioUnitParameterUnit_Generic, 0, 100, 20},  // 68
    {"S2", kAudioUnitParameterUnit_Generic, 0, 100, 30},  // 69
    {"R2", kAudioUnitParameterUnit_Generic, 0, 100, 30},  // 70
    {"Vel2Env2", kAudioUnitParameterUnit_Generic, 0, 100, 50},  // 71
    {"A3", kAudioUnitParameterUnit_Generic, 0, 100, 1},  // 72
    {"D3", kAudioUnitParameterUnit_Generic, 0, 100, 20},  // 73
    {"S3", kAudioUnitParameterUnit_Generic, 0, 100, 100},  // 74
    {"R3", kAudioUnitParameterUnit_Generic, 0, 100, 30},  // 75
    {"Vel2Env3", kAudioUnitParameterUnit_Generic, 0, 100, 50},  // 76
    {"LFO1 Wave", kAudioUnitParameterUnit_Indexed, 0, 4, 0},  // 77
    {"LFO1 Mode", kAudioUnitParameterUnit_Indexed, 0, 1, 0},  // 78
    {"LFO1 Speed", kAudioUnitParameterUnit_Generic, 0, 100, 50},  // 79
    {"LFO1 inPhase", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 80
    {"LFO1 SModSrc", kAudioUnitParameterUnit_Indexed, 0, 22, 0},  // 81
    {"LFO1 SModDpth", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 82
    {"LFO1 VModSrc", kAudioUnitParameterUnit_Indexed, 0, 14, 1},  // 83
    {"LFO1 VModDpth", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 84
    {"LFO2 Wave", kAudioUnitParameterUnit_Indexed, 0, 4, 0},  // 85
    {"LFO2 Mode", kAudioUnitParameterUnit_Indexed, 0, 1, 0},  // 86
    {"LFO2 Speed", kAudioUnitParameterUnit_Generic, 0, 100, 50},  // 87
    {"LFO2 inPhase", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 88
    {"LFO2 SModSrc", kAudioUnitParameterUnit_Indexed, 0, 22, 0},  // 89
    {"LFO2 SModDpth", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 90
    {"LFO2 VModSrc", kAudioUnitParameterUnit_Indexed, 0, 16, 0},  // 91
    {"LFO2 VModDpth", kAudioUnitParameterUnit_Generic, 0, 100, 0},  // 92
    {"MultiA s1", kAudioUnitParameterUnit_Indexed, 0, 18, 0},  // 93
    {"MultiA mode", kAudioUnitParameterUnit_Indexed, 0, 1, 0},  // 94
    {"MultiA s2", kAudioUnitParameterUnit_Indexed, 0, 18, 0},  // 95
    {"MultiB s1", kAudioUnitParameterUnit_Indexed, 0, 20, 0},  // 96
    {"MultiB mode", kAudioUnitParameterUnit_Indexed, 0, 1, 0},  // 97
    {"MultiB s2", kAudioUnitParameterUnit_Indexed, 0, 20, 0},  // 98
    {"Quality", kAudioUnitParameterUnit_Indexed, 0, 4, 0},  // 99
    {"Accuracy", kAudioUnitParameterUnit_Indexed, 0, 4, 0},  // 100
    {"Spectral Dense", kAudioUnitParameterUnit_Indexed, 0, 2, 0},  // 101
};
// clang-format on

const char* const kModSourceNames[] = {"off",    "vel",   "-vel",   "press", "-press", "mWheel", "-mWheel", "pBend",
                                       "-pBend", "adsr1", "-adsr1", "adsr2", "-adsr2", "adsr3",  "-adsr3",  "lfo1",
                                       "-lfo1",  "lfo2",  "-lfo2",  "mm1",   "-mm1",   "mm2",    "-mm2"};
const char* const kOscWaveNames[] = {"off", "saw o/e", "digiwave", "pwm", "sync'd"};
const char* const kFilterTypeNames[] = {"off",      "lowpass",   "bandpass",  "highpass",  "notch",     "comb",
                                        "lowpass2", "tame LP2",  "rude LP2",  "bandpass2", "highpass2", "notch2",
                                        "peak2",    "low shelf", "highshelf", "phaser",    "vow f",     "vow m"};
const char* const kLfoWaveNames[] = {"off", "sine", "square", "saw", "triangle"};

constexpr AudioUnitParameterID kModSourceSelectors[] = {9,  12, 15, 19, 22, 25, 30, 32, 36, 38, 42,
                                                        46, 53, 60, 81, 83, 89, 91, 93, 95, 96, 98};

template <size_t N>
CFArrayRef makeList(const char* const (&names)[N]) {
    const void* strings[N];
    for (size_t i = 0; i < N; ++i) strings[i] = CFSTR_(names[i]);
    return CFArrayCreate(nullptr, strings, CFIndex(N), nullptr);
}

}  // namespace

const AudioUnitParameterInfo* VelmoraParameterTable() {
    static const AudioUnitParameterInfo* table = [] {
        auto* t = new AudioUnitParameterInfo[kNumberOfParameters + 1]();
        for (UInt32 id = 0; id < kNumberOfParameters; ++id) {
            std::strncpy(t[id].name, kRows[id].name, sizeof t[id].name - 1);
            t[id].unit = kRows[id].unit;
            t[id].minValue = kRows[id].minValue;
            t[id].maxValue = kRows[id].maxValue;
            t[id].defaultValue = kRows[id].defaultValue;
            t[id].flags = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable;
        }
        std::strcpy(t[kNumberOfParameters].name, "<noname>");
        return t;
    }();
    return table;
}

UInt32 CountParameters(const AudioUnitParameterInfo* table) {
    UInt32 n = 0;
    while (!(table[n].minValue == 0.0f && table[n].maxValue == 0.0f)) ++n;
    return n;
}

bool IsModSourceSelector(AudioUnitParameterID id) {
    for (AudioUnitParameterID s : kModSourceSelectors)
        if (s == id) return true;
    return false;
}

CFArrayRef CopyParameterValueStrings(AudioUnitParameterID id) {
    switch (id) {
        case kOSC1Wave:
        case kOSC2Wave: return makeList(kOscWaveNames);
        case kFilterAType:
        case kFilterBType: return makeList(kFilterTypeNames);
        case kLFO1Wave:
        case kLFO2Wave: return makeList(kLfoWaveNames);
        default: return IsModSourceSelector(id) ? makeList(kModSourceNames) : nullptr;
    }
}
