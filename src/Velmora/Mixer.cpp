// The per-path gain, the waveshapers and the mixer.
#include "Velmora/Mixer.h"

#include <cmath>

#include "Platform/Float4.h"

namespace {

// Applies f to each sample in place, four at a time: the four independent samples side by
// side let the compiler use vector instructions even at -O2, each lane doing the same
// operations as the scalar code, so the result is the same bits.
template <class F>
inline void eachSample(float* buffer, int n, F f) {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const float x0 = buffer[i], x1 = buffer[i + 1], x2 = buffer[i + 2], x3 = buffer[i + 3];
        buffer[i] = f(x0);
        buffer[i + 1] = f(x1);
        buffer[i + 2] = f(x2);
        buffer[i + 3] = f(x3);
    }
    for (; i < n; ++i) buffer[i] = f(buffer[i]);
}

// b[i] = f(b[i], a[i]), four at a time.
template <class F>
inline void eachPair(float* b, const float* a, int n, F f) {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const float b0 = b[i], b1 = b[i + 1], b2 = b[i + 2], b3 = b[i + 3];
        const float a0 = a[i], a1 = a[i + 1], a2 = a[i + 2], a3 = a[i + 3];
        b[i] = f(b0, a0);
        b[i + 1] = f(b1, a1);
        b[i + 2] = f(b2, a2);
        b[i + 3] = f(b3, a3);
    }
    for (; i < n; ++i) b[i] = f(b[i], a[i]);
}

}  // namespace

void ProcessGain(float* buffer, float gain, int n) {
    if (gain == 1.0f) return;  // x * 1 is x (a NaN stays a NaN, which the output limit mutes)
    eachSample(buffer, n, [gain](float x) { return x * gain; });
}

void ProcessRumble(int type, float d, float* buffer, int n) {
    switch (type) {
        case kShaperScramble:  // soft clipper, in double
            eachSample(buffer, n, [d](float v) {
                const double x = v;
                return float(x - double(d) * x * std::fabs(x));
            });
            break;
        case kShaperEngage: {  // rational saturator
            const float a = 1.01f - d;
            eachSample(buffer, n, [a, d](float v) {
                const float h = 0.5f * v;
                return 2 * h / (a + (d * h * h + 0.01f));
            });
            break;
        }
        case kShaperDegenerat: {  // amplitude quantiser, toward zero
            const float q = 102.0f - 100.0f * d;
            const float step = 1 / q;
            const Float4 q4 = Float4::splat(q), step4 = Float4::splat(step);
            int i = 0;
            for (; i + 4 <= n; i += 4) (truncated(q4 * Float4::load(buffer + i)) * step4).store(buffer + i);
            for (; i < n; ++i) buffer[i] = std::trunc(q * buffer[i]) * step;
            break;
        }
        case kShaperWedge: {  // rational curve
            const float k = 4 * d + 1;
            eachSample(buffer, n, [k](float x) {
                const float s = x * x * k;
                const float den = float(double(((0.007f * s - 0.09f) * s + 0.8f) * s) + 0.7);
                return 1.4f * x / den;
            });
            break;
        }
        default: break;
    }
}

void ProcessMix(float* b, const float* a, int n, int mode) {
    switch (mode) {
        case kMixSum: eachPair(b, a, n, [](float y, float x) { return (y + x) * 0.5f; }); break;
        case kMixDifference: eachPair(b, a, n, [](float y, float x) { return (y - x) * 0.5f; }); break;
        case kMixRing: eachPair(b, a, n, [](float y, float x) { return y * std::fabs(x); }); break;
        case kMixPathA:
            for (int i = 0; i < n; ++i) b[i] = a[i];
            break;
        default: break;
    }
}
