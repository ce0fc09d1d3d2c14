// VelmoraAU: the render loop. Control values once per slice of at most 64
// frames; only the amplitude is ramped per sample.
#include <algorithm>
#include <bit>
#include <cstring>

#include "Filters/FilterDesign.h"
#include "Velmora/Mixer.h"
#include "Velmora/VelmoraAU.h"

namespace {

// A selector outside the source list (and NaN) reads as "off"; fractions truncate.
int sourceIndex(float selector) {
    return selector >= 0.0f && selector < float(VelmoraAU::kModSources) ? int(selector) : 0;
}

float clamp01(double v) { return float(v > 0 ? (v < 1 ? v : 1) : 0); }  // NaN gives 0

// Limits far beyond anything in-range settings reach: out-of-range values
// (stored as given) must not make the output non-finite or unbounded.
constexpr float kSourceLimit = 1e6f;  // modulation sources and levels
constexpr float kShapeLimit = 1e5f;   // oscillator shape 1
constexpr float kNoiseGainLimit = 1e5f, kNoisePanLimit = 1e4f, kVolumeLimit = 40.0f;

// Normal output stays within a few units; this only stops a runaway (extreme
// resonance with extreme gain) from reaching the host as infinity or NaN.
constexpr float kOutputLimit = 1e4f;
inline float limitOutput(float y) {
    const float v = y == y ? y : 0.0f;  // NaN: 0
    const float low = v > -kOutputLimit ? v : -kOutputLimit;
    return low < kOutputLimit ? low : kOutputLimit;
}

// The denormal guard: a tiny value whose sign flips every sample. values[i] is +guard
// at even i and -guard at odd i, one entry longer than a slice, so that values + 1
// starts a slice on -guard.
struct AlternatingGuard {
    float values[VelmoraAU::kSliceFrames + 1] = {};
    constexpr explicit AlternatingGuard(float guard) {
        for (int i = 0; i <= VelmoraAU::kSliceFrames; ++i) values[i] = i % 2 ? -guard : guard;
    }
};
constexpr AlternatingGuard kGuards(9.99999996e-12f);

// The guard samples of one render call, handed out n at a time in sequence.
class GuardSequence {
public:
    const float* next(int n) {
        const float* g = positive ? kGuards.values : kGuards.values + 1;
        positive ^= n % 2 != 0;
        return g;
    }

private:
    bool positive = true;  // the sign of the next guard sample
};

// The nine signal routings as steps on path A (bufferA) and path B (bufferB); the result
// ends in path B. Gain 1 works on path A, gain 2 on path B, the mixer adds A into B.
enum class Op : unsigned char { Gain1, Gain2, ShaperA, ShaperB, FilterA, FilterB, Mix };
struct Step {
    Op op;
    bool onB;  // the path a shaper or filter works on
};
constexpr Step G1{Op::Gain1, false}, G2{Op::Gain2, true}, MIX{Op::Mix, true};
constexpr Step FA_A{Op::FilterA, false}, FA_B{Op::FilterA, true}, FB_B{Op::FilterB, true};
constexpr Step RA_A{Op::ShaperA, false}, RA_B{Op::ShaperA, true}, RB_B{Op::ShaperB, true};
constexpr int kSteps = 7;
constexpr Step kRoutings[9][kSteps] = {
    {FA_A, RA_A, G1, FB_B, RB_B, G2, MIX}, {G1, RA_A, FA_A, G2, RB_B, FB_B, MIX}, {FA_A, G1, FB_B, G2, MIX, RA_B, RB_B},
    {RA_A, G1, RB_B, G2, MIX, FA_B, FB_B}, {FA_A, G1, RB_B, G2, MIX, RA_B, FB_B}, {FA_A, G1, RB_B, G2, MIX, FB_B, RA_B},
    {G1, G2, MIX, FA_B, RA_B, FB_B, RB_B}, {G1, G2, MIX, RA_B, FA_B, RB_B, FB_B}, {G1, RA_A, FA_A, G2, MIX, RB_B, FB_B},
};
bool isFilter(const Step& s) { return s.op == Op::FilterA || s.op == Op::FilterB; }

// Gains, shapers and the mixer work sample by sample, and a filter gives the same samples
// in blocks of any length (the comb excepted: it glides its delay over each call). So two
// filters can run in short blocks in turn, with the steps between them, and the processor
// overlaps the recursion of one filter with the other's. That pays for the kernels whose
// time is their recursion: the state-variable filters, the saturated lowpasses, the single
// biquads and the phaser. "rude LP2" and the vowel banks are busy enough on their own.
constexpr int kFilterChunk = 8;
bool filterRunsInChunks(int type) {
    return (type >= 1 && type <= 4) || type == 6 || type == 7 || (type >= 9 && type <= 15);
}

// Infinity and NaN have every exponent bit set; the test of each value is independent
// of the others, so the loop needs no serial chain.
bool allFinite(const float* v, int n) {
    UInt32 nonFinite = 0;
    for (int i = 0; i < n; ++i) {
        const UInt32 exponent = std::bit_cast<UInt32>(v[i]) & 0x7F800000u;
        nonFinite |= UInt32(exponent == 0x7F800000u);
    }
    return nonFinite == 0;
}

float bounded(double v, float limit) { return float(v >= -limit ? (v <= limit ? v : limit) : (v < 0 ? -limit : 0)); }

// The per-call snapshot of the twenty source selectors.
struct Selectors {
    int tune[2], shape1[2], shape2[2];
    int noiseGain, noisePan, gain[2], rumble[2], filter[2], lfo[2], multi[2][2];
};

}  // namespace

void VelmoraAU::addNoise(float* bufferA, float* bufferB, int n, int gainSource, int panSource) {
    // Unlike the pan, the modulation of the noise gain is not scaled by 0.01.
    const float pan =
        bounded(param(kNoisePan) * 0.01 + (param(kNoisePanMDpth) * modSources[panSource]) * 0.01, kNoisePanLimit);
    const float gain =
        bounded(param(kNoiseGain) * 0.01 + param(kNoiseGainMDpth) * modSources[gainSource], kNoiseGainLimit);
    const float gA = gain * (1 - pan), gB = gain * pan;
    int pos = noisePos;
    for (int i = 0; i < n; ++i) {
        const float s = noiseTable[pos++];
        bufferA[i] += s * gA;
        bufferB[i] += s * gB;
    }
    noisePos = pos > 16128 ? 0 : pos;
}

void VelmoraAU::setFilter(float type, float cutoff, float resonance, float* coeffs) {
    kvel_filters::designFilter(type, cutoff, resonance, noteToPhaseInc(cutoff), renderSampleRate, coeffs);
}

OSStatus VelmoraAU::Render(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp&, UInt32 frames) {
    AUIOElement* output = Outputs().GetIOElement(0);
    if (!output) return kAudioUnitErr_InvalidElement;
    const AudioBufferList* buffers = output->GetBufferList();
    if (!buffers) return -1;  // the frame prepares them before every call
    const AudioBufferList& list = *buffers;
    ioActionFlags &= ~kAudioUnitRenderAction_OutputIsSilence;
    const UInt32 channels = std::min<UInt32>(list.mNumberBuffers, 2);
    float* out0 = channels > 0 ? static_cast<float*>(list.mBuffers[0].mData) : nullptr;
    float* out1 = channels > 1 ? static_cast<float*>(list.mBuffers[1].mData) : nullptr;

    // ---- per-call snapshots
    const Float64 sampleRate = output->GetStreamFormat().mSampleRate;
    renderSampleRate = sampleRate;
    const float invRate = float(1.0 / sampleRate);
    const float volume = bounded(param(kVolume) * 0.004, kVolumeLimit);
    const int routing = TruncToInt(param(kRouting));
    const float velAmount[3] = {float(param(kVel2Vol) * 0.01), float(param(kVel2Env2) * 0.01),
                                float(param(kVel2Env3) * 0.01)};
    const float velRest[3] = {float(1 - param(kVel2Vol) * 0.01), float(1 - param(kVel2Env2) * 0.01),
                              float(1 - param(kVel2Env3) * 0.01)};
    Selectors sel;
    sel.noiseGain = sourceIndex(param(kNoiseGainMSrc));
    sel.noisePan = sourceIndex(param(kNoisePanMSrc));
    for (int o = 0; o < 2; ++o) {
        const UInt32 base = UInt32(o) * kOscStride;
        sel.tune[o] = sourceIndex(param(kOSC1TModSrc + base));
        sel.shape1[o] = sourceIndex(param(kOSC1MModSrc + base));
        sel.shape2[o] = sourceIndex(param(kOSC1VModSrc + base));
        sel.gain[o] = sourceIndex(param(kOSC1GainMSrc + 2 * UInt32(o)));
        sel.rumble[o] = sourceIndex(param(kRumbleAModSrc + UInt32(o) * kRumbleStride));
        sel.filter[o] = sourceIndex(param(kFilterAFSrc + UInt32(o) * kFilterStride));
        sel.lfo[o] = sourceIndex(param(kLFO1VModSrc + UInt32(o) * kLfoStride));
        sel.multi[o][0] = sourceIndex(param(kMultiAS1 + UInt32(o) * kMultiStride));
        sel.multi[o][1] = sourceIndex(param(kMultiAS2 + UInt32(o) * kMultiStride));
    }
    const float bend = pitchBend;
    modSources[0] = 0;
    modSources[3] = pressure;
    modSources[4] = -modSources[3];
    modSources[5] = modWheel;
    modSources[6] = -modSources[5];
    modSources[7] = bendAmount;
    modSources[8] = -modSources[7];
    GuardSequence guard;

    // ---- filter types: a changed type starts from a cleared state
    const int typeA = TruncToInt(param(kFilterAType)), typeB = TruncToInt(param(kFilterBType));
    if (typeA != filterTypeA) {
        filterTypeA = typeA;
        std::memset(filterStateA, 0, sizeof filterStateA);
    }
    if (typeB != filterTypeB) {
        filterTypeB = typeB;
        std::memset(filterStateB, 0, sizeof filterStateB);
    }
    const kvel_filters::FilterKernel kernelA = kvel_filters::kernelForType(filterTypeA);
    const kvel_filters::FilterKernel kernelB = kvel_filters::kernelForType(filterTypeB);

    ADSR* envs[3] = {env1.get(), env2.get(), env3.get()};
    float bufferA[kSliceFrames], bufferB[kSliceFrames];
    float depth[2] = {0, 0};

    for (UInt32 remaining = frames; remaining > 0;) {
        const int n = int(std::min<UInt32>(remaining, kSliceFrames));
        remaining -= UInt32(n);

        // ---- notes, glide, gates
        const SliceNotes notes = scanKeys(n);
        if (notes.noteChange) {
            currentNote = notes.newNote;
            glideStart = glidedPitch;  // without the bend, which is added again below
            glideElapsed = 0;
            const float g = float(param(kGlide) * 0.01);
            glideDuration = g * g * g * 8;
        }
        if (notes.gateOff)
            for (ADSR* env : envs) env->setGate(false);
        if (notes.gateOn) {
            for (ADSR* env : envs) env->setGate(true);
            if (param(kLFO1Mode) == 0.0f) lfo1->reset();
            if (param(kLFO2Mode) == 0.0f) lfo2->reset();
            std::memset(filterStateA, 0, sizeof filterStateA);
            std::memset(filterStateB, 0, sizeof filterStateB);
            if (filterTypeA == 5 || filterTypeB == 5) {
                std::memset(combLines, 0, kTableSize * sizeof(float));
                if (filterTypeA == 5) filterCoeffsA[2] = 1.0f;  // the comb starts at its target delay
                if (filterTypeB == 5) filterCoeffsB[2] = 1.0f;
            }
            silent = 0;
            declickOffset = lastOut;
            declickStep = lastOut / 192;
            declickCount = 0;
            amp = 0.0f;
            for (int o = 0; o < 2; ++o) sinePhase[o] = oddPhase[o] = evenPhase[o] = 0;
        }
        if (glideDuration != 0 && glideElapsed < glideDuration) {
            glideElapsed += float(n) * invRate;
            const float f = std::min(glideElapsed / glideDuration, 1.0f);
            glidedPitch = glideStart * (1 - f) + currentNote * f;
        } else {
            glidedPitch = currentNote;
        }
        const float v = bounded(velocity / 127, kSourceLimit);  // note calls may carry any velocity
        modSources[1] = v;
        modSources[2] = -v;
        pitch = glidedPitch + bend;

        // ---- amplitude envelope; an idle voice writes zeros
        const float a = bounded(env1->proceed(n) * (v * velAmount[0] + velRest[0]), kSourceLimit);
        if (silent) {
            if (out0) std::memset(out0, 0, size_t(n) * sizeof(float));
            if (out1) std::memset(out1, 0, size_t(n) * sizeof(float));
            if (out0) out0 += n;
            if (out1) out1 += n;
            continue;
        }

        // ---- modulation sources, in order
        modSources[9] = a;
        modSources[10] = -a;
        for (int e = 1; e < 3; ++e) {
            const float value = bounded(envs[e]->proceed(n) * (v * velAmount[e] + velRest[e]), kSourceLimit);
            modSources[9 + 2 * e] = value;
            modSources[10 + 2 * e] = -value;
        }
        LFO* lfos[2] = {lfo1.get(), lfo2.get()};
        for (int l = 0; l < 2; ++l) {
            const float d = float(param(kLFO1VModDpth + UInt32(l) * kLfoStride) * 0.01);
            const float raw = float(lfos[l]->proceed(n));
            modSources[15 + 2 * l] = raw;
            const float value = bounded(raw * (modSources[sel.lfo[l]] * d + 1 - d), kSourceLimit);
            modSources[15 + 2 * l] = value;
            modSources[16 + 2 * l] = -value;
        }
        for (int m = 0; m < 2; ++m) {
            const float first = modSources[sel.multi[m][0]];
            modSources[19 + 2 * m] = first;
            const float second = modSources[sel.multi[m][1]];
            const bool adds = param(kMultiAMode + UInt32(m) * kMultiStride) == 0.0f;
            const float value = bounded(adds ? first + second : first * second, kSourceLimit);
            modSources[19 + 2 * m] = value;
            modSources[20 + 2 * m] = -value;
        }

        // ---- oscillators. A second oscillator set and started exactly like the first (as
        // in the init patch) would play the same samples: it takes a copy instead.
        float* oscOut[2] = {bufferA, bufferB};
        int firstWave = 0;
        std::array<UInt32, 8> firstBits{};
        for (int o = 0; o < 2; ++o) {
            const UInt32 base = UInt32(o) * kOscStride;
            float note = pitch + param(kOSC1Tune + base) + param(kOSC1TModDpth + base) * modSources[sel.tune[o]];
            if (note < 1.0f) note = 1.0f;
            const float rawShape1 = param(kOSC1MModDpth + base) * modSources[sel.shape1[o]] + param(kOSC1Mology + base);
            const float shape1 = rawShape1 > 0 ? std::min(rawShape1, kShapeLimit) : 0.0f;
            const float rawShape2 = param(kOSC1VModDpth + base) * modSources[sel.shape2[o]] + param(kOSC1Vari + base);
            const float shape2 = rawShape2 > 0 ? std::min(rawShape2, 100.0f) : 0.0f;
            const int wave = TruncToInt(param(kOSC1Wave + base));
            setOscillator(o, wave, note, shape1, shape2);
            if (o == 0) {
                firstWave = wave;
                firstBits = oscillatorBits(0);
            } else if (wave == firstWave && wave >= 1 && wave <= 3 && oscillatorBits(1) == firstBits) {
                std::copy_n(bufferA, n, bufferB);
                sinePhase[1] = sinePhase[0];
                oddPhase[1] = oddPhase[0];
                evenPhase[1] = evenPhase[0];
                continue;
            }
            switch (wave) {
                case 1: processVoice(oscOut[o], n, o); break;
                case 2: processPD1(oscOut[o], n, o); break;
                case 3: processPWM(oscOut[o], n, o); break;
                default: std::copy_n(guard.next(n), n, oscOut[o]);
            }
        }

        // ---- denormal guard and noise
        const float* g = guard.next(n);
        for (int i = 0; i < n; ++i) {
            bufferA[i] += g[i];
            bufferB[i] += g[i];
        }
        if (param(kNoiseType) != 0.0f) addNoise(bufferA, bufferB, n, sel.noiseGain, sel.noisePan);

        // ---- filter design
        float* coeffs[2] = {filterCoeffsA, filterCoeffsB};
        const int types[2] = {filterTypeA, filterTypeB};
        for (int f = 0; f < 2; ++f) {
            const UInt32 base = UInt32(f) * kFilterStride;
            if (param(kFilterAType + base) == 0.0f) continue;
            const float keyed = float(pitch * (param(kFiltAKeyfollow + base) * 0.01) + param(kFilterAFc + base));
            const float rawNote = keyed + modSources[sel.filter[f]] * param(kFilterAFDpth + base);
            const float fcNote = rawNote >= 1.0f ? std::min(rawNote, 139.0f) : 1.0f;  // NaN gives 1
            setFilter(float(types[f]), fcNote, param(kFilterAFq + base), coeffs[f]);
        }

        // ---- gains and shaper depths
        float gain[2];
        int rumbleType[2];
        for (int p = 0; p < 2; ++p) {
            const UInt32 rb = UInt32(p) * kRumbleStride;
            rumbleType[p] = TruncToInt(param(kRumbleAType + rb));
            if (param(kRumbleAType + rb) != 0.0f)
                depth[p] = clamp01(param(kRumbleADepth + rb) * 0.01 +
                                   (modSources[sel.rumble[p]] * param(kRumbleAModDpth + rb)) * 0.01);
            gain[p] = clamp01(param(kOSC1Gain + UInt32(p)) * 0.01 +
                              (modSources[sel.gain[p]] * param(kOSC1GainMDpth + 2 * UInt32(p))) * 0.01);
        }

        // ---- routing; the result is in path B
        const int mixMode = TruncToInt(param(kMixMode));
        auto run = [&](const Step* first, const Step* end, int at, int count) {
            for (const Step* s = first; s != end; ++s) {
                float* path = (s->onB ? bufferB : bufferA) + at;
                switch (s->op) {
                    case Op::Gain1: ProcessGain(bufferA + at, gain[0], count); break;
                    case Op::Gain2: ProcessGain(bufferB + at, gain[1], count); break;
                    case Op::ShaperA: ProcessRumble(rumbleType[0], depth[0], path, count); break;
                    case Op::ShaperB: ProcessRumble(rumbleType[1], depth[1], path, count); break;
                    case Op::FilterA: kernelA(path, count, filterCoeffsA, filterStateA, combLines); break;
                    case Op::FilterB: kernelB(path, count, filterCoeffsB, filterStateB, combLines + 2048); break;
                    case Op::Mix: ProcessMix(bufferB + at, bufferA + at, count, mixMode); break;
                }
            }
        };
        const Step* steps = kRoutings[routing >= 0 && routing <= 8 ? routing : 0];
        if (filterRunsInChunks(filterTypeA) && filterRunsInChunks(filterTypeB)) {
            const Step* firstFilter = std::find_if(steps, steps + kSteps, isFilter);
            const Step* afterFilters = std::find_if(firstFilter + 1, steps + kSteps, isFilter) + 1;
            run(steps, firstFilter, 0, n);
            for (int at = 0; at < n; at += kFilterChunk)
                run(firstFilter, afterFilters, at, std::min(kFilterChunk, n - at));
            run(afterFilters, steps + kSteps, 0, n);
        } else {
            run(steps, steps + kSteps, 0, n);
        }

        // A filter that ran away starts again from rest (with its comb line).
        float* states[2] = {filterStateA, filterStateB};
        for (int f = 0; f < 2; ++f) {
            if (types[f] == 0 || allFinite(states[f], 16)) continue;  // "off" leaves its state alone
            std::memset(states[f], 0, 16 * sizeof(float));
            if (types[f] == 5) std::memset(combLines + 2048 * f, 0, 2048 * sizeof(float));
        }

        // ---- output: amplitude ramp, declick after a gate-on. The two serial sums come
        // first, so that the per-sample products and limits can run side by side.
        const float target = a * volume;
        float level = amp;
        const float step = (target - level) * (1.0f / float(n));
        float ramp[kSliceFrames];
        if (level + step == level) {
            std::fill_n(ramp, n, level);  // a held level: every sum gives the level again
        } else {
            for (int i = 0; i < n; ++i) ramp[i] = level += step;
        }
        float* out = out0 ? out0 : out1 ? out1 : bufferB;
        if (declickCount <= 191) {
            declickCount += n;
            float offset = declickOffset, offsets[kSliceFrames];
            for (int i = 0; i < n; ++i) {
                offsets[i] = offset;
                offset -= declickStep;
            }
            for (int i = 0; i < n; ++i) out[i] = limitOutput(bufferB[i] * ramp[i] + offsets[i]);
            declickOffset = offset;
        } else {
            for (int i = 0; i < n; ++i) out[i] = limitOutput(bufferB[i] * ramp[i]);
        }
        if (out0 && out1)
            for (int i = 0; i < n; ++i) out1[i] = out0[i];
        amp = level;
        lastOut = out[n - 1];
        if (a == 0.0f && declickCount > 191) silent = 1;
        if (out0) out0 += n;
        if (out1) out1 += n;
    }
    return noErr;
}
