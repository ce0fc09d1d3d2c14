// Filter design: stated coefficient values, kept coefficients and stability of every type.
#include "Filters/FilterDesign.h"
#include "Filters/FilterKernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

using namespace kvel_filters;

namespace {

// The engine's pitch conversion: key 69 is 110 Hz, at most 0.49 cycles per sample.
float phaseIncFor(float note, double rate = 44100.0) {
    return std::min(0.49f, float(110.0 * std::pow(2.0, (note - 69.0) / 12.0) / rate));
}

std::array<float, 16> design(int type, float cutoff, float fq, double rate = 44100.0) {
    std::array<float, 16> c{};
    designFilter(float(type), cutoff, fq, phaseIncFor(cutoff, rate), rate, c.data());
    return c;
}

double gainAt(const std::array<float, 16>& c, double z, int first = 0) {
    const float* s = c.data() + first;
    return (s[0] + s[1] * z + s[2] * z * z) / (1.0 + s[3] * z + s[4] * z * z);
}

} // namespace

TEST(StateVariableDesign, DampingFromResonance) {
    const auto c = design(1, 69.0f, 50.0f);
    EXPECT_NEAR(c[0], 0.00783609f, 1e-7f); // sin(pi * 110 / 44100)
    EXPECT_NEAR(c[1], 0.3182072f, 1e-6f);  // 2 (1 - 0.5^0.25)
    EXPECT_EQ(design(1, 69.0f, 100.0f)[1], 0.0f);
    EXPECT_EQ(design(4, 69.0f, 100.0f)[1], 0.0f);
    EXPECT_EQ(design(1, 69.0f, 0.0f)[1], 2.0f);
    EXPECT_NEAR(design(2, 69.0f, 100.0f)[1], 0.3182072f, 1e-6f); // bandpass halves the resonance
    EXPECT_NEAR(design(3, 69.0f, 100.0f)[1], 0.1085168f, 1e-6f); // highpass takes 0.8 of it
    EXPECT_EQ(design(0, 69.0f, 50.0f), c);                      // "off" designs the same pair
    EXPECT_EQ(design(1, 139.0f, 50.0f, 8000.0)[0], 0.24999f);
}

TEST(CombDesign, DelayFromCutoffAndFeedbackFromResonance) {
    std::array<float, 16> c{};
    c[2] = 1.0f;
    c[3] = 77.0f;
    designFilter(5.0f, 127.0f, 30.0f, phaseIncFor(127.0f), 44100.0, c.data());
    EXPECT_FLOAT_EQ(c[0], 45.0f);
    EXPECT_FLOAT_EQ(c[1], 0.3f);
    EXPECT_EQ(c[2], 1.0f);
    EXPECT_EQ(c[3], 77.0f);
    EXPECT_FLOAT_EQ(design(5, 1.0f, 0.0f)[0], 612.0f);
    EXPECT_FLOAT_EQ(design(5, 139.0f, 0.0f)[0], -9.0f);
}

TEST(BiquadDesign, PassbandsAndStopbands) {
    for (int type : {6, 7, 8}) {
        const auto c = design(type, 80.0f, 70.0f);
        EXPECT_NEAR(gainAt(c, 1.0), 1.0, 1e-3) << type;
        EXPECT_NEAR(gainAt(c, 1.0, 5), 1.0, 1e-3) << type;
        EXPECT_NEAR(gainAt(c, -1.0), 0.0, 1e-6) << type;
    }
    const auto band = design(9, 80.0f, 70.0f), high = design(10, 80.0f, 70.0f), notch = design(11, 80.0f, 70.0f);
    EXPECT_NEAR(gainAt(band, 1.0), 0.0, 1e-6);
    EXPECT_NEAR(gainAt(high, -1.0), 1.0, 1e-4);
    EXPECT_NEAR(gainAt(high, 1.0), 0.0, 1e-6);
    EXPECT_NEAR(gainAt(notch, 1.0), 1.0, 1e-4);
}

TEST(BiquadDesign, GainTypesAreFlatAtHalfResonance) {
    for (int type : {12, 13, 14}) {
        const auto c = design(type, 70.0f, 50.0f);
        EXPECT_FLOAT_EQ(c[0], 1.0f) << type;
        EXPECT_FLOAT_EQ(c[1], c[3]) << type;
        EXPECT_FLOAT_EQ(c[2], c[4]) << type;
    }
    // fq 100 is +10 dB: the peak at its centre, the shelves at their ends.
    EXPECT_NEAR(gainAt(design(13, 70.0f, 100.0f), 1.0), std::sqrt(10.0), 1e-3);
    EXPECT_NEAR(gainAt(design(14, 70.0f, 100.0f), -1.0), std::sqrt(10.0), 1e-3);
    EXPECT_NEAR(gainAt(design(13, 70.0f, 0.0f), 1.0), 1.0 / std::sqrt(10.0), 1e-3);
}

TEST(BiquadDesign, SingleSectionKeepsTheSecondLowpassSection) {
    std::array<float, 16> c{};
    designFilter(6.0f, 60.0f, 40.0f, phaseIncFor(60.0f), 44100.0, c.data());
    const std::array<float, 16> lowpass = c;
    designFilter(9.0f, 90.0f, 10.0f, phaseIncFor(90.0f), 44100.0, c.data());
    EXPECT_NE(c[0], lowpass[0]);
    EXPECT_TRUE(std::equal(c.begin() + 5, c.end(), lowpass.begin() + 5));
}

TEST(PhaserDesign, AllpassCoefficientAndFeedback) {
    const auto c = design(15, 139.0f, 100.0f, 8000.0); // 2 pi w capped at 0.999
    EXPECT_NEAR(c[0], 0.5539875f, 1e-6f);              // tan(0.999) - 1
    EXPECT_EQ(c[1], c[0]);
    EXPECT_EQ(c[3], c[0]);
    EXPECT_FLOAT_EQ(c[4], 0.8f);
    EXPECT_NEAR(design(15, 1.0f, 0.0f)[0], -1.0f, 1e-3f);
}

TEST(VowelDesign, PositionAcrossTheVowels) {
    const auto first = design(16, 0.0f, 40.0f);
    EXPECT_NEAR(first[0], 0.99351123f, 1e-6f); // cos(2 pi 800 / 44100)
    EXPECT_FLOAT_EQ(first[1], 0.5f);
    EXPECT_FLOAT_EQ(first[3], 0.4f);
    EXPECT_FLOAT_EQ(first[5], 0.1f);
    EXPECT_FLOAT_EQ(first[6], 0.4f);
    const auto male = design(17, 0.0f, 40.0f);
    EXPECT_FLOAT_EQ(male[3], 0.42f);
    EXPECT_FLOAT_EQ(male[5], 0.38f);
    // 127 is 99 % of the way from vowel 3 to vowel 4; beyond it the position stays there.
    const auto last = design(16, 127.0f, 40.0f);
    EXPECT_NEAR(last[0], 0.99891987f, 1e-5f); // cos(2 pi 326.25 / 44100)
    EXPECT_NEAR(last[3], 0.2307f, 1e-5f);
    EXPECT_NEAR(last[5], 0.0816f, 1e-5f);
    EXPECT_EQ(design(16, 139.0f, 40.0f), last);
    EXPECT_EQ(design(17, 1000.0f, 40.0f), design(17, 127.0f, 40.0f));
    EXPECT_EQ(design(16, -20.0f, 40.0f), first);
}

TEST(FilterDesign, UnknownTypesDesignNothing) {
    for (float type : {18.0f, 40.0f, -1.0f, -7.0f, NAN}) {
        std::array<float, 16> c;
        c.fill(3.0f);
        designFilter(type, 60.0f, 50.0f, phaseIncFor(60.0f), 44100.0, c.data());
        EXPECT_EQ(c, std::array<float, 16>{}.size() ? c : c);
        EXPECT_TRUE(std::all_of(c.begin(), c.end(), [](float v) { return v == 3.0f; })) << type;
    }
}

class EveryType : public ::testing::TestWithParam<int> {};

// Designs each setting like a slice does and runs 4096 samples of a full-scale saw or noise.
TEST_P(EveryType, StaysFiniteAndBoundedOverAllSettings) {
    const int type = GetParam();
    std::vector<float> saw(4096), noise(4096);
    unsigned s = 1;
    for (int i = 0; i < 4096; ++i) {
        saw[i] = float((i % 100) / 50.0 - 1.0);
        s = s * 1664525u + 1013904223u;
        noise[i] = float(int(s >> 8) - (1 << 23)) / float(1 << 23);
    }
    for (double rate : {44100.0, 8000.0}) {
        for (int cutoff = 1; cutoff <= 139; ++cutoff) {
            for (int fq = 0; fq <= 100; fq += 10) {
                for (const std::vector<float>* input : {&saw, &noise}) {
                    float c[16] = {}, st[16] = {};
                    std::vector<float> line(2048, 0.0f), x = *input;
                    c[2] = 1.0f;
                    designFilter(float(type), float(cutoff), float(fq), phaseIncFor(float(cutoff), rate), rate, c);
                    const FilterKernel kernel = kernelForType(type);
                    for (int i = 0; i < 4096; i += 64) kernel(x.data() + i, 64, c, st, line.data());
                    float peak = 0.0f;
                    for (float v : x) peak = std::isfinite(v) ? std::max(peak, std::fabs(v)) : INFINITY;
                    ASSERT_LT(peak, 1e4f) << "cutoff " << cutoff << " fq " << fq << " rate " << rate;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Types, EveryType, ::testing::Range(0, 18));
