// Filter responses by their meaning: each type's gain at and around its cutoff, measured
// with probe sines through the designed coefficients and the type's kernel.
#include "Filters/FilterDesign.h"
#include "Filters/FilterKernels.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <vector>

using namespace kvel_filters;

namespace {

constexpr double kRate = 44100.0;
constexpr double kCutoffHz = 1000.0;

struct Slot {
    float coeffs[16] = {};
    float state[16] = {};
    std::array<float, 2048> line{};
};

Slot designed(int type, float cutoff, float resonance) {
    Slot slot;
    designFilter(float(type), cutoff, resonance, float(kCutoffHz / kRate), kRate, slot.coeffs);
    if (type == kComb) slot.coeffs[kCombJumpFlag] = 1.0f;  // the comb starts on its delay, as at a note
    return slot;
}

// Gain at `hz`: the sine's component in the output over the input's, once the filter has settled,
// in blocks as the engine runs it. A quiet probe keeps the saturating lowpasses linear.
double gainAt(int type, float cutoff, float resonance, double hz) {
    Slot slot = designed(type, cutoff, resonance);
    constexpr int kTotal = 16384, kSettle = 8192, kBlock = 256;
    std::vector<float> x(kTotal);
    const double w = 2.0 * M_PI * hz / kRate;
    for (int i = 0; i < kTotal; ++i) x[i] = float(0.25 * std::sin(w * i));
    const std::vector<float> in = x;
    for (int start = 0; start < kTotal; start += kBlock)
        kernelForType(type)(x.data() + start, kBlock, slot.coeffs, slot.state, slot.line.data());
    std::complex<double> ySum, xSum;
    for (int i = kSettle; i < kTotal; ++i) {
        const std::complex<double> e = std::polar(1.0, -w * i);
        ySum += double(x[i]) * e;
        xSum += double(in[i]) * e;
    }
    return std::abs(ySum) / std::abs(xSum);
}

struct Probe {
    double hz;
    double low, high;  // the gain lies in [low, high]
};

struct Response {
    const char* name;
    int type;
    float cutoff, resonance;
    std::vector<Probe> probes;
};

constexpr double kBoost = 3.1623;  // +10 dB, the peak's and shelves' gain at full resonance
constexpr double kCut = 1.0 / kBoost;

// Probes at the cutoff (1000 Hz) and up to three octaves off it.
const Response kResponses[] = {
    {"pass-through", 0, 60, 100, {{125, 1, 1}, {1000, 1, 1}, {8000, 1, 1}}},
    // Two passes per sample, the first halved: a passband of about 0.65.
    {"SVF lowpass",
     1,
     60,
     0,
     {{125, 0.55, 0.75}, {250, 0.5, 0.7}, {1000, 0.2, 0.3}, {4000, 0, 0.05}, {8000, 0, 0.015}}},
    {"SVF bandpass", 2, 60, 0, {{125, 0, 0.1}, {1000, 0.25, 0.35}, {8000, 0, 0.1}}},
    {"SVF highpass",
     3,
     60,
     0,
     {{125, 0, 0.015}, {250, 0, 0.05}, {1000, 0.25, 0.35}, {4000, 0.6, 0.8}, {8000, 0.7, 0.9}}},
    {"SVF notch", 4, 60, 0, {{125, 0.6, 0.85}, {1000, 0, 0.03}, {8000, 0.65, 0.9}}},
    // Resonance lifts the cutoff by an amount of each type's own.
    {"SVF lowpass, resonant", 1, 60, 80, {{125, 0.6, 0.75}, {1000, 1.6, 2.0}, {2000, 0.13, 0.18}}},
    {"SVF bandpass, resonant", 2, 60, 80, {{500, 0.3, 0.37}, {1000, 2.8, 3.4}, {2000, 0.3, 0.37}}},
    {"SVF highpass, resonant", 3, 60, 80, {{500, 0.16, 0.21}, {1000, 1.9, 2.3}, {8000, 0.7, 0.85}}},
    // Delay 45 samples at cutoff 127: teeth at multiples of 980 Hz, troughs between them.
    {"comb, dry", 5, 127, 0, {{490, 0.99, 1.01}, {980, 0.99, 1.01}}},
    {"comb", 5, 127, 80, {{490, 0.45, 0.7}, {980, 4, 5.5}, {1470, 0.45, 0.7}, {1960, 2, 5.5}}},
    // Two sections of Q 0.5 each without resonance: a quarter at the cutoff.
    {"biquad lowpass", 6, 60, 0, {{125, 0.95, 1.02}, {1000, 0.23, 0.27}, {4000, 0, 0.01}}},
    {"biquad lowpass, tame", 7, 60, 0, {{125, 0.8, 0.95}, {1000, 0.23, 0.27}, {4000, 0, 0.01}}},
    {"biquad lowpass, resonant", 8, 60, 100, {{125, 0.95, 1.1}, {1000, 4, 5.5}, {4000, 0, 0.01}}},
    {"biquad lowpass, resonant at 80", 6, 60, 80, {{500, 1.0, 1.1}, {1000, 12, 15}, {2000, 0.05, 0.08}}},
    {"biquad lowpass, tame at 80", 7, 60, 80, {{500, 0.95, 1.02}, {1000, 1.6, 2.0}, {2000, 0.05, 0.08}}},
    {"biquad bandpass", 9, 60, 0, {{125, 0.2, 0.28}, {1000, 0.99, 1.01}, {8000, 0.18, 0.26}}},
    {"biquad highpass", 10, 60, 0, {{125, 0, 0.03}, {1000, 0.48, 0.52}, {8000, 0.95, 1.02}}},
    {"biquad bandpass, narrow", 9, 60, 80, {{500, 0, 0.02}, {1000, 0.99, 1.01}, {2000, 0, 0.02}}},
    {"biquad highpass, resonant", 10, 60, 80, {{500, 0.3, 0.37}, {1000, 45, 58}, {8000, 0.99, 1.03}}},
    {"biquad notch", 11, 60, 0, {{125, 0.9, 1.02}, {1000, 0, 0.01}, {8000, 0.9, 1.02}}},
    {"peak, boost", 12, 60, 100, {{125, 0.97, 1.1}, {1000, kBoost * 0.97, kBoost * 1.03}, {8000, 0.97, 1.1}}},
    {"peak, cut", 12, 60, 0, {{125, 0.88, 1.0}, {1000, kCut * 0.97, kCut * 1.03}, {8000, 0.88, 1.0}}},
    // A shelf is halfway (in dB) at its cutoff.
    {"low shelf, boost", 13, 60, 100, {{125, kBoost * 0.97, kBoost * 1.03}, {1000, 1.6, 2.0}, {8000, 0.97, 1.03}}},
    {"low shelf, cut", 13, 60, 0, {{125, kCut * 0.97, kCut * 1.03}, {1000, 0.5, 0.62}, {8000, 0.97, 1.03}}},
    {"high shelf, boost", 14, 60, 100, {{125, 0.97, 1.03}, {1000, 1.6, 2.0}, {8000, kBoost * 0.97, kBoost * 1.03}}},
    {"high shelf, cut", 14, 60, 0, {{125, 0.97, 1.03}, {1000, 0.5, 0.62}, {8000, kCut * 0.97, kCut * 1.03}}},
    // Seven allpass stages mixed with the dry signal: notches where the phase turns by odd
    // half-turns, the dry level between them.
    {"phaser", 15, 60, 0, {{238, 0, 0.1}, {466, 0.9, 1.0}, {2220, 0, 0.05}, {4337, 0.95, 1.02}}},
    {"phaser, fed back", 15, 60, 100, {{238, 0.2, 0.25}, {466, 1.05, 1.17}, {2220, 0.2, 0.25}, {4337, 1.48, 1.65}}},
    // Vowel "a" (cutoff 0), fully wet: formants near 800 and 1150 Hz stand out, the ends fall away.
    {"female vowel, dry", 16, 0, 0, {{125, 1, 1}, {1000, 1, 1}}},
    {"female vowel", 16, 0, 100, {{50, 0.1, 0.16}, {800, 4.5, 7.5}, {1137, 2.5, 3.5}, {16000, 0, 0.07}}},
    {"male vowel", 17, 0, 100, {{50, 0.06, 0.1}, {600, 20, 35}, {1137, 35, 45}, {16000, 0, 0.01}}},
};

}  // namespace

TEST(FilterResponse, EachTypeShapesTheSpectrumAroundItsCutoff) {
    for (const Response& r : kResponses)
        for (const Probe& p : r.probes) {
            const double g = gainAt(r.type, r.cutoff, r.resonance, p.hz);
            EXPECT_GE(g, p.low) << r.name << " at " << p.hz << " Hz";
            EXPECT_LE(g, p.high) << r.name << " at " << p.hz << " Hz";
        }
}
