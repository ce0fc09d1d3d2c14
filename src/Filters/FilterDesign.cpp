// Coefficient design of the 18 filter types: state-variable, comb, biquads, phaser and vowels.
#include "Filters/FilterDesign.h"
#include "Filters/FilterKernels.h"

#include <cmath>

namespace kvel_filters {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

// Formant frequencies (Hz) and resonator gains of five vowels, one row per formant.
struct VowelTable {
    float freq[3][5];
    float gain[3][5];
};

constexpr VowelTable kVowelFemale = {
    {{800.0f, 350.0f, 270.0f, 450.0f, 325.0f},
     {1150.0f, 2000.0f, 2140.0f, 800.0f, 700.0f},
     {2900.0f, 2800.0f, 2950.0f, 2830.0f, 2700.0f}},
    {{0.5f, 0.5f, 0.5f, 0.5f, 0.5f}, {0.4f, 0.2f, 0.26f, 0.3f, 0.23f}, {0.1f, 0.23f, 0.14f, 0.24f, 0.08f}},
};

constexpr VowelTable kVowelMale = {
    {{600.0f, 400.0f, 250.0f, 400.0f, 350.0f},
     {1040.0f, 1620.0f, 1750.0f, 750.0f, 600.0f},
     {2250.0f, 2400.0f, 2600.0f, 2400.0f, 2400.0f}},
    {{0.5f, 0.5f, 0.5f, 0.5f, 0.5f}, {0.42f, 0.3f, 0.1f, 0.34f, 0.12f}, {0.38f, 0.38f, 0.28f, 0.2f, 0.05f}},
};

// Library calls run in double; their results are rounded to single.
inline float sinF(double x) { return static_cast<float>(std::sin(x)); }
inline float cosF(double x) { return static_cast<float>(std::cos(x)); }
inline float tanF(double x) { return static_cast<float>(std::tan(x)); }
inline float powF(double x, double y) { return static_cast<float>(std::pow(x, y)); }
inline float sqrtF(double x) { return static_cast<float>(std::sqrt(x)); }

// Normalises by a0 into the kernel's b0, b1, b2, a1, a2.
inline void storeSection(float* out, float b0, float b1, float b2, float a1, float a2, float a0) {
    out[0] = b0 / a0;
    out[1] = b1 / a0;
    out[2] = b2 / a0;
    out[3] = a1 / a0;
    out[4] = a2 / a0;
}

void designStateVariable(unsigned type, float q, float w, float* coeffs) {
    float qs = q;
    if (type == kBandpass)
        qs = q * 0.5f;
    else if (type == kHighpass)
        qs = q * 0.8f;
    float f = sinF(kPi * w);
    if (f > 0.24999f) f = 0.24999f;  // two passes per sample stay stable below 0.25
    coeffs[0] = f;
    const float d = 2.0f * (1.0f - powF(qs, 0.25));
    const float limit = 2.0f / f - 0.5f * f;
    float damping = d;
    if (limit < damping) damping = limit;
    if (2.0f < damping) damping = 2.0f;
    coeffs[1] = damping;  // 2 is no resonance, 0 rings at the cutoff
}

void designPhaser(float q, float w, float* coeffs) {
    float x = static_cast<float>(kTwoPi * w);
    if (x > 0.999f) x = 0.999f;
    const float a = tanF(x) - 1.0f;
    coeffs[0] = a;
    coeffs[1] = a;
    coeffs[2] = a;
    coeffs[3] = a;
    coeffs[4] = 0.8f * q;
}

void designVowel(const VowelTable& table, float cutoff, float q, double sampleRate, float* coeffs) {
    // The position runs over vowels 0..4 up to cutoff 127; beyond, it would leave the table.
    float position = cutoff;
    if (!(position >= 0.0f)) position = 0.0f;
    if (position > 127.0f) position = 127.0f;
    const float v = (position / 127.0f) * 3.99f;
    const int i = static_cast<int>(v);
    const float t = v - static_cast<float>(i);
    if (!(sampleRate > 0.0 && sampleRate < HUGE_VAL)) sampleRate = 44100.0;
    const float invRate = static_cast<float>(1.0 / sampleRate);
    for (int k = 0; k < 3; ++k) {
        const float freq = table.freq[k][i] * (1.0f - t) + table.freq[k][i + 1] * t;
        coeffs[2 * k] = cosF(kTwoPi * freq * invRate);
        coeffs[2 * k + 1] = table.gain[k][i] * (1.0f - t) + table.gain[k][i + 1] * t;
    }
    coeffs[6] = q;  // wet amount
}

void designBiquad(unsigned type, float q, float w, float* coeffs) {
    const float theta = static_cast<float>(kTwoPi * w);
    const float c = cosF(theta), s = sinF(theta);
    const float k = type == kTameLP2 ? 8.0f : 127.0f;
    const float alpha = s / (q * k + 1.0f);
    // Gain of the peaking and shelving types: fq 0..100 is -10..+10 dB.
    const auto gainA = [q] { return powF(10.0, (q - 0.5f) * 0.5f); };
    switch (type) {
        case kLowpass2:
        case kTameLP2:
        case kRudeLP2:
            storeSection(coeffs, (1.0f - c) / 2.0f, 1.0f - c, (1.0f - c) / 2.0f, -2.0f * c, 1.0f - alpha, 1.0f + alpha);
            // The second section has no resonance of its own.
            storeSection(coeffs + 5, (1.0f - c) / 2.0f, 1.0f - c, (1.0f - c) / 2.0f, -2.0f * c, 1.0f - s, 1.0f + s);
            break;
        case kBandpass2: storeSection(coeffs, alpha, 0.0f, -alpha, -2.0f * c, 1.0f - alpha, 1.0f + alpha); break;
        case kHighpass2:
            storeSection(coeffs, (1.0f + c) / 2.0f, -(1.0f + c), (1.0f + c) / 2.0f, -2.0f * c, 1.0f - alpha,
                         1.0f + alpha);
            break;
        case kNotch2: storeSection(coeffs, 1.0f, -2.0f * c, 1.0f, -2.0f * c, 1.0f - alpha, 1.0f + alpha); break;
        case kPeak2: {
            const float A = gainA();
            storeSection(coeffs, 1.0f + alpha * A, -2.0f * c, 1.0f - alpha * A, -2.0f * c, 1.0f - alpha / A,
                         1.0f + alpha / A);
            break;
        }
        case kLowShelf: {
            const float A = gainA();
            const float beta = s * sqrtF((A * A + 1.0f) - (A - 1.0f) * (A - 1.0f));
            storeSection(coeffs, A * ((A + 1.0f) - (A - 1.0f) * c + beta), 2.0f * A * ((A - 1.0f) - (A + 1.0f) * c),
                         A * ((A + 1.0f) - (A - 1.0f) * c - beta), -2.0f * ((A - 1.0f) + (A + 1.0f) * c),
                         (A + 1.0f) + (A - 1.0f) * c - beta, (A + 1.0f) + (A - 1.0f) * c + beta);
            break;
        }
        case kHighShelf: {
            const float A = gainA();
            const float beta = s * sqrtF((A * A + 1.0f) - (A - 1.0f) * (A - 1.0f));
            storeSection(coeffs, A * ((A + 1.0f) + (A - 1.0f) * c + beta), -2.0f * A * ((A - 1.0f) + (A + 1.0f) * c),
                         A * ((A + 1.0f) + (A - 1.0f) * c - beta), 2.0f * ((A - 1.0f) - (A + 1.0f) * c),
                         (A + 1.0f) - (A - 1.0f) * c - beta, (A + 1.0f) - (A - 1.0f) * c + beta);
            break;
        }
        default: break;
    }
}

}  // namespace

void designFilter(float type, float cutoff, float resonance, float phaseInc, double sampleRate, float* coeffs) {
    if (!(type > -1.0f && type < 18.0f)) return;  // no kernel reads coefficients for these
    const unsigned n = static_cast<unsigned>(type);
    // Resonances beyond 0..100 would undamp the filters or push the comb's loop gain past 1.
    if (!(resonance >= 0.0f)) resonance = 0.0f;
    if (resonance > 100.0f) resonance = 100.0f;
    const float q = resonance * 0.01f;
    float w = phaseInc;
    if (!(w >= 0.00005f)) w = 0.00005f;

    if (n == kPhaser)
        designPhaser(q, w, coeffs);
    else if (n <= kNotch)
        designStateVariable(n, q, w, coeffs);
    else if (n == kComb) {
        // The jump flag and the write position belong to the kernel and the render loop.
        coeffs[1] = q;
        coeffs[0] = (127.0f - cutoff) * 0.1f * 45.0f + 45.0f;  // 45 samples at 127, 612 at 1
    } else if (n == kVowelF)
        designVowel(kVowelFemale, cutoff, q, sampleRate, coeffs);
    else if (n == kVowelM)
        designVowel(kVowelMale, cutoff, q, sampleRate, coeffs);
    else
        designBiquad(n, q, w, coeffs);
}

}  // namespace kvel_filters
