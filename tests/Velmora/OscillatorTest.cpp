// The oscillators by what they sound like: pitch by zero crossings on a sine, and
// band-limiting by FFT (nothing between the harmonics but a small floor).
#include <algorithm>
#include <cmath>

#include "../support/FourierMagnitudes.h"
#include "../support/InstrumentFixture.h"

namespace {

// Two octaves below concert pitch: key 69 sounds 110 Hz.
double keyHz(int key) { return 110.0 * std::pow(2.0, (key - 69) / 12.0); }

// Oscillator 1 alone at full level through no filter or shaper (mix mode "1"
// passes path A); frames after the attack.
std::vector<float> sound(double rate, int wave, int key, UInt32 frames) {
    Instrument inst(rate);
    inst.fullAmplitudeEnvelope();
    inst.set(kOSC2Wave, kWaveOff);
    inst.set(kOSC1Wave, float(wave));
    inst.set(kOSC1Mology, 0);  // "digiwave" at shape 0 is a plain sine
    inst.set(kMixMode, kMixPathA);
    inst.noteOn(UInt8(key));
    inst.renderBlocks(4096);
    return inst.renderBlocks(frames);
}

// Frequency from the upward zero crossings, each placed by linear interpolation. A
// crossing counts once the signal has been below -1e-4 since the last one, so that
// the denormal guard's alternating 1e-11 around a table zero is no crossing.
double zeroCrossingHz(const std::vector<float>& s, double rate) {
    double first = -1, last = -1;
    long crossings = 0;
    bool below = false;
    for (size_t i = 1; i < s.size(); ++i) {
        below = below || s[i - 1] < -1e-4f;
        if (!(below && s[i - 1] < 0 && s[i] >= 0)) continue;
        below = false;
        const double t = double(i - 1) + s[i - 1] / (double(s[i - 1]) - s[i]);
        if (first < 0) first = t;
        last = t;
        ++crossings;
    }
    return crossings > 1 ? double(crossings - 1) * rate / (last - first) : 0;
}

struct Between {
    double all;      // every bin but the fundamental's, relative to it (dB)
    double aliases;  // every bin away from a harmonic below half the rate (dB)
};

// The power of a spectrum outside the main lobes (four bins either side, and two
// more for safety) of the fundamental or of every harmonic below half the rate.
Between powerBetweenHarmonics(const std::vector<float>& s, double rate, double f0) {
    const std::vector<double> m = magnitudeSpectrum(s);
    const double binHz = rate / double(s.size());
    auto nearHarmonic = [&](size_t bin, bool fundamentalOnly) {
        const double h = std::round(double(bin) * binHz / f0);
        if (fundamentalOnly ? h != 1 : h * f0 >= rate / 2) return false;
        return std::fabs(double(bin) - h * f0 / binHz) <= 6;
    };
    double all = 0, aliases = 0;
    for (size_t b = 0; b < m.size(); ++b) {
        if (!nearHarmonic(b, true)) all += m[b] * m[b];
        if (!nearHarmonic(b, false)) aliases += m[b] * m[b];
    }
    const double fundamental = m[size_t(std::lround(f0 / binHz))];
    return {decibels(std::sqrt(all) / fundamental), decibels(std::sqrt(aliases) / fundamental)};
}

}  // namespace

class OscillatorPitch : public ::testing::TestWithParam<double> {};

TEST_P(OscillatorPitch, KeysSoundAtTheirFrequency) {
    const double rate = GetParam();
    for (int key : {33, 69, 100}) {
        const double hz = zeroCrossingHz(sound(rate, kWaveDigiwave, key, UInt32(rate)), rate);
        EXPECT_NEAR(1200 * std::log2(hz / keyHz(key)), 0.0, 0.1) << "key " << key << ": " << hz << " Hz";
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, OscillatorPitch, ::testing::Values(44100.0, 48000.0, 96000.0));

class OscillatorBandLimit : public ::testing::TestWithParam<double> {};

TEST_P(OscillatorBandLimit, NothingButHarmonicsBelowHalfTheRate) {
    // A saw's harmonics fall as 1/k: with one table too rich at a high key, what
    // folds back between the harmonics sums to -17..-19 dB of the fundamental. With
    // the levels as chosen, the tables' truncation noise and the crossfade between
    // two levels (the richer one fading out as its top harmonics near half the
    // rate) stay below -30 dB; -33 dB at the top key is the closest.
    const double rate = GetParam();
    for (int key : {48, 97, 103}) {
        const double f0 = keyHz(key);
        for (int wave : {kWaveSawOE, kWavePwm}) {
            const Between between = powerBetweenHarmonics(sound(rate, wave, key, 65536), rate, f0);
            EXPECT_LT(between.aliases, -30.0) << "wave " << wave << " key " << key;
        }
        // "digiwave" is never band-limited; at shape 0 it is a sine and nothing else.
        const Between sine = powerBetweenHarmonics(sound(rate, kWaveDigiwave, key, 65536), rate, f0);
        EXPECT_LT(sine.all, -60.0) << "digiwave key " << key;
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, OscillatorBandLimit, ::testing::Values(44100.0, 96000.0));

// The oscillator unit on its own plays what the instrument plays: oscillator 1 at full
// gain, level and volume through mix mode "1" with everything else off, so that the
// output is the oscillator plus the denormal guard. Each wave with both shapes set, from
// a low key to one that crossfades between levels, over many slices and a second gate-on.
TEST(OscillatorUnit, PlaysTheInstrumentsSamples) {
    constexpr UInt32 kFrames = 64 * 80;
    for (int wave : {kWaveSawOE, kWaveDigiwave, kWavePwm}) {
        for (int key : {30, 64, 101}) {
            Instrument inst;
            inst.fullAmplitudeEnvelope();
            for (AudioUnitParameterID id :
                 {kOSC1TModDpth, kOSC1MModDpth, kOSC1VModDpth, kOSC1GainMDpth, kGlide, kVel2Vol, kNoiseType, kOSC2Wave,
                  kRumbleAType, kRumbleBType, kFilterAType, kFilterBType})
                inst.set(id, 0);
            inst.set(kVolume, 250);  // 250 · 0.004 is 1
            inst.set(kOSC1Gain, 100);
            inst.set(kMixMode, kMixPathA);
            inst.set(kOSC1Wave, float(wave));
            inst.set(kOSC1Mology, 30);
            inst.set(kOSC1Vari, 35);

            VelmoraAU& engine = inst.engine();
            Oscillator unit;
            const float note = float(key) + inst.get(kOSC1Tune);
            unit.set(wave, note, 30, 35, [&](float k) { return engine.noteToPhaseInc(k); });
            const OscillatorTables tables = engine.oscillatorTables();
            auto play = [&](std::vector<float>& into) {
                float block[64];
                for (UInt32 done = 0; done < kFrames; done += 64) {
                    switch (wave) {
                        case kWaveSawOE: unit.processVoice(tables, block, 64); break;
                        case kWaveDigiwave: unit.processPD1(tables, block, 64); break;
                        case kWavePwm: unit.processPWM(tables, block, 64); break;
                    }
                    into.insert(into.end(), block, block + 64);
                }
            };

            std::vector<float> expected;
            unit.restart();
            play(expected);
            inst.noteOn(UInt8(key));
            std::vector<float> played = inst.renderBlocks(kFrames);
            // A second gate-on starts every reader at phase 0 again.
            unit.restart();
            play(expected);
            inst.noteOff(UInt8(key));
            inst.noteOn(UInt8(key));
            const std::vector<float> again = inst.renderBlocks(kFrames);
            played.insert(played.end(), again.begin(), again.end());

            double peak = 0;
            for (size_t i = 0; i < played.size(); ++i) {
                if (i % kFrames < 192) continue;  // the level's ramp and the declick after a gate-on
                peak = std::max(peak, double(std::fabs(expected[i])));
                ASSERT_NEAR(played[i], expected[i], 1e-10) << "wave " << wave << " key " << key << " frame " << i;
            }
            EXPECT_GT(peak, 0.5) << "wave " << wave << " key " << key;
        }
    }
}
