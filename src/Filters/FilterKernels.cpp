// The filter kernels: state-variable, biquad, phaser, vowel and comb filters on one block.
#include "Filters/FilterKernels.h"

#include <cmath>

namespace kvel_filters {
namespace {

// Runs tick over the block four samples at a time, then the remaining zero to three. tick keeps
// the filter's memory in the caller's locals, so the result equals sample-by-sample processing.
template <class Tick>
inline void processBlock(float* buffer, int count, Tick&& tick) {
    int i = 0;
    for (; count - i >= 4; i += 4) {
        buffer[i] = tick(buffer[i]);
        buffer[i + 1] = tick(buffer[i + 1]);
        buffer[i + 2] = tick(buffer[i + 2]);
        buffer[i + 3] = tick(buffer[i + 3]);
    }
    for (; i < count; ++i) buffer[i] = tick(buffer[i]);
}

// Soft saturation of the lowpass biquads; k sets how early it bends.
inline float saturate(float v, float k) { return v - k * std::fabs(v) * v; }

// ---- State-variable family -------------------------------------------------------------------

enum class SvfOutput { Low, Band, High, Notch };

// Two passes per sample, the second fed half the first's output: twice oversampled, so the
// filter stays stable for every f the design allows (below 0.25). Notch is high + low.
template <SvfOutput kOutput>
inline void svf(float* buffer, int count, const float* coeffs, float* state) {
    const float f = coeffs[0], q = coeffs[1];
    float low = state[0], band = state[1];
    auto pass = [&](float u) {
        low = low + f * band;
        const float high = u - q * band - low;
        band = band + f * high;
        if constexpr (kOutput == SvfOutput::Low)
            return low;
        else if constexpr (kOutput == SvfOutput::Band)
            return band;
        else if constexpr (kOutput == SvfOutput::High)
            return high;
        else
            return high + low;
    };
    processBlock(buffer, count, [&](float x) {
        const float h = 0.5f * pass(x);
        return h + 0.5f * pass(h);
    });
    state[0] = low;
    state[1] = band;
}

// ---- Biquads ----------------------------------------------------------------------------------

struct BiquadCoeffs {
    float b0, b1, b2, a1, a2;
    static BiquadCoeffs load(const float* c) { return {c[0], c[1], c[2], c[3], c[4]}; }
};

// Direct form I history: the previous two inputs and outputs.
struct Section {
    float x1, x2, y1, y2;
    static Section load(const float* s) { return {s[0], s[1], s[2], s[3]}; }
    void store(float* s) const {
        s[0] = x1;
        s[1] = x2;
        s[2] = y1;
        s[3] = y2;
    }
    float out(const BiquadCoeffs& c, float x) const { return c.b0 * x + c.b1 * x1 + c.b2 * x2 - c.a1 * y1 - c.a2 * y2; }
    void push(float x, float y) {
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
    }
};

// Two-section lowpasses: coefficients 0..4 first section, 5..9 second; state 0..3 second
// section, 4..7 first section. step(first, second, c1, c2, x) returns the output sample.
template <class Step>
inline void twoSections(float* buffer, int count, const float* coeffs, float* state, Step step) {
    const BiquadCoeffs c1 = BiquadCoeffs::load(coeffs), c2 = BiquadCoeffs::load(coeffs + 5);
    Section second = Section::load(state), first = Section::load(state + 4);
    processBlock(buffer, count, [&](float x) { return step(first, second, c1, c2, x); });
    second.store(state);
    first.store(state + 4);
}

// ---- Vowel resonators -------------------------------------------------------------------------

// Two-pole resonator of pole radius r (zeros near DC and Nyquist); twoRc = 2r * tuning.
struct Resonator {
    float x1, x2, y1, y2;
    static Resonator load(const float* s) { return {s[0], s[1], s[2], s[3]}; }
    void store(float* s) const {
        s[0] = x1;
        s[1] = x2;
        s[2] = y1;
        s[3] = y2;
    }
    float tick(float u, float r, float twoRc, float rSquared) {
        const float y = u - r * x2 + twoRc * y1 - rSquared * y2;
        x2 = x1;
        x1 = u;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// Pole radii of the three formants and the derived constants, as single-precision literals.
constexpr float kR1 = 0.99f, kR2 = 0.98f, kR3 = 0.96f;
constexpr float kTwoR1 = 1.98f, kTwoR2 = 1.96f, kTwoR3 = 1.92f;
constexpr float kRSq1 = 0.9801f, kRSq2 = 0.9604f, kRSq3 = 0.9216f;

// Parallel (f) or serial (m) formant bank; wetScale compensates the different gains of the two.
template <bool kSerial>
inline void vowel(float* buffer, int count, const float* coeffs, float* state, float wetScale) {
    const float twoRc1 = kTwoR1 * coeffs[0], g1 = coeffs[1];
    const float twoRc2 = kTwoR2 * coeffs[2], g2 = coeffs[3];
    const float twoRc3 = kTwoR3 * coeffs[4], g3 = coeffs[5];
    const float wet = coeffs[6];
    const float dry = 1.0f - wet, wetGain = wet * wetScale;
    Resonator r1 = Resonator::load(state), r2 = Resonator::load(state + 4), r3 = Resonator::load(state + 8);
    processBlock(buffer, count, [&](float x) {
        const float y1 = r1.tick(x, kR1, twoRc1, kRSq1);
        const float y2 = r2.tick(kSerial ? y1 : x, kR2, twoRc2, kRSq2);
        const float y3 = r3.tick(kSerial ? y2 : x, kR3, twoRc3, kRSq3);
        return x * dry + wetGain * (g1 * y1 + g2 * y2 + g3 * y3);
    });
    r1.store(state);
    r2.store(state + 4);
    r3.store(state + 8);
}

// ---- Comb -------------------------------------------------------------------------------------

constexpr unsigned kCombMask = kCombLineLength - 1;

// Truncation toward zero that is defined for every float: values beyond the int range and NaN
// saturate (their read position is meaningless anyway); every |v| < 2^31 is exact.
inline int truncToInt(float v) {
    constexpr float kLimit = 2147483520.0f;  // the largest float below 2^31
    if (!(v < kLimit)) v = kLimit;
    if (v < -kLimit) v = -kLimit;
    return static_cast<int>(v);
}

}  // namespace

void foo(float*, int, float*, float*, void*) {}

void SVF_Low(float* buffer, int count, float* coeffs, float* state, void*) {
    svf<SvfOutput::Low>(buffer, count, coeffs, state);
}

void SVF_Band(float* buffer, int count, float* coeffs, float* state, void*) {
    svf<SvfOutput::Band>(buffer, count, coeffs, state);
}

void SVF_High(float* buffer, int count, float* coeffs, float* state, void*) {
    svf<SvfOutput::High>(buffer, count, coeffs, state);
}

void SVF_Notch(float* buffer, int count, float* coeffs, float* state, void*) {
    svf<SvfOutput::Notch>(buffer, count, coeffs, state);
}

// Coefficients: 0 target delay (samples), 1 feedback, the jump flag and the write position.
// State: 0 current delay, 1 loop value, 2 the delay's step per sample (combGlide, combPart).
// context: the delay line.
namespace {

// The delay at the start of a block of count samples and its step per sample: a glide from the
// current delay to the target over the block. False if there is nothing to run.
bool combGlideOver(int count, float* coeffs, float* state, float& d, float& step) {
    const float target = coeffs[0];
    if (coeffs[kCombJumpFlag] == 0.0f) {
        if (count <= 0) return false;  // no block to glide over
        d = state[0];
        step = (target - d) / static_cast<float>(count);
        return true;
    }
    // A note start: sit on the target at once instead of sweeping from the old delay.
    d = target;
    step = 0.0f;
    coeffs[kCombJumpFlag] = 0.0f;
    if (count > 0) return true;
    state[0] = d;
    return false;
}

// count samples of the glide that starts at delay d.
void combRun(float* buffer, int count, float* coeffs, float* state, float* line, float d, float step) {
    const float feedback = coeffs[1];
    // After a biquad type this slot holds a filter coefficient (about -1.99) or anything else;
    // only its truncated value on the line is meaningful, and non-finite values start at 0.
    const float storedPos = coeffs[kCombWritePosition];
    unsigned w = (storedPos > -2147483648.0f && storedPos < 2147483648.0f)
                     ? static_cast<unsigned>(static_cast<int>(storedPos)) & kCombMask
                     : 0u;
    float m = state[1];

    processBlock(buffer, count, [&](float x) {
        d = d + step;
        const int whole = truncToInt(d);
        // Unsigned so that any delay wraps onto the line without signed overflow.
        const unsigned i = (w - static_cast<unsigned>(whole)) & kCombMask;
        const float t = d - static_cast<float>(whole);
        const float p0 = line[i];
        const float p1 = line[(i + 1) & kCombMask];
        const float p2 = line[(i + 2) & kCombMask];
        const float p3 = line[(i + 3) & kCombMask];
        // Catmull-Rom between p1 and p2; t moves the tap towards newer samples.
        const float c1 = 0.5f * (p2 - p0);
        const float c2 = p0 - 2.5f * p1 + 2.0f * p2 - 0.5f * p3;
        const float c3 = 1.5f * (p1 - p2) + 0.5f * (p3 - p0);
        const float v = ((c3 * t + c2) * t + c1) * t + p1;
        m = 0.5f * m + 0.5f * v;  // damps the loop's highs
        const float y = x + feedback * m;
        line[w] = y;
        w = (w + 1) & kCombMask;
        return y;
    });

    state[0] = d;
    state[1] = m;
    coeffs[kCombWritePosition] = static_cast<float>(w);
}

}  // namespace

void comb2048(float* buffer, int count, float* coeffs, float* state, void* context) {
    float d, step;
    if (combGlideOver(count, coeffs, state, d, step))
        combRun(buffer, count, coeffs, state, static_cast<float*>(context), d, step);
}

void combGlide(float* coeffs, float* state, int count) {
    float d, step;
    if (!combGlideOver(count, coeffs, state, d, step)) return;
    state[0] = d;
    state[2] = step;
}

void combPart(float* buffer, int count, float* coeffs, float* state, void* context) {
    combRun(buffer, count, coeffs, state, static_cast<float*>(context), state[0], state[2]);
}

// First section saturated inside its own loop, second section clean.
void Biquad_Low(float* buffer, int count, float* coeffs, float* state, void*) {
    constexpr float k = 0.0001f;
    twoSections(buffer, count, coeffs, state,
                [](Section& first, Section& second, const BiquadCoeffs& c1, const BiquadCoeffs& c2, float x) {
                    const float y = saturate(first.out(c1, x), k);
                    first.push(x, y);
                    const float z = second.out(c2, y);
                    second.push(y, z);
                    return z;
                });
}

// Second section saturated inside its loop: the resonance is tamed at high levels.
void Biquad_Low_t(float* buffer, int count, float* coeffs, float* state, void*) {
    constexpr float k = 0.01f;
    twoSections(buffer, count, coeffs, state,
                [](Section& first, Section& second, const BiquadCoeffs& c1, const BiquadCoeffs& c2, float x) {
                    const float y = first.out(c1, x);
                    first.push(x, y);
                    const float z = saturate(second.out(c2, y), k);
                    second.push(y, z);
                    return z;
                });
}

// Only the direct term of the second section is saturated, hard; its history stays clean.
void Biquad_Low_r(float* buffer, int count, float* coeffs, float* state, void*) {
    constexpr float k = 0.3f;
    twoSections(buffer, count, coeffs, state,
                [](Section& first, Section& second, const BiquadCoeffs& c1, const BiquadCoeffs& c2, float x) {
                    const float y = first.out(c1, x);
                    first.push(x, y);
                    const float z = c2.b0 * saturate(y, k) + c2.b1 * second.x1 + c2.b2 * second.x2 - c2.a1 * second.y1 -
                                    c2.a2 * second.y2;
                    second.push(y, z);
                    return z;
                });
}

void Biquad(float* buffer, int count, float* coeffs, float* state, void*) {
    const BiquadCoeffs c = BiquadCoeffs::load(coeffs);
    Section s = Section::load(state);
    processBlock(buffer, count, [&](float x) {
        const float y = s.out(c, x);
        s.push(x, y);
        return y;
    });
    s.store(state);
}

// Coefficients: 0 allpass coefficient a, 4 feedback k. State: 0 stage-1 input, 1..7 stage
// outputs, 8..14 stage inputs of the last sample.
void Phaser7(float* buffer, int count, float* coeffs, float* state, void*) {
    const float a = coeffs[0], k = coeffs[4];
    float input1 = state[0];
    float y[7], u[7];
    for (int n = 0; n < 7; ++n) {
        y[n] = state[1 + n];
        u[n] = state[8 + n];
    }
    processBlock(buffer, count, [&](float x) {
        float in = x + k * y[6];
        input1 = in;
        for (int n = 0; n < 7; ++n) {
            const float out = a * (in - y[n]) + u[n];
            u[n] = in;
            y[n] = out;
            in = out;
        }
        return (x + y[6]) * 0.5f;
    });
    state[0] = input1;
    for (int n = 0; n < 7; ++n) {
        state[1 + n] = y[n];
        state[8 + n] = u[n];
    }
}

void Vowel_f(float* buffer, int count, float* coeffs, float* state, void*) {
    vowel<false>(buffer, count, coeffs, state, 0.12f);
}

void Vowel_m(float* buffer, int count, float* coeffs, float* state, void*) {
    vowel<true>(buffer, count, coeffs, state, 0.03f);
}

FilterKernel kernelForType(int type) {
    switch (type) {
        case kOff: return foo;
        case kLowpass: return SVF_Low;
        case kBandpass: return SVF_Band;
        case kHighpass: return SVF_High;
        case kNotch: return SVF_Notch;
        case kComb: return comb2048;
        case kLowpass2: return Biquad_Low;
        case kTameLP2: return Biquad_Low_t;
        case kRudeLP2: return Biquad_Low_r;
        case kBandpass2:
        case kHighpass2:
        case kNotch2:
        case kPeak2:
        case kLowShelf:
        case kHighShelf: return Biquad;
        case kPhaser: return Phaser7;
        case kVowelF: return Vowel_f;
        case kVowelM: return Vowel_m;
        default: return foo;
    }
}

}  // namespace kvel_filters
