// LoudnessMeter: integrated loudness (ITU-R BS.1770, in LUFS) and true peak (dBTP) of
// interleaved float samples, measured with libebur128 as they are rendered.
#pragma once
#include <ebur128.h>

#include <span>

class LoudnessMeter {
public:
    // One channel is measured as the same signal on two loudspeakers (dual mono), so that
    // a mono render reads as loud as the stereo render of the same song.
    LoudnessMeter(int channels, int sampleRate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    void add(std::span<const float> interleaved);
    double integratedLufs() const;  // -infinity for silence (or nothing above the gate)
    double truePeakDb() const;      // the largest over the channels; -infinity for silence

private:
    ebur128_state* mState;
    int mChannels;
};
