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

std::array<float, 16> design(int type, float cutoff, float fq, double rate = 44100.0, float fill = 0.0f) {
    std::array<float, 16> c;
    c.fill(fill);
    designFilter(float(type), cutoff, fq, phaseIncFor(cutoff, rate), rate, c.data());
    return c;
}

}  // namespace

TEST(FilterDesign, StateVariableDampingFromResonance) {
    const auto c = design(1, 69.0f, 50.0f);
    EXPECT_NEAR(c[0], 0.00783609f, 1e-7f);  // sin(pi * 110 / 44100)
    EXPECT_NEAR(c[1], 0.3182072f, 1e-6f);   // 2 (1 - 0.5^0.25)
    EXPECT_EQ(design(1, 69.0f, 100.0f)[1], 0.0f);
    EXPECT_EQ(design(1, 69.0f, 0.0f)[1], 2.0f);
    EXPECT_NEAR(design(3, 69.0f, 100.0f)[1], 0.1085168f, 1e-6f);  // highpass takes 0.8 of fq
    EXPECT_EQ(design(0, 69.0f, 50.0f), c);                        // "off" designs the same pair
    EXPECT_EQ(design(1, 139.0f, 50.0f, 8000.0)[0], 0.24999f);
}

TEST(FilterDesign, CombDelayAndFeedbackLeaveFlagAndPosition) {
    const auto c = design(5, 127.0f, 30.0f, 44100.0, 7.0f);
    EXPECT_FLOAT_EQ(c[0], 45.0f);
    EXPECT_FLOAT_EQ(c[1], 0.3f);
    EXPECT_EQ(c[2], 7.0f);
    EXPECT_EQ(c[3], 7.0f);
    EXPECT_FLOAT_EQ(design(5, 1.0f, 0.0f)[0], 612.0f);
    EXPECT_FLOAT_EQ(design(5, 139.0f, 0.0f)[0], -9.0f);
}

TEST(FilterDesign, BiquadsAtHalfResonanceAndTypeChanges) {
    for (int type : {12, 13, 14}) {  // A = 1: numerator equals denominator
        const auto c = design(type, 70.0f, 50.0f);
        EXPECT_FLOAT_EQ(c[0], 1.0f) << type;
        EXPECT_FLOAT_EQ(c[1], c[3]) << type;
        EXPECT_FLOAT_EQ(c[2], c[4]) << type;
    }
    std::array<float, 16> c = design(6, 60.0f, 40.0f);
    const std::array<float, 16> lowpass = c;
    designFilter(9.0f, 90.0f, 10.0f, phaseIncFor(90.0f), 44100.0, c.data());
    EXPECT_NE(c[0], lowpass[0]);
    EXPECT_TRUE(std::equal(c.begin() + 5, c.end(), lowpass.begin() + 5));
    EXPECT_NEAR(design(15, 139.0f, 100.0f, 8000.0)[0], 0.5539875f, 1e-6f);  // tan(0.999) - 1
    for (float type : {18.0f, -7.0f, NAN}) {
        c.fill(3.0f);
        designFilter(type, 60.0f, 50.0f, phaseIncFor(60.0f), 44100.0, c.data());
        EXPECT_EQ(std::count(c.begin(), c.end(), 3.0f), 16) << type;
    }
}

TEST(FilterDesign, VowelPositionStaysOnTheTable) {
    const auto first = design(16, 0.0f, 40.0f);
    EXPECT_NEAR(first[0], 0.99351123f, 1e-6f);  // cos(2 pi 800 / 44100)
    EXPECT_FLOAT_EQ(first[3], 0.4f);
    EXPECT_FLOAT_EQ(first[6], 0.4f);
    EXPECT_FLOAT_EQ(design(17, 0.0f, 40.0f)[5], 0.38f);
    // 127 is 99 % of the way from vowel 3 to vowel 4; beyond it the position stays there.
    const auto last = design(16, 127.0f, 40.0f);
    EXPECT_NEAR(last[0], 0.99891987f, 1e-5f);  // cos(2 pi 326.25 / 44100)
    EXPECT_NEAR(last[3], 0.2307f, 1e-5f);
    EXPECT_EQ(design(16, 139.0f, 40.0f), last);
    EXPECT_EQ(design(17, 1000.0f, 40.0f), design(17, 127.0f, 40.0f));
    EXPECT_EQ(design(16, -20.0f, 40.0f), first);
}

class EveryType : public ::testing::TestWithParam<int> {};

// Each setting designed as a slice does, then 4096 samples of a full-scale saw or noise.
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
                    std::array<float, 16> c = design(type, float(cutoff), float(fq), rate), st{};
                    std::vector<float> line(2048, 0.0f), x = *input;
                    if (type == 5) c[2] = 1.0f;  // note start: jump to the target delay
                    for (int i = 0; i < 4096; i += 64)
                        kernelForType(type)(x.data() + i, 64, c.data(), st.data(), line.data());
                    const bool bounded = std::all_of(x.begin(), x.end(), [](float v) { return std::fabs(v) < 1e4f; });
                    ASSERT_TRUE(bounded) << "cutoff " << cutoff << " fq " << fq << " rate " << rate;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Types, EveryType, ::testing::Range(0, 18));
