// Filter kernels: block-size invariance, silence, hand-computed responses and comb line safety.
#include "Filters/FilterDesign.h"
#include "Filters/FilterKernels.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

using namespace kvel_filters;

namespace {

struct Slot {
    float coeffs[16] = {};
    float state[16] = {};
    std::array<float, 2048> line{};
    void run(int type, float* buffer, int count) { kernelForType(type)(buffer, count, coeffs, state, line.data()); }
};

// A slot designed at a resonant setting; the comb gets a fractional delay shorter than a
// block, so that it reads samples written by the previous call.
Slot designed(int type) {
    Slot slot;
    const float cutoff = type == 5 ? 134.5f : 60.0f;
    const float phaseInc = float(110.0 * std::pow(2.0, (cutoff - 69.0) / 12.0) / 44100.0);
    designFilter(float(type), cutoff, 80.0f, phaseInc, 44100.0, slot.coeffs);
    slot.coeffs[2] = 1.0f; // comb: start on the target delay, as at a note start
    return slot;
}

// Saw plus a little deterministic noise, amplitude below 1.
std::vector<float> signal(int n) {
    std::vector<float> x(n);
    unsigned s = 12345;
    for (int i = 0; i < n; ++i) {
        s = s * 1664525u + 1013904223u;
        x[i] = float((i % 37) / 37.0 - 0.5) + float(int(s >> 16) - 32768) * 1e-5f;
    }
    return x;
}

std::vector<float> runInBlocks(int type, int total, int block) {
    Slot slot = designed(type);
    std::vector<float> x = signal(total);
    for (int start = 0; start < total; start += block) slot.run(type, x.data() + start, std::min(block, total - start));
    return x;
}

const auto kAllTypes = ::testing::Range(0, 18);

} // namespace

class KernelSplit : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(KernelSplit, OutputDoesNotDependOnBlockSplit) {
    const auto [type, block] = GetParam();
    EXPECT_EQ(runInBlocks(type, 128, 64), runInBlocks(type, 128, block));
}

INSTANTIATE_TEST_SUITE_P(Splits, KernelSplit, ::testing::Combine(kAllTypes, ::testing::Values(1, 3, 4, 7, 63)));

class EveryKernel : public ::testing::TestWithParam<int> {};

TEST_P(EveryKernel, CountZeroChangesNothingButTheCombJump) {
    const int type = GetParam();
    Slot slot = designed(type);
    std::vector<float> x = signal(64);
    slot.run(type, x.data(), 64);
    if (type == 5) {
        slot.coeffs[2] = 1.0f;
        slot.state[0] = 3.0f;
    }
    const Slot before = slot;
    float sample = 0.25f;
    slot.run(type, &sample, 0);
    EXPECT_EQ(sample, 0.25f);
    EXPECT_EQ(slot.line, before.line);
    for (int i = 0; i < 16; ++i) {
        if (type == 5 && i == 0) EXPECT_EQ(slot.state[0], before.coeffs[0]); // delay jumps to the target
        else EXPECT_EQ(slot.state[i], before.state[i]) << i;
        if (type == 5 && i == 2) EXPECT_EQ(slot.coeffs[2], 0.0f); // flag consumed
        else EXPECT_EQ(slot.coeffs[i], before.coeffs[i]) << i;
    }
}

TEST_P(EveryKernel, SilenceStaysSilent) {
    const int type = GetParam();
    Slot slot = designed(type);
    std::vector<float> x(200, 0.0f);
    slot.run(type, x.data(), 200);
    EXPECT_EQ(x, std::vector<float>(200, 0.0f));
}

INSTANTIATE_TEST_SUITE_P(Types, EveryKernel, kAllTypes);

TEST(KernelDispatch, UnknownTypesPassThrough) {
    EXPECT_EQ(kernelForType(-1), &foo);
    EXPECT_EQ(kernelForType(18), &foo);
    for (int type = 9; type <= 14; ++type) EXPECT_EQ(kernelForType(type), &Biquad);
    std::vector<float> x = signal(50), y = x;
    float c[16] = {1, 2, 3}, s[16] = {4, 5, 6};
    foo(y.data(), 50, c, s, nullptr);
    EXPECT_EQ(x, y);
}

TEST(StateVariable, FirstSampleOfAnImpulseRunsTwoPasses) {
    // f = 0.5, damping 1: worked through both passes by hand.
    const std::pair<FilterKernel, float> cases[] = {
        {SVF_Low, 0.125f}, {SVF_Band, 0.375f}, {SVF_High, 0.375f}, {SVF_Notch, 0.5f}};
    for (const auto& [kernel, expected] : cases) {
        float c[16] = {0.5f, 1.0f}, s[16] = {};
        float x = 1.0f;
        kernel(&x, 1, c, s, nullptr);
        EXPECT_EQ(x, expected);
        EXPECT_EQ(s[0], 0.25f);
    }
}

TEST(StateVariable, LowpassWithZeroFrequencyIsSilent) {
    float c[16] = {0.0f, 0.5f}, s[16] = {};
    std::vector<float> x = signal(100);
    SVF_Low(x.data(), 100, c, s, nullptr);
    EXPECT_EQ(x, std::vector<float>(100, 0.0f));
    EXPECT_EQ(s[0], 0.0f);
    EXPECT_EQ(s[1], 0.0f);
}

TEST(SaturatingLowpass, EachSaturatesWhereItShould) {
    // Section coefficients {b0, b1, b2, a1, a2}; input 10 then 0.
    const float pass[5] = {1, 0, 0, 0, 0}, delay[5] = {0, 1, 0, 0, 0};
    struct Case {
        FilterKernel kernel;
        const float* second;
        float out0, out1;
    } cases[] = {
        {Biquad_Low, pass, 9.99f, 0.0f},   // first section bends: 10 - 1e-4 * 100
        {Biquad_Low_t, pass, 9.0f, 0.0f},  // output bends: 10 - 0.01 * 100
        {Biquad_Low_r, pass, -20.0f, 0.0f}, // direct term bends hard: 10 - 0.3 * 100
        {Biquad_Low_r, delay, 0.0f, 10.0f}, // while its history keeps the plain value
    };
    for (const Case& k : cases) {
        float c[16] = {}, s[16] = {};
        std::copy(pass, pass + 5, c);
        std::copy(k.second, k.second + 5, c + 5);
        float x[2] = {10.0f, 0.0f};
        k.kernel(x, 2, c, s, nullptr);
        EXPECT_FLOAT_EQ(x[0], k.out0);
        EXPECT_FLOAT_EQ(x[1], k.out1);
    }
}

TEST(Phaser, WithoutAllpassOrFeedbackAveragesInputAndSevenSamplesAgo) {
    float c[16] = {}, s[16] = {};
    const std::vector<float> in = signal(40);
    std::vector<float> x = in;
    Phaser7(x.data(), 40, c, s, nullptr);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(x[i], (in[i] + (i >= 7 ? in[i - 7] : 0.0f)) * 0.5f) << i;
}

TEST(Vowel, DrySettingPassesInputWhileResonatorsRun) {
    for (FilterKernel kernel : {Vowel_f, Vowel_m}) {
        float c[16] = {0.99f, 0.5f, 0.9f, 0.4f, 0.5f, 0.1f, 0.0f}, s[16] = {};
        const std::vector<float> in = signal(64);
        std::vector<float> x = in;
        kernel(x.data(), 64, c, s, nullptr);
        EXPECT_EQ(x, in);
        EXPECT_NE(s[2], 0.0f);
        EXPECT_NE(s[10], 0.0f);
    }
}

TEST(Comb, JumpFlagSitsOnTargetForTheWholeBlock) {
    // An impulse with feedback 1 and delay 10 returns 9 samples later, halved by the loop average.
    Slot slot;
    slot.coeffs[0] = 10.0f;
    slot.coeffs[1] = 1.0f;
    slot.coeffs[2] = 1.0f;
    slot.state[0] = 500.0f;
    std::vector<float> x(12, 0.0f);
    x[0] = 1.0f;
    slot.run(5, x.data(), 12);
    EXPECT_EQ(x, (std::vector<float>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0.5f, 0.25f, 0.125f}));
    EXPECT_EQ(slot.state[0], 10.0f);
    EXPECT_EQ(slot.coeffs[2], 0.0f);
    EXPECT_EQ(slot.coeffs[3], 12.0f);
}

TEST(Comb, DelayGlidesLinearlyAndReachesTargetOnLastSample) {
    // A ramp in the line makes the interpolated tap read back its own position.
    Slot slot;
    for (int i = 0; i < 2048; ++i) slot.line[i] = float(i);
    slot.coeffs[0] = 132.0f;
    slot.coeffs[1] = 1.0f;
    slot.coeffs[3] = 1000.0f;
    slot.state[0] = 100.0f;
    std::vector<float> y(64, 0.0f);
    slot.run(5, y.data(), 64);
    EXPECT_EQ(slot.state[0], 132.0f);
    float previous = 0.0f;
    for (int n = 0; n < 64; ++n) {
        const float delay = 100.0f + 0.5f * float(n + 1);
        EXPECT_NEAR(2.0f * y[n] - previous, 1000.0f + float(n) - delay + 1.0f, 1e-3f) << n;
        previous = y[n];
    }
}

TEST(Comb, DelaysOutsideTheLineWrapAround) {
    const std::pair<float, float> same[] = {{10.0f, 2058.0f}, {-9.0f, 2039.0f}, {3.5f, 3.5f + 4096.0f}};
    for (const auto& [a, b] : same) {
        Slot first, second;
        first.coeffs[0] = a;
        second.coeffs[0] = b;
        for (Slot* slot : {&first, &second}) {
            slot->coeffs[1] = 0.9f;
            slot->coeffs[2] = 1.0f;
        }
        std::vector<float> x = signal(300), y = x;
        for (int i = 0; i < 300; i += 60) {
            first.run(5, x.data() + i, 60);
            second.run(5, y.data() + i, 60);
        }
        EXPECT_EQ(x, y) << a;
    }
}

TEST(Comb, GarbageWritePositionOrDelayStaysInsideTheLine) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float positions[] = {-1.99f, nan, inf, -inf, 1e30f, -3e9f, 5000.7f};
    const float delays[] = {45.0f, nan, inf, -inf, 1e30f, -1e30f, 3e9f};
    constexpr float kGuard = 12345.0f;
    for (float position : positions) {
        for (float delay : delays) {
            std::vector<float> memory(2048 + 2 * 256, kGuard);
            std::fill(memory.begin() + 256, memory.begin() + 256 + 2048, 0.0f);
            float c[16] = {delay, 0.5f, 1.0f, position}, s[16] = {};
            std::vector<float> x = signal(64);
            comb2048(x.data(), 64, c, s, memory.data() + 256);
            for (int i = 0; i < 256; ++i) {
                ASSERT_EQ(memory[i], kGuard) << position << " " << delay;
                ASSERT_EQ(memory[256 + 2048 + i], kGuard) << position << " " << delay;
            }
            EXPECT_TRUE(c[3] >= 0.0f && c[3] <= 2047.0f && c[3] == std::floor(c[3])) << c[3];
        }
    }
    // After a biquad the slot holds about -1.99: it is taken as position 2047.
    Slot slot;
    slot.coeffs[3] = -1.99f;
    slot.coeffs[2] = 1.0f;
    float x = 0.75f;
    slot.run(5, &x, 1);
    EXPECT_EQ(slot.line[2047], 0.75f);
    EXPECT_EQ(slot.coeffs[3], 0.0f);
}
