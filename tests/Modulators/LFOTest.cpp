// Tests for the LFO: rate, wave shapes, start phase and phase wrapping.
#include "Modulators/LFO.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// An LFO standing still at its start phase: Speed 100 is a period of 0 s.
LFO frozenAt(int wave, float inPhase) {
    LFO lfo;
    lfo.setLfo(wave, 100, inPhase, 44100);
    lfo.reset();
    return lfo;
}

TEST(LFO, Speed50AdvancesAHundredthPer441Samples) {
    LFO lfo;
    lfo.setLfo(LFO::kSaw, 50, 0, 44100);
    lfo.reset();
    EXPECT_FLOAT_EQ(lfo.periodNow(), 1.0f);
    float last = lfo.phaseNow();
    for (int i = 0; i < 250; ++i) {
        lfo.proceed(441);
        float step = lfo.phaseNow() - last;
        if (step < 0) step += 1;  // wrapped at the next call's start
        EXPECT_NEAR(step, 0.01, 1e-5) << "call " << i;
        last = lfo.phaseNow() >= 1 ? lfo.phaseNow() - 1 : lfo.phaseNow();
    }
}

// Periods of 0.01 s and less stand still: Speed 89 (0.0106 s) runs, 90 (0.008 s) does not.
TEST(LFO, ShortPeriodsFreeze) {
    LFO sine = frozenAt(LFO::kSine, 25);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(sine.proceed(64), 1.0);
    EXPECT_FLOAT_EQ(sine.phaseNow(), 0.25f);

    LFO at89;
    at89.setLfo(LFO::kSaw, 89, 0, 44100);
    at89.proceed(64);
    EXPECT_GT(at89.phaseNow(), 0.0f);
    LFO at90;
    at90.setLfo(LFO::kSaw, 90, 0, 44100);
    at90.proceed(64);
    EXPECT_EQ(at90.phaseNow(), 0.0f);
}

TEST(LFO, UnconfiguredStandsStillAtZero) {
    LFO lfo;
    EXPECT_EQ(lfo.proceed(64), 0.0);
    EXPECT_EQ(lfo.phaseNow(), 0.0f);
}

struct WaveCase {
    int wave;
    float inPhase;
    float expected;
};

class LFOWave : public ::testing::TestWithParam<WaveCase> {};

TEST_P(LFOWave, ValueAtPhase) {
    const WaveCase c = GetParam();
    LFO lfo = frozenAt(c.wave, c.inPhase);
    EXPECT_NEAR(lfo.proceed(64), c.expected, 1e-7);
    EXPECT_NEAR(lfo.getValue(), c.expected, 1e-7);
}

INSTANTIATE_TEST_SUITE_P(Shapes, LFOWave,
                         ::testing::Values(WaveCase{LFO::kOff, 0, 0}, WaveCase{LFO::kOff, 25, 0},
                                           WaveCase{LFO::kOff, 60, 0}, WaveCase{7, 25, 0}, WaveCase{LFO::kSine, 0, 0},
                                           WaveCase{LFO::kSine, 25, 1}, WaveCase{LFO::kSine, 75, -1},
                                           WaveCase{LFO::kSquare, 0, 1}, WaveCase{LFO::kSquare, 49, 1},
                                           WaveCase{LFO::kSquare, 50, -1}, WaveCase{LFO::kSaw, 0, -1},
                                           WaveCase{LFO::kSaw, 75, 0.5f}, WaveCase{LFO::kTriangle, 0, -1},
                                           WaveCase{LFO::kTriangle, 25, 0}, WaveCase{LFO::kTriangle, 50, 1},
                                           WaveCase{LFO::kTriangle, 75, 0}));

TEST(LFO, ProceedReturnsTheStartOfTheBlock) {
    LFO lfo;
    lfo.setLfo(LFO::kSaw, 50, 0, 44100);  // 1 s period
    lfo.reset();
    EXPECT_EQ(lfo.proceed(22050), -1.0);
    EXPECT_NEAR(lfo.proceed(64), 0.0, 1e-5);
}

TEST(LFO, StartPhaseChangeShiftsTheRunningCycle) {
    LFO lfo;
    lfo.setLfo(LFO::kSaw, 50, 0, 44100);
    lfo.reset();
    lfo.proceed(35280);  // 0.8 of a cycle
    const float before = lfo.phaseNow();
    lfo.setLfo(LFO::kSaw, 50, 30, 44100);
    EXPECT_NEAR(lfo.phaseNow(), before + 0.3f - 1, 1e-6);  // wrapped into 0..1
    lfo.setLfo(LFO::kSaw, 50, 0, 44100);
    EXPECT_NEAR(lfo.phaseNow(), before, 1e-6);

    lfo.reset();  // restarts at the start phase, here 0
    EXPECT_EQ(lfo.phaseNow(), 0.0f);
}

float wrapByLoop(float p) {
    while (p < 0) p += 1;
    while (p >= 1) p -= 1;
    return p;
}

class LFOPhaseWrap : public ::testing::TestWithParam<float> {};

// Start phases far outside 0..1 are wrapped at the first proceed; the result
// must be the one of stepping by whole cycles, bit for bit.
TEST_P(LFOPhaseWrap, MatchesSteppingByWholeCycles) {
    const float inPhase = GetParam();
    LFO lfo = frozenAt(LFO::kSaw, inPhase);
    const float expected = wrapByLoop(inPhase * 0.01f);
    const float v = float(lfo.proceed(64));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(lfo.phaseNow()), std::bit_cast<std::uint32_t>(expected))
        << lfo.phaseNow() << " vs " << expected;
    EXPECT_EQ(v, 2 * expected - 1);
}

INSTANTIATE_TEST_SUITE_P(Ordinary, LFOPhaseWrap,
                         ::testing::Values(0.0f, -0.0f, 37.0f, 100.0f, 200.0f, 370.0f, -100.0f, -225.0f, -250.0f,
                                           -1e-7f, -1e-5f, 99.99999f, 1e8f + 50, -1e8f - 50, 1.6e9f, -1.6e9f));

// From 2^24 on a step of one cycle need not move the phase, and a non-finite
// phase never gets into range: both stand at phase 0.
TEST(LFO, HugeOrNonFiniteStartPhaseActsAsPhaseZero) {
    const float inf = std::numeric_limits<float>::infinity();
    for (float inPhase : {1677721600.0f + 400, 1e30f, -1e30f, 3e38f, inf, -inf, NAN}) {
        LFO saw = frozenAt(LFO::kSaw, inPhase);
        EXPECT_EQ(saw.proceed(64), -1.0) << inPhase;
        EXPECT_EQ(saw.phaseNow(), 0.0f) << inPhase;
        LFO tri = frozenAt(LFO::kTriangle, inPhase);
        EXPECT_EQ(tri.proceed(64), -1.0) << inPhase;
    }
}

TEST(LFO, OutOfRangeSpeedFollowsThePeriodLaw) {
    // Below 0 the period grows past 8 s; above 100 it is negative and the LFO stands still.
    LFO slow;
    slow.setLfo(LFO::kSaw, -50, 0, 44100);
    EXPECT_FLOAT_EQ(slow.periodNow(), 27.0f);
    for (float speed : {300.0f, NAN}) {
        LFO frozen;
        frozen.setLfo(LFO::kSaw, speed, 25, 44100);
        frozen.reset();
        for (int i = 0; i < 10; ++i) frozen.proceed(4410);
        EXPECT_FLOAT_EQ(frozen.phaseNow(), 0.25f) << speed;
    }
}

}  // namespace
