// VelmoraAU: the table oscillators "saw o/e", "digiwave" and "pwm". Truncated
// phases, no interpolation; band-limited by choosing and crossfading levels.
#include "Velmora/VelmoraAU.h"

namespace {

constexpr int kMask = VelmoraAU::kTableSize - 1;

// The two harmonic levels to read for an increment and the weight x of the
// lower one (the one with more harmonics gets 1 - x).
struct LevelChoice {
    int lo, hi;
    float x;
};

LevelChoice chooseLevels(float inc, const float* bandLimits) {
    if (inc < bandLimits[9]) return {9, 9, 0.0f};
    int i = 8;
    while (i > 0 && !(inc <= bandLimits[i])) --i;
    if (i == 0 && inc > bandLimits[0]) return {0, 1, 1.0f};  // above every threshold: level 0 alone
    return {i, i + 1, (inc - bandLimits[i + 1]) / (bandLimits[i] - bandLimits[i + 1])};
}

// Subtracts the whole multiples of the table length, keeping the fraction.
inline float wrapPhase(float phase) { return phase - float(int(phase) & 0x7FFFF000); }

}  // namespace

void VelmoraAU::setOscillator(int osc, int wave, float note, float shape1, float shape2) {
    switch (wave) {
        case 1: {
            sineInc[osc] = noteToPhaseInc(note) * 4096;
            oddInc[osc] = noteToPhaseInc(float(note + shape1 * 0.01)) * 4096;
            evenInc[osc] = noteToPhaseInc(float(note - shape1 * 0.01)) * 4096;
            const float g = float(shape2 * 0.02);
            oddGain[osc] = g;
            evenGain[osc] = float(2.0 - g);
            break;
        }
        case 2: {
            sineInc[osc] = noteToPhaseInc(note) * 4096;
            const float b = float(shape2 * 0.02);
            oddGain[osc] = float(b * (shape1 * 0.02));
            evenGain[osc] = float((2.0 - b) * (shape1 * 0.02));
            break;
        }
        case 3: {
            sineInc[osc] = noteToPhaseInc(note) * 4096;
            const float w = float(shape2 * 0.01);
            oddGain[osc] = w;
            evenGain[osc] = float(1.0 - w);
            break;
        }
        default:
            break;
    }
}

void VelmoraAU::processVoice(float* out, int frames, int osc) {
    const LevelChoice level = chooseLevels(sineInc[osc], bandLimits);
    const float* oddLo = oddTables + level.lo * kTableSize;
    const float* oddHi = oddTables + level.hi * kTableSize;
    const float* evenLo = evenTables + level.lo * kTableSize;
    const float* evenHi = evenTables + level.hi * kTableSize;
    const float* sine = wavetable;
    const float ox = oddGain[osc] * level.x, ox1 = oddGain[osc] * (1 - level.x);
    const float ex = evenGain[osc] * level.x, ex1 = evenGain[osc] * (1 - level.x);
    const float sInc = sineInc[osc], oInc = oddInc[osc], eInc = evenInc[osc];
    const float sInc4 = 4 * sInc, oInc4 = 4 * oInc, eInc4 = 4 * eInc;
    // Inside a group of four the readers step by the integer part of their increment.
    const int sD = int(4 * sInc) / 4, oD = int(4 * oInc) / 4, eD = int(4 * eInc) / 4;
    float sPhase = sinePhase[osc], oPhase = oddPhase[osc], ePhase = evenPhase[osc];

    auto sample = [&](int js, int jo, int je) {
        return sine[js] + oddLo[jo] * ox + oddHi[jo] * ox1 + evenLo[je] * ex + evenHi[je] * ex1;
    };
    int i = 0;
    for (; i + 4 <= frames; i += 4) {
        const int js = int(sPhase) & kMask, jo = int(oPhase) & kMask, je = int(ePhase) & kMask;
        sPhase += sInc4;
        oPhase += oInc4;
        ePhase += eInc4;
        out[i] = sample(js, jo, je);
        out[i + 1] = sample((js + sD) & kMask, (jo + oD) & kMask, (je + eD) & kMask);
        out[i + 2] = sample((js + 2 * sD) & kMask, (jo + 2 * oD) & kMask, (je + 2 * eD) & kMask);
        out[i + 3] = sample((js + 3 * sD) & kMask, (jo + 3 * oD) & kMask, (je + 3 * eD) & kMask);
    }
    for (; i < frames; ++i) {
        const int js = int(sPhase) & kMask, jo = int(oPhase) & kMask, je = int(ePhase) & kMask;
        sPhase += sInc;
        oPhase += oInc;
        ePhase += eInc;
        out[i] = sample(js, jo, je);
    }
    sinePhase[osc] = wrapPhase(sPhase);
    oddPhase[osc] = wrapPhase(oPhase);
    evenPhase[osc] = wrapPhase(ePhase);
}

void VelmoraAU::processPD1(float* out, int frames, int osc) {
    const float* odd0 = oddTables;
    const float* even0 = evenTables;
    const float og = oddGain[osc], eg = evenGain[osc], inc = sineInc[osc];
    float theta = sinePhase[osc];
    for (int i = 0; i < frames; ++i) {
        const int j = int(2 * theta) & kMask;
        const float m = odd0[j] * og + even0[j] * eg;
        const float p = m * 4096 + theta;
        theta += inc;
        out[i] = wavetable[int(p) & kMask];
    }
    sinePhase[osc] = wrapPhase(theta);
}

void VelmoraAU::processPWM(float* out, int frames, int osc) {
    const LevelChoice level = chooseLevels(sineInc[osc], bandLimits);
    const float* lo = pwmTables + level.lo * kTableSize;
    const float* hi = pwmTables + level.hi * kTableSize;
    const float x = level.x, x1 = 1 - level.x;
    const float inc = sineInc[osc];
    float phase = sinePhase[osc];
    float a = phase + oddGain[osc] * 2048;
    float b = phase + 2048 + evenGain[osc] * 2048;
    for (int i = 0; i < frames; ++i) {
        const int ja = int(a) & kMask, jb = int(b) & kMask;
        phase += inc;
        a += inc;
        b += inc;
        out[i] = (lo[ja] * x + hi[ja] * x1) - (lo[jb] * x + hi[jb] * x1);
    }
    sinePhase[osc] = wrapPhase(phase);
    oddPhase[osc] = wrapPhase(a);
    evenPhase[osc] = wrapPhase(b);
}
