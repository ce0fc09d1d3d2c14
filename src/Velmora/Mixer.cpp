// The per-path gain, the waveshapers and the mixer.
#include "Velmora/Mixer.h"

#include <cmath>

void ProcessGain(float* buffer, float gain, int n) {
    for (int i = 0; i < n; ++i) buffer[i] = buffer[i] * gain;
}

void ProcessRumble(int type, float d, float* buffer, int n) {
    switch (type) {
        case 1:  // soft clipper, in double
            for (int i = 0; i < n; ++i) {
                const double x = buffer[i];
                buffer[i] = float(x - double(d) * x * std::fabs(x));
            }
            break;
        case 2: {  // rational saturator
            const float a = 1.01f - d;
            for (int i = 0; i < n; ++i) {
                const float h = 0.5f * buffer[i];
                buffer[i] = 2 * h / (a + (d * h * h + 0.01f));
            }
            break;
        }
        case 3: {  // amplitude quantiser, toward zero
            const float q = 102.0f - 100.0f * d;
            const float step = 1 / q;
            for (int i = 0; i < n; ++i) buffer[i] = std::trunc(q * buffer[i]) * step;
            break;
        }
        case 4: {  // rational curve
            const float k = 4 * d + 1;
            for (int i = 0; i < n; ++i) {
                const float x = buffer[i];
                const float s = x * x * k;
                const float den = float(double(((0.007f * s - 0.09f) * s + 0.8f) * s) + 0.7);
                buffer[i] = 1.4f * x / den;
            }
            break;
        }
        default:
            break;
    }
}

void ProcessMix(float* b, const float* a, int n, int mode) {
    switch (mode) {
        case 0:
            for (int i = 0; i < n; ++i) b[i] = (b[i] + a[i]) * 0.5f;
            break;
        case 1:
            for (int i = 0; i < n; ++i) b[i] = (b[i] - a[i]) * 0.5f;
            break;
        case 2:
            for (int i = 0; i < n; ++i) b[i] = b[i] * std::fabs(a[i]);
            break;
        case 3:
            for (int i = 0; i < n; ++i) b[i] = a[i];
            break;
        default:
            break;
    }
}
