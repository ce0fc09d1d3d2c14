// HarmonicTables: the one-cycle sine, the ten odd, even and "pwm" harmonic levels
// (4096 samples each) and the increment up to which each level plays alone. They do
// not depend on the sample rate, and computing them takes 8.4 million sines (about a
// tenth of a second): velmora_make_tables runs computeHarmonicTables at build time and
// writes the result as exact bits into a source file the engine links in.
#pragma once

struct HarmonicTables {
    static constexpr int kSize = 4096;
    static constexpr int kLevels = 10;
    float wave[kSize];
    float odd[kLevels * kSize];
    float even[kLevels * kSize];
    float pwm[kLevels * kSize];
    float bandLimits[kLevels];
};

// The one definition of the tables' values.
void computeHarmonicTables(HarmonicTables& t);

// The tables as computeHarmonicTables made them at build time: constant data, shared.
const HarmonicTables& harmonicTables();
