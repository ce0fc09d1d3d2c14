// HarmonicTables: the computation, for the build-time generator and the test that
// checks the linked data against it.
#include "Velmora/HarmonicTables.h"

#include <cmath>
#include <cstring>

void computeHarmonicTables(HarmonicTables& t) {
    constexpr int N = HarmonicTables::kSize;
    for (int i = 0; i < N; ++i) t.wave[i] = float(std::sin(i * (2.0 * M_PI) * 0.000244140625));
    double k = 1;  // the next odd harmonic
    int count = 1;
    for (int level = 0; level < HarmonicTables::kLevels; ++level) {
        float* odd = t.odd + level * N;
        float* even = t.even + level * N;
        float* pwm = t.pwm + level * N;
        if (level == 0) {
            std::memset(odd, 0, N * sizeof(float));
            std::memset(even, 0, N * sizeof(float));
            std::memcpy(pwm, t.wave, sizeof t.wave);
        } else {
            const float* oddPrev = odd - N;
            const float* evenPrev = even - N;
            for (int i = 0; i < N; ++i) {
                odd[i] = oddPrev[i];
                even[i] = evenPrev[i];
                pwm[i] = (oddPrev[i] + evenPrev[i]) + t.wave[i];
            }
        }
        for (int c = 0; c < count; ++c, k += 2) {
            for (int i = 0; i < N; ++i) {
                odd[i] = float(odd[i] + std::sin(2.0 * M_PI * k * i / N) / k);
                even[i] = float(even[i] + std::sin(2.0 * M_PI * (k + 1) * i / N) / (k + 1));
            }
        }
        for (int i = 0; i < N; ++i) pwm[i] = pwm[i] + (odd[i] + even[i]);
        t.bandLimits[level] = float(4096 / (2.5 * k));
        count *= 2;
    }
}
