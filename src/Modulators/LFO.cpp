// LFO: the low-frequency oscillator.
#include "Modulators/LFO.h"

#include <cmath>

namespace {
// Brings a phase into 0..1 with the result of adding or subtracting 1 until
// it is there. Below 2^24 every such step is exact except the last one up
// from a tiny negative phase, which may round to 1 and then steps back to 0;
// so jump by a whole number to within two of the range and take the last
// steps one by one. From 2^24 on a step of 1 may no longer move the phase at
// all; every such float is whole, so it becomes 0, as does a non-finite phase.
float wrapPhase(float p) {
    if (!(std::fabs(p) < 16777216.0f)) return 0.0f;
    if (p >= 2) p -= std::floor(p) - 1;
    if (p < -2) p += -std::ceil(p) - 1;
    while (p < 0) p += 1;
    while (p >= 1) p -= 1;
    return p;
}
}  // namespace

void LFO::setLfo(int aWave, float Speed, float iPhase, double sampleRate) {
    // A non-finite start phase would stop the cycle for good: it counts as 0.
    // Any speed is harmless: a period at or below 0.01 s stands still.
    if (!std::isfinite(iPhase)) iPhase = 0;
    Wave = aWave;
    // A new start phase shifts the running cycle by the same amount.
    float p = phase;
    p = p + (iPhase * 0.01f - initPhase);
    if (p < 0) p += 1;
    if (p >= 1) p -= 1;
    phase = p;
    initPhase = iPhase * 0.01f;
    timefactor = float(1 / sampleRate);
    const float x = 1 - Speed * 0.01f;
    speed = 8 * (x * x * x);
}

double LFO::proceed(long samples) {
    const float p = wrapPhase(phase);
    float v;
    switch (int(Wave)) {
        case kSine: v = float(std::sin(2 * 3.141592653589793 * double(p))); break;
        case kSquare: v = p < 0.5f ? 1.0f : -1.0f; break;
        case kSaw: v = 2 * p - 1; break;
        case kTriangle: v = p < 0.5f ? 4 * p - 1 : 3 - 4 * p; break;
        default: v = 0.0f; break;
    }
    value = v;
    advanceFrom(p, samples);
    return v;
}

void LFO::skip(long samples) { advanceFrom(wrapPhase(phase), samples); }

void LFO::advanceFrom(float p, long samples) {
    // Periods of 0.01 s and less stand still.
    const float period = speed;
    phase = period > 0.01f ? p + float(samples) * timefactor / period : p;
}
