// Filter kernels: block-size invariance, silence, degenerate settings and comb line safety.
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
    std::array<float, kCombLineLength> line{};
    void run(int type, float* buffer, int count) { kernelForType(type)(buffer, count, coeffs, state, line.data()); }
};

// Resonant settings; the comb gets a fractional delay shorter than a block, so that it reads
// samples written by the previous call, and starts on it as at a note start.
Slot designed(int type) {
    Slot slot;
    const float cutoff = type == 5 ? 134.5f : 60.0f;
    designFilter(float(type), cutoff, 80.0f, float(110.0 * std::pow(2.0, (cutoff - 69.0) / 12.0) / 44100.0), 44100.0,
                 slot.coeffs);
    if (type == 5) slot.coeffs[kCombJumpFlag] = 1.0f;
    return slot;
}

// Saw plus a little deterministic noise, below full scale.
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

}  // namespace

class KernelSplit : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(KernelSplit, OutputDoesNotDependOnBlockSplit) {
    const auto [type, block] = GetParam();
    EXPECT_EQ(runInBlocks(type, 128, 64), runInBlocks(type, 128, block));
}

INSTANTIATE_TEST_SUITE_P(Splits, KernelSplit,
                         ::testing::Combine(::testing::Range(0, 18), ::testing::Values(1, 3, 4, 7, 63)));

// The render loop runs a comb in parts between the steps of another filter: the glide set over
// the whole block must give the samples of one call, in every split, over a moving delay.
TEST(CombParts, GlideSetOverTheBlockGivesTheSamplesOfOneCall) {
    for (int part : {1, 3, 8, 63}) {
        Slot whole = designed(5), parts = designed(5);
        std::vector<float> x = signal(192), y = x;
        for (int start = 0; start < 192; start += 64) {
            whole.coeffs[0] = parts.coeffs[0] = 20.5f + float(start) * 0.37f;  // a new target each block
            comb2048(x.data() + start, 64, whole.coeffs, whole.state, whole.line.data());
            combGlide(parts.coeffs, parts.state, 64);
            for (int at = 0; at < 64; at += part)
                combPart(y.data() + start + at, std::min(part, 64 - at), parts.coeffs, parts.state, parts.line.data());
        }
        EXPECT_EQ(x, y) << "parts of " << part;
        EXPECT_EQ(whole.state[0], parts.state[0]);
        EXPECT_EQ(whole.coeffs[kCombWritePosition], parts.coeffs[kCombWritePosition]);
    }
}

class EveryKernel : public ::testing::TestWithParam<int> {};

TEST_P(EveryKernel, CountZeroChangesNothingButTheCombJump) {
    const int type = GetParam();
    Slot slot = designed(type);
    std::vector<float> x = signal(64);
    slot.run(type, x.data(), 64);
    Slot expected = slot;
    if (type == 5) {
        slot.coeffs[kCombJumpFlag] = 1.0f;
        slot.state[0] = 3.0f;
        expected.state[0] = expected.coeffs[0];  // the delay jumps to the target
        expected.coeffs[kCombJumpFlag] = 0.0f;   // and the flag is consumed
    }
    float sample = 0.25f;
    slot.run(type, &sample, 0);
    EXPECT_EQ(sample, 0.25f);
    EXPECT_EQ(slot.line, expected.line);
    EXPECT_TRUE(std::equal(slot.state, slot.state + 16, expected.state));
    EXPECT_TRUE(std::equal(slot.coeffs, slot.coeffs + 16, expected.coeffs));
}

TEST_P(EveryKernel, SilenceStaysSilent) {
    Slot slot = designed(GetParam());
    std::vector<float> x(200, 0.0f);
    slot.run(GetParam(), x.data(), 200);
    EXPECT_EQ(x, std::vector<float>(200, 0.0f));
}

INSTANTIATE_TEST_SUITE_P(Types, EveryKernel, ::testing::Range(0, 18));

TEST(Kernels, DegenerateSettingsGiveKnownSignals) {
    const std::vector<float> in = signal(64);
    std::vector<float> x = in;
    float c[16] = {}, s[16] = {};
    foo(x.data(), 64, c, s, nullptr);
    EXPECT_EQ(x, in);
    Phaser7(x.data(), 64, c, s, nullptr);  // a = k = 0: each stage is a one-sample delay
    for (int i = 0; i < 64; ++i) EXPECT_EQ(x[i], (in[i] + (i >= 7 ? in[i - 7] : 0.0f)) * 0.5f) << i;
    for (FilterKernel vowel : {Vowel_f, Vowel_m}) {
        float v[16] = {0.99f, 0.5f, 0.9f, 0.4f, 0.5f, 0.1f, 0.0f}, vs[16] = {};
        x = in;
        vowel(x.data(), 64, v, vs, nullptr);
        EXPECT_EQ(x, in);  // dry, while the resonators run
        EXPECT_NE(vs[10], 0.0f);
    }
    float f0[16] = {0.0f, 0.5f}, svf[16] = {};
    SVF_Low(x.data(), 64, f0, svf, nullptr);
    EXPECT_EQ(x, std::vector<float>(64, 0.0f));
    EXPECT_EQ(svf[0], 0.0f);
    EXPECT_EQ(svf[1], 0.0f);
}

TEST(Kernels, SaturationSitsWhereEachLowpassPutsIt) {
    // Both sections pass the input (b0 = 1), or the second delays it (b1 = 1); input 10 then 0.
    const std::tuple<FilterKernel, int, float, float> cases[] = {
        {Biquad_Low, 5, 9.99f, 0.0f},     // first section: 10 - 1e-4 * 100
        {Biquad_Low_t, 5, 9.0f, 0.0f},    // output: 10 - 0.01 * 100
        {Biquad_Low_r, 5, -20.0f, 0.0f},  // direct term: 10 - 0.3 * 100
        {Biquad_Low_r, 6, 0.0f, 10.0f}};  // while its history keeps the plain value
    for (const auto& [kernel, second, out0, out1] : cases) {
        float c[16] = {1.0f}, s[16] = {}, x[2] = {10.0f, 0.0f};
        c[second] = 1.0f;
        kernel(x, 2, c, s, nullptr);
        EXPECT_FLOAT_EQ(x[0], out0);
        EXPECT_FLOAT_EQ(x[1], out1);
    }
}

TEST(Comb, JumpFlagSitsOnTargetForTheWholeBlock) {
    // Feedback 1, delay 10: an impulse returns 9 samples later, halved by the loop average.
    Slot slot;
    std::copy_n(std::array{10.0f, 1.0f, 1.0f, 0.0f}.data(), 4, slot.coeffs);
    slot.state[0] = 500.0f;
    std::vector<float> x(12, 0.0f);
    x[0] = 1.0f;
    slot.run(5, x.data(), 12);
    EXPECT_EQ(x, (std::vector<float>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0.5f, 0.25f, 0.125f}));
    EXPECT_EQ(slot.state[0], 10.0f);
    EXPECT_EQ(slot.coeffs[kCombJumpFlag], 0.0f);
    EXPECT_EQ(slot.coeffs[kCombWritePosition], 12.0f);
}

TEST(Comb, DelayGlidesLinearlyAndReachesTargetOnLastSample) {
    // A ramp in the line makes the tap read back its position w - trunc(d) + 1 + frac(d).
    Slot slot;
    for (int i = 0; i < 2048; ++i) slot.line[i] = float(i);
    std::copy_n(std::array{132.0f, 1.0f, 0.0f, 1000.0f}.data(), 4, slot.coeffs);
    slot.state[0] = 100.0f;
    std::vector<float> y(64, 0.0f);
    slot.run(5, y.data(), 64);
    EXPECT_EQ(slot.state[0], 132.0f);
    for (int n = 0; n < 64; ++n) {
        const float delay = 100.0f + 0.5f * float(n + 1), whole = std::floor(delay);
        const float tap = 2.0f * y[n] - (n ? y[n - 1] : 0.0f);  // undoes the loop average
        EXPECT_NEAR(tap, 1000.0f + float(n) - whole + 1.0f + (delay - whole), 1e-3f) << n;
    }
}

TEST(Comb, AnyDelayOrWritePositionStaysInsideTheLine) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    constexpr float kGuard = 12345.0f;
    for (float position : {-1.99f, nan, inf, -inf, 1e30f, -3e9f, 5000.7f}) {
        for (float delay : {45.0f, -9.0f, nan, inf, -inf, 1e30f, -1e30f, 3e9f}) {
            std::vector<float> memory(2048 + 2 * 256, kGuard);
            std::fill_n(memory.begin() + 256, 2048, 0.0f);
            float c[16] = {delay, 0.5f, 1.0f, position}, s[16] = {};
            std::vector<float> x = signal(64);
            comb2048(x.data(), 64, c, s, memory.data() + 256);
            EXPECT_EQ(std::count(memory.begin(), memory.end(), kGuard), 512) << position << " " << delay;
            EXPECT_TRUE(c[3] >= 0.0f && c[3] <= 2047.0f && c[3] == std::floor(c[3])) << c[3];
        }
    }
    // A delay beyond the line wraps: 2058 reads as 10, -9 as 2039.
    for (const auto& [a, b] : {std::pair{10.0f, 2058.0f}, std::pair{-9.0f, 2039.0f}}) {
        Slot first, second;
        std::copy_n(std::array{a, 0.9f, 1.0f}.data(), 3, first.coeffs);
        std::copy_n(std::array{b, 0.9f, 1.0f}.data(), 3, second.coeffs);
        std::vector<float> x = signal(300), y = x;
        first.run(5, x.data(), 300);
        second.run(5, y.data(), 300);
        EXPECT_EQ(x, y) << a;
    }
    // Left over from a biquad type, -1.99 is taken as position 2047.
    Slot slot;
    slot.coeffs[kCombJumpFlag] = 1.0f;
    slot.coeffs[kCombWritePosition] = -1.99f;
    float x = 0.75f;
    slot.run(5, &x, 1);
    EXPECT_EQ(slot.line[2047], 0.75f);
    EXPECT_EQ(slot.coeffs[kCombWritePosition], 0.0f);
}
