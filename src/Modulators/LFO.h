// LFO: the low-frequency oscillator, one value per render slice.
#pragma once
#include "Platform/Relaxed.h"

class LFO {
public:
    enum WaveShape { kOff = 0, kSine = 1, kSquare = 2, kSaw = 3, kTriangle = 4 };

    // Parameter thread. aWave 0..4; Speed 0..100 gives a period of
    // 8 * (1 - Speed / 100)^3 s; iPhase 0..100 the start phase in percent of a cycle.
    void setLfo(int aWave, float Speed, float iPhase, double sampleRate);
    // Render thread from here on.
    void reset() { phase = float(initPhase); }
    float getValue() const { return value; }
    // The value for the block that starts now; then advances by `samples`.
    double proceed(long samples);
    // Advances by `samples` as proceed does, for a block whose value nothing reads.
    void skip(long samples);

    float phaseNow() const { return phase; }
    float periodNow() const { return speed; }  // seconds

private:
    void advanceFrom(float wrappedPhase, long samples);

    // Each field is shared between the parameter and the render thread.
    Relaxed<float> speed{0.0f};  // the period, despite the name
    Relaxed<float> value{0.0f};
    Relaxed<float> phase{0.0f};
    Relaxed<float> initPhase{0.0f};
    Relaxed<int> Wave{kOff};
    Relaxed<float> timefactor{1.0f};
};
