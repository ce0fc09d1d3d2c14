// LoudnessMeter over libebur128.
#include "Loudness.h"

#include <algorithm>
#include <cmath>
#include <new>

LoudnessMeter::LoudnessMeter(int channels, int sampleRate)
    : mState(ebur128_init(unsigned(channels), static_cast<unsigned long>(sampleRate),
                          EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK)),
      mChannels(channels) {
    if (!mState) throw std::bad_alloc();
    if (channels == 1) ebur128_set_channel(mState, 0, EBUR128_DUAL_MONO);
}

LoudnessMeter::~LoudnessMeter() { ebur128_destroy(&mState); }

void LoudnessMeter::add(std::span<const float> interleaved) {
    ebur128_add_frames_float(mState, interleaved.data(), interleaved.size() / size_t(mChannels));
}

double LoudnessMeter::integratedLufs() const {
    double lufs = -HUGE_VAL;
    return ebur128_loudness_global(mState, &lufs) == EBUR128_SUCCESS ? lufs : -HUGE_VAL;
}

double LoudnessMeter::truePeakDb() const {
    double peak = 0;
    for (int c = 0; c < mChannels; ++c) {
        double channelPeak = 0;
        if (ebur128_true_peak(mState, unsigned(c), &channelPeak) == EBUR128_SUCCESS) peak = std::max(peak, channelPeak);
    }
    return peak > 0 ? 20 * std::log10(peak) : -HUGE_VAL;
}
