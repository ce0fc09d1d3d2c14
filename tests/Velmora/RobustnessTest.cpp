// Bad values from hosts, automation and state files: refused when non-finite,
// used within range when out of range, and never a non-finite or unbounded output.
#include <cmath>
#include <limits>

#include "../support/InstrumentFixture.h"
#include "Velmora/VelmoraAU.h"

namespace {

// Every output sample is held within +-10^4 (+80 dBFS), whatever the settings.
constexpr float kOutputLimit = 1e4f;

float peakOf(const std::vector<float>& s) {
    float peak = 0;
    for (float x : s) peak = std::isfinite(x) ? std::max(peak, std::fabs(x)) : INFINITY;
    return peak;
}

}  // namespace

TEST(BadValues, NonFiniteWritesAreRefusedAndTheOldValueStays) {
    Instrument inst;
    inst.set(kFilterAType, 1);
    inst.noteOn(60);
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), INFINITY, -INFINITY}) {
        EXPECT_EQ(inst.set(kFilterAFc, bad), paramErr);
        EXPECT_EQ(inst.get(kFilterAFc), 69.0f);
        EXPECT_EQ(inst.set(kA1, bad), paramErr);
    }
    const MusicDeviceNoteParams nanVelocity{2, 62, std::numeric_limits<float>::quiet_NaN()};
    NoteInstanceID id;
    EXPECT_EQ(MusicDeviceStartNote(inst.unit, 0, 0, &id, 0, &nanVelocity), paramErr);
    const float peak = peakOf(inst.renderBlocks(8192));
    EXPECT_GT(peak, 0.01f);
    EXPECT_LT(peak, 2.0f);
}

// Every parameter at values far outside its range, written while a note plays
// with a busy patch: the output stays finite and bounded.
class OutOfRange : public ::testing::TestWithParam<AudioUnitParameterID> {};

TEST_P(OutOfRange, OutputStaysFiniteAndBounded) {
    for (float value : {-1e30f, -150.0f, -50.0f, -0.5f, 150.0f, 1e4f, 1e30f}) {
        Instrument inst;
        inst.set(kFilterAType, 1);
        inst.set(kFilterBType, 8);
        inst.set(kRouting, 7);
        inst.set(kRumbleAType, 4);
        inst.set(kRumbleBType, 2);
        inst.set(kNoiseType, 1);
        inst.set(kNoiseGain, 20);
        inst.set(kOSC2Wave, 2);
        inst.set(kLFO1Wave, 1);
        inst.set(kOSC1TModSrc, 15);
        inst.set(kFilterAFSrc, 11);
        inst.set(kMultiAS1, 9);
        inst.set(kMultiAS2, 15);
        inst.set(kMultiAMode, 1);
        inst.set(kRumbleAModSrc, 19);
        inst.noteOn(60);
        inst.renderBlocks(512);
        EXPECT_EQ(inst.set(GetParam(), value), noErr);
        inst.noteOn(67, 127);
        const float peak = peakOf(inst.renderBlocks(8192));
        EXPECT_LE(peak, kOutputLimit) << "parameter " << GetParam() << " = " << value;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryParameter, OutOfRange, ::testing::Range<AudioUnitParameterID>(0, 102));

TEST(BadValues, OutOfRangeValuesBehaveAsTheirFormulasSay) {
    // Stored as given and used as given where that stays finite: "Volume" 150
    // gives the amplitude 0.6, a velocity of 254 from a note call twice the level.
    Instrument inst;
    inst.fullAmplitudeEnvelope();
    inst.set(kVel2Vol, 100);
    inst.set(kVolume, 150);
    NoteInstanceID id;
    const MusicDeviceNoteParams loud{2, 60, 254};
    MusicDeviceStartNote(inst.unit, 0, 0, &id, 0, &loud);
    inst.renderBlocks(640);
    EXPECT_NEAR(inst.engine().voiceState().amp, 1.2f, 1e-5);
    const MusicDeviceNoteParams huge{2, 62, 1e30f};
    MusicDeviceStartNote(inst.unit, 0, 0, &id, 0, &huge);
    EXPECT_LE(peakOf(inst.renderBlocks(4096)), kOutputLimit);
}
