// Tests for the envelope generator: stage times, levels and gate handling.
#include "Modulators/ADSR.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

ADSR makeEnv(float A, float D, float S, float R, double rate = 44100) {
    ADSR env;
    env.setEnv(A, D, S, R, rate);
    return env;
}

// 10 -> 0.008 s, 50 -> 0.5 level, 30 -> 0.216 s. At 44100 Hz 0.008 s is 352.8
// samples and 0.216 s is 9525.6: each stage still runs when evaluated at the
// sample below and is over at the sample above.
TEST(ADSR, StatedTimesAndSustainAt44100) {
    ADSR env = makeEnv(10, 10, 50, 30);
    env.setGate(true);
    EXPECT_EQ(env.proceed(352), 0.0);
    EXPECT_LT(env.proceed(1), 1.0);
    EXPECT_EQ(env.stageNow(), ADSR::kAttack);
    EXPECT_EQ(env.proceed(1), 1.0);
    EXPECT_EQ(env.stageNow(), ADSR::kDecay);

    env.proceed(351);  // the decay's phase started at one sample
    EXPECT_GT(env.proceed(1), 0.5);
    EXPECT_EQ(env.stageNow(), ADSR::kDecay);
    EXPECT_FLOAT_EQ(float(env.proceed(1)), 0.5f);
    EXPECT_EQ(env.stageNow(), ADSR::kSustain);
    EXPECT_FLOAT_EQ(float(env.proceed(64)), 0.5f);

    env.setGate(false);
    env.proceed(9525);
    EXPECT_GT(env.proceed(1), 0.0);
    EXPECT_EQ(env.stageNow(), ADSR::kRelease);
    EXPECT_EQ(env.proceed(1), 0.0);
    EXPECT_EQ(env.stageNow(), ADSR::kIdle);
    EXPECT_EQ(env.proceed(64), 0.0);
}

// At 1024 Hz a 1 s stage (parameter 50) is half done after 512 samples, where
// the quadratic segments stand at exactly 3/4 of the way.
TEST(ADSR, SegmentsAreQuadratic) {
    ADSR env = makeEnv(50, 50, 50, 50, 1024);
    env.setGate(true);
    EXPECT_EQ(env.proceed(512), 0.0);
    EXPECT_EQ(env.proceed(512), 0.75);
    env.proceed(1);  // attack over, decay starts at one sample
    env.proceed(511);
    EXPECT_EQ(env.proceed(1), 0.5 + 0.5 * 0.25);

    env.setGate(false);  // release from 0.625
    env.proceed(512);
    EXPECT_EQ(env.proceed(1), 0.625 * 0.25);
}

TEST(ADSR, HalfwayThroughReleaseIsAQuarter) {
    ADSR env = makeEnv(0, 0, 80, 50, 1024);
    env.setGate(true);
    EXPECT_FLOAT_EQ(float(env.proceed(64)), 0.8f);
    env.setGate(false);
    EXPECT_FLOAT_EQ(float(env.proceed(512)), 0.8f);
    EXPECT_FLOAT_EQ(float(env.proceed(1)), 0.8f / 4);
}

TEST(ADSR, ZeroLengthStages) {
    ADSR env = makeEnv(0, 0, 40, 0);
    env.setGate(true);
    EXPECT_EQ(env.stageNow(), ADSR::kSustain);
    EXPECT_FLOAT_EQ(env.getValue(), 0.4f);
    EXPECT_FLOAT_EQ(float(env.proceed(64)), 0.4f);

    env.setGate(false);  // release 0: silent at once
    EXPECT_EQ(env.stageNow(), ADSR::kIdle);
    EXPECT_EQ(env.getValue(), 0.0f);
    EXPECT_EQ(env.proceed(64), 0.0);

    ADSR decayOnly = makeEnv(0, 10, 40, 0);
    decayOnly.setGate(true);
    EXPECT_EQ(decayOnly.stageNow(), ADSR::kDecay);
    EXPECT_EQ(decayOnly.proceed(64), 1.0);
}

TEST(ADSR, FreshAttackReturnsStartLevelAndAdvancesPhase) {
    ADSR env = makeEnv(50, 50, 50, 50);
    env.setGate(true);
    EXPECT_EQ(env.proceed(512), 0.0);
    EXPECT_FLOAT_EQ(env.phaseNow(), float(512.0 / 44100));
    EXPECT_EQ(env.stageNow(), ADSR::kAttack);
}

TEST(ADSR, GateHandling) {
    ADSR env = makeEnv(50, 50, 50, 50);  // 1 s stages
    env.setGate(true);
    env.proceed(22050);
    EXPECT_NEAR(env.proceed(22050), 0.75, 1e-4);
    const float phase = env.phaseNow();
    env.setGate(true);  // already open: no retrigger
    EXPECT_EQ(env.stageNow(), ADSR::kAttack);
    EXPECT_EQ(env.phaseNow(), phase);

    env.setGate(false);
    EXPECT_NEAR(env.proceed(4410), 0.75, 1e-4);
    const float level = float(env.proceed(1));
    EXPECT_NEAR(level, 0.75 * 0.81, 1e-4);
    env.setGate(false);  // closed again: the release restarts from the present level
    EXPECT_EQ(env.stageNow(), ADSR::kRelease);
    EXPECT_EQ(env.phaseNow(), 0.0f);
    EXPECT_EQ(float(env.proceed(64)), level);

    env.setGate(true);  // a new note from the release
    EXPECT_EQ(env.stageNow(), ADSR::kAttack);
    EXPECT_EQ(env.getValue(), 0.0f);
    env.proceed(1000);
    env.reset();  // restarts the attack but leaves the gate open
    EXPECT_EQ(env.phaseNow(), 0.0f);
    env.proceed(1000);
    env.setGate(true);
    EXPECT_FLOAT_EQ(env.phaseNow(), float(1000 / 44100.0));
}

TEST(ADSR, SettingStagesToZeroWhileRunning) {
    ADSR env = makeEnv(50, 50, 50, 50);
    env.setGate(true);
    env.proceed(1000);
    env.setEnv(0, 50, 50, 50, 44100);  // attack gone: level 1, into the decay
    EXPECT_EQ(env.stageNow(), ADSR::kDecay);
    EXPECT_EQ(env.getValue(), 1.0f);
    EXPECT_EQ(env.phaseNow(), 0.0f);
    EXPECT_EQ(env.proceed(64), 1.0);
    EXPECT_LT(env.proceed(64), 1.0);

    env.setEnv(0, 0, 30, 50, 44100);  // decay gone too: sustain
    EXPECT_EQ(env.stageNow(), ADSR::kSustain);
    EXPECT_FLOAT_EQ(env.getValue(), 0.3f);

    env.setGate(false);
    env.proceed(64);
    env.setEnv(0, 0, 30, 0, 44100);  // release gone: silent
    EXPECT_EQ(env.stageNow(), ADSR::kIdle);
    EXPECT_EQ(env.proceed(64), 0.0);
}

TEST(ADSR, DefaultRateIs44100) {
    ADSR env;
    EXPECT_EQ(env.stageNow(), ADSR::kIdle);
    EXPECT_EQ(env.proceed(64), 0.0);
    env.reset();
    env.proceed(44100);
    EXPECT_NEAR(env.phaseNow(), 1.0, 1e-6);
}

// Out-of-range parameters act as the nearest end of 0..100: a negative attack
// must not become a stage that never ends.
TEST(ADSR, OutOfRangeParametersStayBounded) {
    ADSR negative = makeEnv(-5, -5, 50, -5);
    negative.setGate(true);
    EXPECT_EQ(negative.stageNow(), ADSR::kSustain);
    negative.setGate(false);
    EXPECT_EQ(negative.stageNow(), ADSR::kIdle);

    ADSR nan = makeEnv(NAN, 10, NAN, 10);
    nan.setGate(true);
    EXPECT_EQ(nan.stageNow(), ADSR::kDecay);
    for (int i = 0; i < 20; ++i) nan.proceed(64);
    EXPECT_EQ(nan.stageNow(), ADSR::kSustain);
    EXPECT_EQ(nan.proceed(64), 0.0);

    // Beyond 100 the formulas hold: 1000 is an 8000 s stage, a sustain of 250 a level of 2.5.
    ADSR huge = makeEnv(1000, 1000, 250, 1000, 1024);
    huge.setGate(true);
    huge.proceed(4 * 1024);
    EXPECT_EQ(huge.stageNow(), ADSR::kAttack);
    ADSR loud = makeEnv(0, 0, 250, 0);
    loud.setGate(true);
    EXPECT_EQ(loud.proceed(64), 2.5);
}

}  // namespace
