// Each filter type's response by its meaning: steady-state gain of probe sines
// below, at and above the cutoff, through the designed coefficients and the kernel.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "Filters/FilterDesign.h"
#include "Filters/FilterKernels.h"

using namespace kvel_filters;

namespace {

constexpr double kRate = 48000, kCutoffHz = 1000;

// Gain in dB of a 0.1-amplitude sine at `probeHz`, over the last quarter of a second of
// signal (long enough for the narrowest resonance to settle). `cutoffNote` places the
// vowel filters and the comb, which read it rather than the cutoff frequency.
double gainDb(int type, float resonance, double probeHz, float cutoffNote = 64) {
    float coeffs[16] = {}, state[16] = {};
    std::array<float, 2048> line{};
    designFilter(float(type), cutoffNote, resonance, float(kCutoffHz / kRate), kRate, coeffs);
    const int n = int(kRate);
    std::vector<float> x(n);
    for (int i = 0; i < n; ++i) x[i] = float(0.1 * std::sin(2 * M_PI * probeHz * i / kRate));
    const std::vector<float> in = x;
    for (int start = 0; start < n; start += 64) kernelForType(type)(x.data() + start, 64, coeffs, state, line.data());
    double out = 0, ref = 0;
    for (int i = n * 3 / 4; i < n; ++i) {
        out += double(x[i]) * x[i];
        ref += double(in[i]) * in[i];
    }
    return 10 * std::log10(out / ref);
}

// Gains over 60 Hz .. 12 kHz in sixth-octave steps.
std::vector<double> sweep(int type, float resonance, float cutoffNote = 64) {
    std::vector<double> gains;
    for (double f = 60; f < 12000; f *= std::pow(2.0, 1.0 / 6)) gains.push_back(gainDb(type, resonance, f, cutoffNote));
    return gains;
}

constexpr double kBelow = kCutoffHz / 8, kAbove = kCutoffHz * 8;

struct Pass {
    const char* name;
    int type;
};

}  // namespace

// Without resonance. The state-variable types run a few dB below unity in their pass band.
TEST(FilterResponse, LowpassesPassBelowAndCutAbove) {
    for (const Pass p : {Pass{"lowpass", 1}, Pass{"lowpass2", 6}, Pass{"tame LP2", 7}, Pass{"rude LP2", 8}}) {
        const double below = gainDb(p.type, 0, kBelow);
        EXPECT_GT(below, -4) << p.name;
        EXPECT_LT(gainDb(p.type, 0, kCutoffHz), below - 3) << p.name;
        EXPECT_LT(gainDb(p.type, 0, kAbove), below - 35) << p.name;
    }
}

TEST(FilterResponse, HighpassesCutBelowAndPassAbove) {
    for (const Pass p : {Pass{"highpass", 3}, Pass{"highpass2", 10}}) {
        const double above = gainDb(p.type, 0, kAbove);
        EXPECT_GT(above, -4) << p.name;
        EXPECT_LT(gainDb(p.type, 0, kCutoffHz), above - 3) << p.name;
        EXPECT_LT(gainDb(p.type, 0, kBelow), above - 35) << p.name;
    }
}

TEST(FilterResponse, BandpassesPeakAndNotchesDipAtTheCutoff) {
    for (const Pass p : {Pass{"bandpass", 2}, Pass{"bandpass2", 9}}) {
        const double at = gainDb(p.type, 0, kCutoffHz);
        EXPECT_GT(at, -12) << p.name;
        EXPECT_LT(gainDb(p.type, 0, kBelow), at - 10) << p.name;
        EXPECT_LT(gainDb(p.type, 0, kAbove), at - 10) << p.name;
    }
    for (const Pass p : {Pass{"notch", 4}, Pass{"notch2", 11}}) {
        const double below = gainDb(p.type, 0, kBelow), above = gainDb(p.type, 0, kAbove);
        EXPECT_GT(std::min(below, above), -4) << p.name;
        EXPECT_LT(gainDb(p.type, 0, kCutoffHz), std::min(below, above) - 25) << p.name;
    }
}

// "fq" sets the gain of the peak and the shelves: 0 is -10 dB, 100 is +10 dB.
TEST(FilterResponse, PeakAndShelvesBoostOrCutWhereTheyShould) {
    for (const float fq : {0.0f, 100.0f}) {
        const double gain = fq > 0 ? 10 : -10;
        EXPECT_NEAR(gainDb(12, fq, kCutoffHz), gain, 1) << "peak2 fq " << fq;
        EXPECT_NEAR(gainDb(12, fq, kBelow), 0, 1) << "peak2 fq " << fq;
        EXPECT_NEAR(gainDb(13, fq, kBelow / 2), gain, 1) << "low shelf fq " << fq;
        EXPECT_NEAR(gainDb(13, fq, kAbove), 0, 1) << "low shelf fq " << fq;
        EXPECT_NEAR(gainDb(14, fq, kBelow), 0, 1) << "highshelf fq " << fq;
        EXPECT_NEAR(gainDb(14, fq, kAbove * 1.4), gain, 1) << "highshelf fq " << fq;
    }
}

// The phaser, the vowels and the comb have no single cutoff: they stay finite and bounded,
// and shape the spectrum (the vowels with their peaks among the formants).
TEST(FilterResponse, PhaserVowelsAndCombShapeTheSpectrum) {
    struct Shaped {
        const char* name;
        int type;
        float cutoffNote;
        double lowestPeakHz, highestPeakHz;
    };
    for (const Shaped s : {Shaped{"phaser", 15, 64, 60, 12000}, Shaped{"vow f", 16, 0, 200, 4000},
                           Shaped{"vow m", 17, 127, 200, 4000}, Shaped{"comb", 5, 127, 60, 12000}}) {
        const std::vector<double> gains = sweep(s.type, 100, s.cutoffNote);
        const auto [low, high] = std::minmax_element(gains.begin(), gains.end());
        ASSERT_TRUE(std::isfinite(*low) && std::isfinite(*high)) << s.name;
        EXPECT_LT(*high, 24) << s.name;
        EXPECT_GT(*high - *low, 10) << s.name;
        const double peakHz = 60 * std::pow(2.0, double(high - gains.begin()) / 6);
        EXPECT_GE(peakHz, s.lowestPeakHz) << s.name;
        EXPECT_LE(peakHz, s.highestPeakHz) << s.name;
    }
}

TEST(FilterResponse, OffAndUnknownTypesPassTheSignalUnchanged) {
    for (const int type : {0, 18, -3}) EXPECT_EQ(gainDb(type, 50, kCutoffHz), 0) << type;
}
