// The oscillators by what they sound like: pitch by zero crossings on a sine, and
// band-limiting by FFT (nothing between the harmonics but a small floor).
#include <cmath>

#include "../support/InstrumentFixture.h"
#include "../support/MagnitudeSpectrum.h"

namespace {

// Two octaves below concert pitch: key 69 sounds 110 Hz.
double keyHz(int key) { return 110.0 * std::pow(2.0, (key - 69) / 12.0); }

// Oscillator 1 alone at full level through no filter or shaper (mix mode "1"
// passes path A); frames after the attack.
std::vector<float> sound(double rate, int wave, int key, UInt32 frames) {
    Instrument inst(rate);
    inst.fullAmplitudeEnvelope();
    inst.set(kOSC2Wave, 0);
    inst.set(kOSC1Wave, float(wave));
    inst.set(kOSC1Mology, 0);  // "digiwave" at shape 0 is a plain sine
    inst.set(kMixMode, 3);
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
        const double hz = zeroCrossingHz(sound(rate, 2, key, UInt32(rate)), rate);
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
        for (int wave : {1, 3}) {
            const Between between = powerBetweenHarmonics(sound(rate, wave, key, 65536), rate, f0);
            EXPECT_LT(between.aliases, -30.0) << "wave " << wave << " key " << key;
        }
        // "digiwave" is never band-limited; at shape 0 it is a sine and nothing else.
        const Between sine = powerBetweenHarmonics(sound(rate, 2, key, 65536), rate, f0);
        EXPECT_LT(sine.all, -60.0) << "digiwave key " << key;
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, OscillatorBandLimit, ::testing::Values(44100.0, 96000.0));
