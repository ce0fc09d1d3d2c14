// The factory presets played through the audition phrase: one house level, headroom, no DC,
// and a wheel that answers on every preset that names it; the three fixed sounds stay as they are.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Binding/VelmoraEntry.h"
#include "PresetMeasure.h"
#include "Velmora/VelmoraPresets.h"

namespace {

constexpr double kHouseLufs = -16;

struct FixedPreset {
    int number;
    const char* name;
    float values[kNumberOfParameters];
};

// Sounds kept exactly as they were first published.
const FixedPreset kFixed[] = {
    {0, "init", {50, 0,  0, 1, 0,  2,  5, 1, 0,   0,   0, 0,  0,   0,  50, 0, 0,  1,  0,  0,  0, 0,  0,  0,  50, 0,
                 0,  0,  0, 0, 0,  0,  0, 0, 100, 100, 0, 0,  0,   0,  0,  0, 0,  0,  0,  0,  0, 0,  0,  69, 50, 0,
                 0,  0,  0, 0, 69, 50, 0, 0, 0,   0,   5, 48, 100, 30, 23, 1, 20, 30, 30, 50, 1, 20, 30, 30, 50, 0,
                 0,  50, 0, 0, 0,  1,  0, 0, 0,   50,  0, 0,  0,   0,  0,  0, 0,  0,  0,  0,  0, 0,  0,  0}},
    {1, "rez bass", {78, 8,  0,  1,  0, 2,  5, 1,  0,  17, 0.4, 0,  0,  0,  50, 0,  0,  1,  0,  17, 0.4,
                     0,  0,  0,  50, 0, 0,  0, 0,  0,  0,  0,   0,  0,  73, 80, 0,  0,  0,  0,  0,  21,
                     0,  0,  2,  69, 0, 0,  5, 67, 89, 0,  0,   15, 18, 7,  24, 90, 0,  48, 19, 49, 0,
                     44, 77, 16, 27, 3, 25, 0, 65, 21, 0,  63,  0,  57, 87, 4,  0,  22, 51, 0,  0,  1,
                     0,  1,  0,  73, 0, 0,  0, 5,  98, 13, 0,   11, 0,  0,  0,  0,  0,  0}},
    {28, "Arctic Wind -VN", {100, 7,   2,  1,  25, 4,  7,  2,  9.9, 17, 5,  0, 1,  2,  35, 0,  41, 0,  12.9, 17, 6,
                             64,  0,   0,  84, 1,  36, 1,  86, 71,  0,  60, 1, 2,  96, 96, 6,  84, 6,  84,   3,  66,
                             6,   100, 1,  34, 6,  78, 5,  84, 34,  0,  0,  8, 75, 6,  65, 37, 0,  56, 19,   27, 0,
                             61,  100, 16, 50, 16, 18, 76, 65, 13,  0,  45, 0, 64, 26, 1,  0,  66, 38, 1,    0,  1,
                             0,   1,   0,  52, 37, 0,  60, 5,  35,  10, 0,  5, 0,  0,  0,  0,  0,  0}},
};

}  // namespace

TEST(FactoryPresetSet, FixedSoundsStayAsTheyAre) {
    for (const FixedPreset& f : kFixed) {
        EXPECT_STREQ(asEZ_preset[f.number].name, f.name);
        for (UInt32 id = 0; id < kNumberOfParameters; ++id)
            EXPECT_EQ(asEZ_preset[f.number].values[id], f.values[id]) << f.name << " parameter " << id;
    }
}

TEST(FactoryPresetSet, AuditionMeetsLevelHeadroomDcAndWheel) {
    RegisterVelmora();
    const MidiSong phrase = readSmfFile(VELMORA_AUDITION);
    for (int n = 0; n < kNumFactoryPresets; ++n) {
        if (n == 0 || n == 1 || n == 28) continue;
        const std::string name = asEZ_preset[n].name;
        const PresetFigures f = measurePreset(kVelmoraDescription, n, phrase);
        EXPECT_NEAR(f.lufs, kHouseLufs, 2.0) << n << " " << name;
        EXPECT_LE(f.truePeakDb, -1.0) << n << " " << name;
        EXPECT_LE(std::abs(f.worstDc), 0.005) << n << " " << name << " key " << f.worstDcKey;
        if (name.find("[MW]") != std::string::npos) {
            EXPECT_TRUE(wheelAnswers(f)) << n << " " << name;
        }
    }
}
