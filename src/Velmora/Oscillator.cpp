// Oscillator: the table oscillators "saw o/e", "digiwave" and "pwm".
#include "Velmora/Oscillator.h"

#include <cstdlib>

#include "Platform/BitCast.h"
#include "Platform/Float4.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VELMORA_SIMD_PATHS 1
#endif

namespace {

constexpr int kSize = OscillatorTables::kSize;
constexpr int kMask = kSize - 1;
// "pwm" reads its second saw half a cycle on, and its width moves each reader up to half a
// cycle more.
constexpr int kHalfCycle = kSize / 2;

// Some loops below have faster versions for newer processors, chosen once per process:
// they do each sample's arithmetic as the baseline code does, lane by lane (no FMA, same
// order), and read the same table entries, so every version gives the same bits.
// VELMORA_NO_SIMD=1 in the environment keeps the baseline code (the tests run both).
#ifdef VELMORA_SIMD_PATHS
bool simdAllowed() {
    const char* off = std::getenv("VELMORA_NO_SIMD");
    return !(off && *off && *off != '0');
}
const bool gAvx2 = [] {
    __builtin_cpu_init();
    return simdAllowed() && __builtin_cpu_supports("avx2");
}();
#endif

// Subtracts the whole multiples of the table length, keeping the fraction.
inline float wrapPhase(float phase) { return phase - float(int(phase) & 0x7FFFF000); }

}  // namespace

Oscillator::Levels Oscillator::levelsFor(const OscillatorTables& tables) {
    const float inc = sineInc;
    const float* limits = tables.bandLimits;
    if (levelsLimits == limits && levelsInc == BitCast<UInt32>(inc)) return levels;
    levelsLimits = limits;
    levelsInc = BitCast<UInt32>(inc);
    int i = 8;
    while (i > 0 && !(inc <= limits[i])) --i;
    if (inc < limits[9])
        levels = {9, 9, 0.0f};
    else if (i == 0 && inc > limits[0])
        levels = {0, 1, 1.0f};  // above every threshold: level 0 alone
    else
        levels = {i, i + 1, (inc - limits[i + 1]) / (limits[i] - limits[i + 1])};
    return levels;
}

bool Oscillator::playsLike(const Oscillator& other) const {
    const float mine[8] = {sineInc, oddInc, evenInc, oddGain, evenGain, sinePhase, oddPhase, evenPhase};
    const float theirs[8] = {other.sineInc,  other.oddInc,    other.evenInc,  other.oddGain,
                             other.evenGain, other.sinePhase, other.oddPhase, other.evenPhase};
    UInt32 differs = 0;
    for (int i = 0; i < 8; ++i) differs |= BitCast<UInt32>(mine[i]) ^ BitCast<UInt32>(theirs[i]);
    return differs == 0;
}

namespace {

// What the "saw o/e" loop reads, fixed for one call: the sine, the odd and even
// harmonic levels on either side of the increment and their weights.
struct VoiceTables {
    const float *sine, *oddLo, *oddHi, *evenLo, *evenHi;
    float ox, ox1, ex, ex1;
};

inline float voiceSample(const VoiceTables& t, int js, int jo, int je) {
    return t.sine[js] + t.oddLo[jo] * t.ox + t.oddHi[jo] * t.ox1 + t.evenLo[je] * t.ex + t.evenHi[je] * t.ex1;
}

// Four samples side by side, each lane summed in voiceSample's order: the table reads stay
// one by one, the products and sums take one instruction for four samples.
inline Float4 voiceSamples(const VoiceTables& t, const int* js, const int* jo, const int* je) {
    return Float4::gather(t.sine, js) + Float4::gather(t.oddLo, jo) * Float4::splat(t.ox) +
           Float4::gather(t.oddHi, jo) * Float4::splat(t.ox1) + Float4::gather(t.evenLo, je) * Float4::splat(t.ex) +
           Float4::gather(t.evenHi, je) * Float4::splat(t.ex1);
}

// The three readers of "saw o/e" (sine, odd, even). Inside a group of four samples
// each steps by the integer part of its increment from the group's first index.
struct VoiceReaders {
    float phase[3], inc[3], inc4[3];
    int step[3];
};

// Groups of four from out[0] while at least four frames remain; returns the frames done.
int voiceGroups(const VoiceTables& t, VoiceReaders& r, float* out, int frames) {
    const int sD = r.step[0], oD = r.step[1], eD = r.step[2];
    int i = 0;
    for (; i + 4 <= frames; i += 4) {
        const int js = int(r.phase[0]) & kMask, jo = int(r.phase[1]) & kMask, je = int(r.phase[2]) & kMask;
        r.phase[0] += r.inc4[0];
        r.phase[1] += r.inc4[1];
        r.phase[2] += r.inc4[2];
        const int s4[4] = {js, (js + sD) & kMask, (js + 2 * sD) & kMask, (js + 3 * sD) & kMask};
        const int o4[4] = {jo, (jo + oD) & kMask, (jo + 2 * oD) & kMask, (jo + 3 * oD) & kMask};
        const int e4[4] = {je, (je + eD) & kMask, (je + 2 * eD) & kMask, (je + 3 * eD) & kMask};
        voiceSamples(t, s4, o4, e4).store(out + i);
    }
    return i;
}

// The same when the three readers move together (equal phases and increments, as with no
// detune): one index per sample serves all five tables.
int voiceGroupsTogether(const VoiceTables& t, VoiceReaders& r, float* out, int frames) {
    const int d = r.step[0];
    float phase = r.phase[0];
    const float inc4 = r.inc4[0];
    int i = 0;
    for (; i + 4 <= frames; i += 4) {
        const int j = int(phase) & kMask;
        phase += inc4;
        const int j4[4] = {j, (j + d) & kMask, (j + 2 * d) & kMask, (j + 3 * d) & kMask};
        voiceSamples(t, j4, j4, j4).store(out + i);
    }
    r.phase[0] = r.phase[1] = r.phase[2] = phase;
    return i;
}

// "digiwave": the sine read at the phase moved by the first odd and even level.
inline float pd1Sample(const float* odd0, const float* even0, const float* sine, float og, float eg, float theta) {
    const int j = int(2 * theta) & kMask;
    const float m = odd0[j] * og + even0[j] * eg;
    const float p = m * kSize + theta;
    return sine[int(p) & kMask];
}

// "pwm": the difference of two readers of one band-limited level pair.
inline float pwmSample(const float* lo, const float* hi, float x, float x1, float a, float b) {
    const int ja = int(a) & kMask, jb = int(b) & kMask;
    return (lo[ja] * x + hi[ja] * x1) - (lo[jb] * x + hi[jb] * x1);
}

#ifdef VELMORA_SIMD_PATHS
#define VELMORA_AVX2 __attribute__((target("avx2")))

// The phases of one call are a serial chain of float additions: the AVX2 "digiwave" runs
// that chain first, into a slice-sized array, then reads eight samples at a time with
// gathers. ("saw o/e" and "pwm" read their four samples' entries one by one into a
// Float4 instead: gathers and permuted window loads measured slower for them.)
constexpr int kChunk = 64;  // a slice

VELMORA_AVX2 inline __m256i indices(__m256 phase) {
    return _mm256_and_si256(_mm256_cvttps_epi32(phase), _mm256_set1_epi32(kMask));
}

VELMORA_AVX2 void pd1Avx2(float* out, int frames, const float* odd0, const float* even0, const float* sine, float og,
                          float eg, float inc, float& theta) {
    alignas(32) float phases[kChunk];
    const __m256 vog = _mm256_set1_ps(og), veg = _mm256_set1_ps(eg);
    const __m256 two = _mm256_set1_ps(2.0f), scale = _mm256_set1_ps(float(kSize));
    for (int start = 0; start < frames; start += kChunk) {
        const int n = frames - start < kChunk ? frames - start : kChunk;
        for (int i = 0; i < n; ++i) {
            phases[i] = theta;
            theta += inc;
        }
        int i = 0;
        for (; i + 8 <= n; i += 8) {
            const __m256 th = _mm256_load_ps(phases + i);
            const __m256i j = indices(_mm256_mul_ps(two, th));
            const __m256 m = _mm256_add_ps(_mm256_mul_ps(_mm256_i32gather_ps(odd0, j, 4), vog),
                                           _mm256_mul_ps(_mm256_i32gather_ps(even0, j, 4), veg));
            const __m256 p = _mm256_add_ps(_mm256_mul_ps(m, scale), th);
            _mm256_storeu_ps(out + start + i, _mm256_i32gather_ps(sine, indices(p), 4));
        }
        for (; i < n; ++i) out[start + i] = pd1Sample(odd0, even0, sine, og, eg, phases[i]);
    }
}

#endif

}  // namespace

void Oscillator::processVoice(const OscillatorTables& tables, float* out, int frames) {
    const Levels level = levelsFor(tables);
    const float og = oddGain, eg = evenGain;
    const VoiceTables t{tables.sine,
                        tables.odd + level.lo * kSize,
                        tables.odd + level.hi * kSize,
                        tables.even + level.lo * kSize,
                        tables.even + level.hi * kSize,
                        og * level.x,
                        og * (1 - level.x),
                        eg * level.x,
                        eg * (1 - level.x)};
    VoiceReaders r{{sinePhase, oddPhase, evenPhase}, {sineInc, oddInc, evenInc}, {}, {}};
    for (int k = 0; k < 3; ++k) {
        r.inc4[k] = 4 * r.inc[k];
        r.step[k] = int(4 * r.inc[k]) / 4;
    }
    const bool together =
        r.phase[0] == r.phase[1] && r.phase[0] == r.phase[2] && r.inc[0] == r.inc[1] && r.inc[0] == r.inc[2];
    int i = together ? voiceGroupsTogether(t, r, out, frames) : voiceGroups(t, r, out, frames);
    for (; i < frames; ++i) {
        int j[3];
        for (int k = 0; k < 3; ++k) {
            j[k] = int(r.phase[k]) & kMask;
            r.phase[k] += r.inc[k];
        }
        out[i] = voiceSample(t, j[0], j[1], j[2]);
    }
    sinePhase = wrapPhase(r.phase[0]);
    oddPhase = wrapPhase(r.phase[1]);
    evenPhase = wrapPhase(r.phase[2]);
}

void Oscillator::processPD1(const OscillatorTables& tables, float* out, int frames) {
    const float og = oddGain, eg = evenGain, inc = sineInc;
    float theta = sinePhase;
#ifdef VELMORA_SIMD_PATHS
    if (gAvx2) {
        pd1Avx2(out, frames, tables.odd, tables.even, tables.sine, og, eg, inc, theta);
        sinePhase = wrapPhase(theta);
        return;
    }
#endif
    for (int i = 0; i < frames; ++i) {
        out[i] = pd1Sample(tables.odd, tables.even, tables.sine, og, eg, theta);
        theta += inc;
    }
    sinePhase = wrapPhase(theta);
}

void Oscillator::processPWM(const OscillatorTables& tables, float* out, int frames) {
    const Levels level = levelsFor(tables);
    const float* lo = tables.pwm + level.lo * kSize;
    const float* hi = tables.pwm + level.hi * kSize;
    const float x = level.x, x1 = 1 - level.x;
    const float inc = sineInc;
    float phase = sinePhase;
    float a = phase + oddGain * kHalfCycle;
    float b = phase + kHalfCycle + evenGain * kHalfCycle;
    // Four samples side by side (pwmSample lane by lane); the phases still advance one sum
    // at a time.
    const Float4 x4 = Float4::splat(x), x14 = Float4::splat(x1);
    int i = 0;
    for (; i + 4 <= frames; i += 4) {
        int ja[4], jb[4];
        for (int k = 0; k < 4; ++k) {
            ja[k] = int(a) & kMask;
            jb[k] = int(b) & kMask;
            phase += inc;
            a += inc;
            b += inc;
        }
        const Float4 first = Float4::gather(lo, ja) * x4 + Float4::gather(hi, ja) * x14;
        const Float4 second = Float4::gather(lo, jb) * x4 + Float4::gather(hi, jb) * x14;
        (first - second).store(out + i);
    }
    for (; i < frames; ++i) {
        out[i] = pwmSample(lo, hi, x, x1, a, b);
        phase += inc;
        a += inc;
        b += inc;
    }
    sinePhase = wrapPhase(phase);
    oddPhase = wrapPhase(a);
    evenPhase = wrapPhase(b);
}
