// The panel's sections as parameter groups.
#include "Host/ParameterGroups.h"

namespace {

constexpr UInt32 kMaster[] = {0, 1, 3, 4, 5, 6};
constexpr UInt32 kOsc1[] = {7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
constexpr UInt32 kOsc2[] = {17, 18, 19, 20, 21, 22, 23, 24, 25, 26};
constexpr UInt32 kNoise[] = {27, 28, 29, 30, 31, 32, 33};
constexpr UInt32 kMix[] = {2, 34, 35, 36, 37, 38, 39};
constexpr UInt32 kShaperA[] = {40, 41, 42, 43};
constexpr UInt32 kShaperB[] = {44, 45, 46, 47};
constexpr UInt32 kFilterA[] = {48, 49, 50, 51, 52, 53, 54};
constexpr UInt32 kFilterB[] = {55, 56, 57, 58, 59, 60, 61};
constexpr UInt32 kEnv1[] = {62, 63, 64, 65, 66};
constexpr UInt32 kEnv2[] = {67, 68, 69, 70, 71};
constexpr UInt32 kEnv3[] = {72, 73, 74, 75, 76};
constexpr UInt32 kLfo1[] = {77, 78, 79, 80, 81, 82, 83, 84};
constexpr UInt32 kLfo2[] = {85, 86, 87, 88, 89, 90, 91, 92};
constexpr UInt32 kMultiplierA[] = {93, 94, 95};
constexpr UInt32 kMultiplierB[] = {96, 97, 98};
constexpr UInt32 kEngine[] = {99, 100, 101};

constexpr ParameterGroup kGroups[] = {
    {"master", "Master", kMaster},
    {"osc1", "Oscillator 1", kOsc1},
    {"osc2", "Oscillator 2", kOsc2},
    {"noise", "Noise", kNoise},
    {"mix", "Mix", kMix},
    {"shaper_a", "Shaper A", kShaperA},
    {"shaper_b", "Shaper B", kShaperB},
    {"filter_a", "Filter A", kFilterA},
    {"filter_b", "Filter B", kFilterB},
    {"env1", "Envelope 1", kEnv1},
    {"env2", "Envelope 2", kEnv2},
    {"env3", "Envelope 3", kEnv3},
    {"lfo1", "LFO 1", kLfo1},
    {"lfo2", "LFO 2", kLfo2},
    {"multiplier_a", "Multiplier A", kMultiplierA},
    {"multiplier_b", "Multiplier B", kMultiplierB},
    {"engine", "Engine", kEngine},
};

}  // namespace

std::span<const ParameterGroup> parameterGroups() { return kGroups; }
