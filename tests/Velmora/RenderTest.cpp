// The render loop through the host-side calls: slicing, glide, gates, idle,
// declick, output channels and the frame's render checks.
#include <algorithm>
#include <cmath>

#include "../support/InstrumentFixture.h"
#include "Velmora/VelmoraAU.h"

namespace {
float largestStep(const std::vector<float>& s, size_t from, size_t to) {
    float step = 0;
    for (size_t i = from + 1; i < to; ++i) step = std::max(step, std::fabs(s[i] - s[i - 1]));
    return step;
}
}  // namespace

TEST(Render, OutputDoesNotDependOnCallSizeAtSliceMultiples) {
    // One call of 640 frames is ten slices, exactly like ten calls of 64.
    std::vector<float> one, many;
    for (auto* out : {&one, &many}) {
        Instrument inst;
        inst.set(kFilterAType, 8);
        inst.set(kNoiseType, 1);
        inst.set(kNoiseGain, 30);
        inst.noteOn(48);
        *out = out == &one ? inst.render(640) : inst.renderBlocks(640, 64);
    }
    EXPECT_EQ(one, many);
}

TEST(Render, ZeroFramesAndOddLengths) {
    Instrument inst;
    inst.noteOn(60);
    auto a = inst.render(100);  // slices of 64 and 36
    EXPECT_EQ(inst.lastStatus, noErr);
    EXPECT_NE(a[99], 7.0f);  // every frame written
    inst.render(0);
    EXPECT_EQ(inst.lastStatus, noErr);
}

TEST(Render, MonoAndStereoCarryTheSameSignal) {
    Instrument stereo(44100, 2), mono(44100, 1);
    stereo.noteOn(57);
    mono.noteOn(57);
    std::vector<float> right;
    auto left = stereo.render(512, &right);
    EXPECT_EQ(left, right);
    EXPECT_EQ(mono.render(512), left);
}

TEST(Render, VolumeAndFullEnvelopeGiveTheAmplitude) {
    Instrument inst;
    inst.fullAmplitudeEnvelope();
    inst.set(kVel2Vol, 0);
    inst.noteOn(60, 64);
    inst.renderBlocks(640);
    EXPECT_NEAR(inst.engine().voiceState().amp, 0.2f, 1e-6);
}

TEST(Render, GlideMovesLinearlyInSliceSteps) {
    Instrument inst;
    inst.set(kTrigger, 0);
    inst.set(kGlide, 50);  // 1 s
    inst.noteOn(60);
    inst.renderBlocks(44100 * 2);  // the first note glides from 69 to 60
    inst.noteOn(72);
    inst.render(64);
    const float start = inst.engine().voiceState().pitch;
    EXPECT_NEAR(start, 60 + 12 * 64 / 44100.0, 1e-3);
    inst.renderBlocks(64 * 344);  // about half a second
    EXPECT_NEAR(inst.engine().voiceState().pitch, 60 + 12 * 345 * 64 / 44100.0, 1e-3);
    inst.renderBlocks(44100);
    EXPECT_FLOAT_EQ(inst.engine().voiceState().pitch, 72);
}

TEST(Render, GlideStartsFromThePitchWithoutTheBend) {
    // Wheel at +2 semitones: a legato change from 60 to 72 starts at 62 sounding.
    Instrument inst;
    inst.set(kTrigger, 0);
    inst.set(kGlide, 50);
    inst.noteOn(60);
    inst.midi(0xE0, 127, 127);
    inst.renderBlocks(44100 * 2);
    EXPECT_NEAR(inst.engine().voiceState().pitch, 62, 1e-3);
    inst.noteOn(72);
    inst.render(64);
    EXPECT_NEAR(inst.engine().voiceState().pitch, 62 + 12 * 64 / 44100.0, 1e-3);
}

TEST(Render, ReleaseEndsInExactSilence) {
    Instrument inst;
    inst.set(kR1, 10);  // 8 ms
    inst.noteOn(60);
    inst.renderBlocks(4096);
    inst.noteOff(60);
    inst.renderBlocks(2048);
    EXPECT_TRUE(inst.engine().voiceState().silent);
    const auto out = inst.renderBlocks(1024);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float s) { return s == 0.0f; }));
}

TEST(Render, RetriggerDoesNotClick) {
    Instrument inst;
    inst.set(kA1, 0);
    inst.set(kOSC1Wave, 3);  // pulses: large steady level
    inst.noteOn(40);
    auto before = inst.renderBlocks(4096);
    const float steadyStep = largestStep(before, 2048, 4096);
    inst.noteOn(47);
    auto after = inst.renderBlocks(1024);
    std::vector<float> joined(before.end() - 64, before.end());
    joined.insert(joined.end(), after.begin(), after.end());
    EXPECT_LE(largestStep(joined, 0, 64 + 256), steadyStep * 1.05f);
}

TEST(Render, OscillatorsOffGiveNearSilenceNotZeros) {
    Instrument inst;
    inst.set(kOSC1Wave, 0);
    inst.set(kOSC2Wave, 0);
    inst.noteOn(60);
    auto out = inst.renderBlocks(4096);
    float peak = 0;
    for (float s : out) peak = std::max(peak, std::fabs(s));
    EXPECT_GT(peak, 0.0f);
    EXPECT_LT(peak, 1e-10f);
}

TEST(Render, TwoOscillatorsAreOneOnlyWhileTheirPhasesAgree) {
    // Mix mode 1 plays (B - A) / 2: exact silence while the two paths are equal.
    Instrument inst;
    inst.set(kMixMode, 1);
    inst.set(kOSC1Vari, 30);
    inst.set(kOSC2Vari, 30);
    inst.noteOn(60);
    auto same = inst.renderBlocks(1024);
    EXPECT_TRUE(std::all_of(same.begin(), same.end(), [](float s) { return s == 0.0f; }));

    // One slice of "pwm" moves the second oscillator's odd and even readers; back on
    // "saw o/e" with the same settings it no longer plays the first one's samples.
    inst.set(kOSC2Wave, 3);
    inst.render(64);
    inst.set(kOSC2Wave, 1);
    auto moved = inst.renderBlocks(1024);
    EXPECT_GT(*std::max_element(moved.begin(), moved.end()), 1e-3f);
}

TEST(Render, FrameLimitsAndLastError) {
    Instrument inst;
    inst.render(1153);
    EXPECT_EQ(inst.lastStatus, kAudioUnitErr_TooManyFramesToProcess);
    OSStatus error = 0;
    UInt32 size = sizeof error;
    AudioUnitGetProperty(inst.unit, kAudioUnitProperty_LastRenderError, 0, 0, &error, &size);
    EXPECT_EQ(error, kAudioUnitErr_TooManyFramesToProcess);
    AudioUnitGetProperty(inst.unit, kAudioUnitProperty_LastRenderError, 0, 0, &error, &size);
    EXPECT_EQ(error, noErr);

    UInt32 frames = 4096;
    ASSERT_EQ(AudioUnitSetProperty(inst.unit, kAudioUnitProperty_MaximumFramesPerSlice, 0, 0, &frames, 4), noErr);
    inst.noteOn(60);
    auto out = inst.render(4096);
    EXPECT_EQ(inst.lastStatus, noErr);
    EXPECT_NE(out[4095], 7.0f);
}

TEST(Render, ResetSilencesAtOnce) {
    Instrument inst;
    inst.noteOn(60);
    inst.renderBlocks(2048);
    ASSERT_EQ(AudioUnitReset(inst.unit, 0, 0), noErr);
    const auto out = inst.render(64);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float s) { return s == 0.0f; }));
}

TEST(Render, AListWithOneNullBufferGetsTheUnitsMemoryThere) {
    Instrument inst;
    inst.noteOn(60);
    std::vector<float> left(512, 7.0f);
    float* const channels[2] = {left.data(), nullptr};
    RenderCall call;
    ASSERT_EQ(call.render(inst.unit, 0, 512, channels), noErr);
    ASSERT_NE(call.channel(1), nullptr);
    EXPECT_EQ(std::vector<float>(call.channel(1), call.channel(1) + 512), left);
    EXPECT_NE(left[511], 7.0f);
}

TEST(Render, ModulatorsNothingReadsKeepTheirTime) {
    // A modulator that nothing reads may only keep its time, and a render call reads its
    // selectors again after they changed: once read, every modulator plays exactly as if it
    // had been read all along (here from the start, at depth 0), also when LFO 1 reads the
    // multiplier that comes after it, a slice late.
    Instrument alwaysRead, readLater;
    for (Instrument* inst : {&alwaysRead, &readLater}) {
        inst->set(kFilterAType, 1);
        inst->set(kFilterAFc, 60);
        inst->set(kLFO1Wave, 1);
        inst->set(kLFO1Speed, 70);
        inst->set(kLFO2Wave, 3);
        inst->set(kLFO2Speed, 55);
        inst->set(kMultiAS1, kSourceLfo2);
        inst->set(kMultiAS2, kSourceEnv2);
        inst->set(kMultiAMode, 1);
    }
    alwaysRead.set(kOSC1TModSrc, kSourceLfo1);
    alwaysRead.set(kFilterAFSrc, kSourceMultiA);
    for (Instrument* inst : {&alwaysRead, &readLater}) inst->noteOn(57);
    EXPECT_EQ(alwaysRead.renderBlocks(5000), readLater.renderBlocks(5000));

    for (Instrument* inst : {&alwaysRead, &readLater}) {
        inst->set(kOSC1TModSrc, kSourceLfo1);
        inst->set(kOSC1TModDpth, 2);
        inst->set(kFilterAFSrc, kSourceMultiA);
        inst->set(kFilterAFDpth, 30);
        inst->set(kLFO1VModSrc, kSourceMultiA);
        inst->set(kLFO1VModDpth, 50);
    }
    const std::vector<float> played = alwaysRead.renderBlocks(5000);
    EXPECT_EQ(played, readLater.renderBlocks(5000));
    EXPECT_GT(largestStep(played, 0, played.size()), 1e-3f);
}

TEST(Render, AWriteBetweenCallsSoundsInTheNextCall) {
    // Slices keep what they read until a parameter write: each of these writes must change
    // the very next call.
    struct Write {
        AudioUnitParameterID id;
        float value;
    };
    const Write writes[] = {{kOSC1Wave, kWavePwm}, {kOSC1Tune, 7},    {kOSC1Vari, 20}, {kOSC1Gain, 60},
                            {kMixMode, 1},         {kRumbleAType, 3}, {kNoiseType, 1}, {kFilterAType, 6},
                            {kFilterBFc, 30},      {kFilterBFq, 80},  {kOSC2Tune, 5},  {kMultiAMode, 1}};
    for (const Write& w : writes) {
        std::vector<float> plain, written;
        for (auto* out : {&plain, &written}) {
            Instrument inst;
            inst.set(kFilterBType, 1);
            inst.set(kNoiseGain, 40);
            inst.set(kMultiAS1, kSourceLfo2);
            inst.set(kMultiAS2, kSourceEnv2);
            inst.set(kFilterBFSrc, kSourceMultiA);
            inst.set(kFilterBFDpth, 20);
            inst.set(kLFO2Wave, 1);
            inst.set(kLFO2Speed, 90);
            inst.noteOn(50);
            inst.renderBlocks(640);
            if (out == &written) inst.set(w.id, w.value);
            *out = inst.render(64);
        }
        EXPECT_NE(plain, written) << "parameter " << w.id;
    }
}
