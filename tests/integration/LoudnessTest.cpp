// The loudness of `velmora render`'s summary against signals of known loudness.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Loudness.h"

namespace {

// A 1 kHz sine at `dbfs`, `seconds` long, the same in every channel.
std::vector<float> sine(double dbfs, int channels, int rate, double seconds) {
    std::vector<float> samples;
    const double amplitude = std::pow(10.0, dbfs / 20);
    for (int i = 0; i < int(seconds * rate); ++i)
        samples.insert(samples.end(), size_t(channels), float(amplitude * std::sin(2 * M_PI * 1000.0 * i / rate)));
    return samples;
}

}  // namespace

// EBU Tech 3341, case 1: a stereo 1 kHz sine at -23 dBFS reads -23.0 LUFS. Fed in
// render-sized pieces; one channel reads the same as two (dual mono).
TEST(Loudness, KnownSineReadsItsLevelInStereoAndMono) {
    for (const int channels : {2, 1}) {
        LoudnessMeter meter(channels, 48000);
        const std::vector<float> samples = sine(-23, channels, 48000, 20);
        for (size_t at = 0; at < samples.size(); at += size_t(8192 * channels))
            meter.add(std::span(samples).subspan(at, std::min(samples.size() - at, size_t(8192 * channels))));
        EXPECT_NEAR(meter.integratedLufs(), -23.0, 0.1) << channels;
        EXPECT_NEAR(meter.truePeakDb(), -23.0, 0.2) << channels;
    }
    LoudnessMeter silence(2, 44100);
    silence.add(std::vector<float>(88200, 0.0f));
    EXPECT_EQ(silence.integratedLufs(), -HUGE_VAL);
    EXPECT_EQ(silence.truePeakDb(), -HUGE_VAL);
}
