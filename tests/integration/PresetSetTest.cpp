// The factory presets played through the audition phrase: one house level, headroom, no DC,
// and a wheel that answers on every preset that names it without leaving it quiet at rest;
// headroom over a grid of playing; the three fixed sounds stay as they are.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Binding/VelmoraEntry.h"
#include "PresetMeasure.h"
#include "PresetSweep.h"
#include "Velmora/VelmoraPresets.h"

namespace {

constexpr double kHouseLufs = -16;

bool isFixed(int n) { return n == 0 || n == 1 || n == 28; }

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
        if (isFixed(n)) continue;
        const std::string name = asEZ_preset[n].name;
        const PresetFigures f = measurePreset(kVelmoraDescription, n, phrase);
        EXPECT_NEAR(f.lufs, kHouseLufs, 2.0) << n << " " << name;
        EXPECT_LE(f.truePeakDb, -1.0) << n << " " << name;
        EXPECT_LE(std::abs(f.worstDc), 0.005) << n << " " << name << " key " << f.worstDcKey;
        if (name.find("[MW]") != std::string::npos) {
            EXPECT_TRUE(wheelAnswers(f)) << n << " " << name;
            // Picked with the wheel at rest, it sounds at the house level; moving the wheel
            // then brightens or wobbles it more than it makes it louder or quieter.
            EXPECT_NEAR(f.restLufs, kHouseLufs, 2.0) << n << " " << name << " with the wheel at rest";
            EXPECT_LE(std::abs(f.wheelFullLufs - f.restLufs), 6.0) << n << " " << name << " over the phrase";
            EXPECT_LE(std::abs(f.wheel.back().lufs - f.wheel.front().lufs), 6.0) << n << " " << name << " held";
        }
    }
}

// Headroom for any playing, on a grid coarse enough for a test; `velmora presets --measure
// --sweep` plays the finer one.
TEST(PresetSweep, CoarseGridStaysAtOrBelowMinusOneDbtp) {
    RegisterVelmora();
    std::vector<std::pair<SInt32, std::string>> presets;
    for (int n = 0; n < kNumFactoryPresets; ++n)
        if (!isFixed(n)) presets.emplace_back(n, asEZ_preset[n].name);
    sweepPresets(kVelmoraDescription, presets, SweepGrid::coarse(), 1, [&](size_t i, const SweepFigures& f) {
        const SweepPoint& w = f.worst;
        EXPECT_LE(f.worstTruePeakDb, -1.0)
            << presets[i].first << " " << presets[i].second << " at key " << w.key << ", velocity " << w.velocity
            << ", wheel " << w.wheel << ", pressure " << w.pressure << ", strike " << w.strike;
        EXPECT_EQ(f.strikes, SweepGrid::coarse().strikeCount());
    });
}

// Stretches the bound leaves out could not have held the worst peak: a resonant bass, a
// vowel lead over the wheel and a quantised, stepped wave find the same peak in the same
// strike as with every sample oversampled.
TEST(PresetSweep, LeavingOutQuietStretchesFindsTheSameWorstPeak) {
    RegisterVelmora();
    SweepGrid grid = SweepGrid::coarse();
    grid.keys = {36, 72, 96};
    for (SInt32 preset : {1, 9, 19}) {
        const SweepFigures all = sweepPreset(kVelmoraDescription, preset, grid, true);
        const SweepFigures gated = sweepPreset(kVelmoraDescription, preset, grid);
        EXPECT_EQ(all.oversampledShare, 1.0);
        EXPECT_LT(gated.oversampledShare, 0.5) << preset;
        EXPECT_EQ(gated.worstTruePeakDb, all.worstTruePeakDb) << preset;
        EXPECT_EQ(gated.worst.key, all.worst.key) << preset;
        EXPECT_EQ(gated.worst.velocity, all.worst.velocity) << preset;
        EXPECT_EQ(gated.worst.wheel, all.worst.wheel) << preset;
        EXPECT_EQ(gated.worst.pressure, all.worst.pressure) << preset;
        EXPECT_EQ(gated.worst.strike, all.worst.strike) << preset;
    }
}
