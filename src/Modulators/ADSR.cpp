// ADSR: the envelope generator.
#include "Modulators/ADSR.h"

namespace {
// Single precision: 0 -> 0 s, 10 -> 0.008 s, 50 -> 1 s, 100 -> 8 s.
float timeLaw(float p) {
    const float x = p / 100;
    return 8 * (x * x * x);
}
// A host or a stored state may deliver any value: a negative time would make
// a stage run backwards for ever, so times start at 0 (NaN counts as 0).
// Every other value, -0 included, passes unchanged.
float notNegative(float p) { return p >= 0 ? p : 0; }
}  // namespace

void ADSR::setEnv(float A, float D, float S, float R, double sampleRate) {
    A = notNegative(A);
    D = notNegative(D);
    R = notNegative(R);
    if (!(S == S)) S = 0;
    const float sus = S / 100;
    s = sus;
    // Zero-length stages are left at once; a running envelope keeps its place otherwise.
    const int st = stage;
    int next = st;
    if (A == 0 && next == kAttack) {
        phase = 0.0f;
        next = kDecay;
        value = 1.0f;
    }
    if (D == 0 && next == kDecay) {
        next = kSustain;
        phase = 0.0f;
        value = sus;
    }
    if (R == 0 && next == kRelease) {
        value = 0.0f;
        next = kIdle;
        phase = 0.0f;
    }
    if (next != st) stage = next;
    d = timeLaw(D);
    a = timeLaw(A);
    r = timeLaw(R);
    timefactor = float(1 / sampleRate);
}

void ADSR::startFirstStage() {
    if (a != 0.0f) {
        value = 0.0f;
        stage = kAttack;
    } else if (d != 0.0f) {
        value = 1.0f;
        stage = kDecay;
    } else {
        value = float(s);
        stage = kSustain;
    }
}

void ADSR::setGate(bool g) {
    if (!gate && g) {
        startFirstStage();
        phase = 0.0f;
    }
    if (!g) {  // also when already closed: the release restarts from the present level
        if (r == 0.0f) {
            value = 0.0f;
            stage = kIdle;
        } else {
            stage = kRelease;
            valueonrelease = float(value);
            phase = 0.0f;
        }
    }
    gate = g;
}

void ADSR::reset() {
    startFirstStage();
    phase = 0.0f;
}

double ADSR::proceed(long samples) {
    float v = value;
    float p = phase;
    const int st = stage;
    int next = st;
    switch (st) {
        case kAttack: {
            const float x = p / a;
            if (x < 1) {
                v = 1 - (1 - x) * (1 - x);
            } else {
                v = 1.0f;
                next = d == 0.0f ? kSustain : kDecay;
                p = 0.0f;
            }
            break;
        }
        case kDecay: {
            const float x = p / d;
            const float sus = s;
            if (x < 1) {
                v = sus + (1 - sus) * ((1 - x) * (1 - x));
            } else {
                v = sus;
                next = kSustain;  // the phase keeps running
            }
            break;
        }
        case kSustain: v = s; break;
        case kRelease: {
            const float x = p / r;
            if (x < 1) {
                v = valueonrelease * ((1 - x) * (1 - x));
            } else {
                v = 0.0f;
                next = kIdle;
            }
            break;
        }
        default: v = 0.0f; break;
    }
    p = p + float(samples) * timefactor;
    value = v;
    phase = p;
    if (next != st) stage = next;
    return v;
}
