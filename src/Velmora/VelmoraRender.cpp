// VelmoraAU: the render loop. Control values once per slice of at most 64
// frames; only the amplitude is ramped per sample.
#include <algorithm>
#include <cstring>

#include "Filters/FilterDesign.h"
#include "Platform/BitCast.h"
#include "Platform/Float4.h"
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

// A note start fades the previous note's last output to zero over three slices.
constexpr int kDeclickFrames = 192;

// The noise reads on from slice to slice and starts again at the top of its table once past
// this position, so that no slice reads beyond the table.
constexpr int kNoiseRestart = 16128;
static_assert(kNoiseRestart + VelmoraAU::kSliceFrames <= VelmoraAU::kNoiseSize);

// The highest note a filter's cutoff reaches with key follow and modulation.
constexpr float kHighestCutoffNote = 139.0f;

// Normal output stays within a few units; this only stops a runaway (extreme
// resonance with extreme gain) from reaching the host as infinity or NaN.
constexpr float kOutputLimit = 1e4f;
inline float limitOutput(float y) {
    const float v = y == y ? y : 0.0f;  // NaN: 0
    const float low = v > -kOutputLimit ? v : -kOutputLimit;
    return low < kOutputLimit ? low : kOutputLimit;
}
// The same on four samples: one instruction per step where the scalar code's branches
// would take several.
inline Float4 limitOutput(Float4 y) {
    return lessOr(greaterOr(nanToZero(y), Float4::splat(-kOutputLimit)), Float4::splat(kOutputLimit));
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
// in blocks of any length (the comb once its glide over the slice is set). So two filters
// can run in short blocks in turn, with the steps between them, and the processor overlaps
// the recursion of one filter with the other's, or the comb's many independent steps with
// the other filter's recursion. That pays for every pair of these kernels but three: the
// vowel banks, "rude LP2" twice and two combs are busy enough on their own (the first two
// measured slower in blocks).
constexpr int kFilterChunk = 8;
bool filtersRunInChunks(int typeA, int typeB) {
    using namespace kvel_filters;
    auto pairs = [](int type) { return type >= kLowpass && type <= kPhaser; };
    return pairs(typeA) && pairs(typeB) && !(typeA == kRudeLP2 && typeB == kRudeLP2) &&
           !(typeA == kComb && typeB == kComb);
}

// Filter A always comes first. A one-section biquad there, the shortest recursion, runs a block
// ahead: its next block comes before the steps that wait on the block it has just finished,
// so the second filter finds its input ready. Measured slower for the other types first.
bool firstRunsAhead(int typeA) { return typeA >= kvel_filters::kBandpass2 && typeA <= kvel_filters::kHighShelf; }

// Two paths with the same samples that no step changes before the mixer (as in the init
// patch): their half sum is each of them again, (x + x) * 0.5 == x for the few units the
// oscillators give, so path B already holds the mix. Returns the step after the mixer then,
// else the first step.
const Step* afterIdleMix(const Step* steps, const float (&gain)[2], const int (&shaper)[2],
                         kvel_filters::FilterKernel kernelA, kvel_filters::FilterKernel kernelB) {
    auto leavesAlone = [&](const Step& s) {
        switch (s.op) {
            case Op::Gain1: return gain[0] == 1.0f;
            case Op::Gain2: return gain[1] == 1.0f;
            case Op::ShaperA: return shaper[0] < kShaperScramble || shaper[0] > kShaperWedge;
            case Op::ShaperB: return shaper[1] < kShaperScramble || shaper[1] > kShaperWedge;
            case Op::FilterA: return kernelA == kvel_filters::foo;
            case Op::FilterB: return kernelB == kvel_filters::foo;
            case Op::Mix: return false;
        }
        return false;
    };
    const Step* mix = steps;
    while (mix->op != Op::Mix && leavesAlone(*mix)) ++mix;
    return mix->op == Op::Mix ? mix + 1 : steps;
}

// Infinity and NaN have every exponent bit set; the test of each value is independent
// of the others, so the loop needs no serial chain.
bool allFinite(const float* v, int n) {
    UInt32 nonFinite = 0;
    for (int i = 0; i < n; ++i) {
        const UInt32 exponent = BitCast<UInt32>(v[i]) & 0x7F800000u;
        nonFinite |= UInt32(exponent == 0x7F800000u);
    }
    return nonFinite == 0;
}

float bounded(double v, float limit) { return float(v >= -limit ? (v <= limit ? v : limit) : (v < 0 ? -limit : 0)); }

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
    noisePos = pos > kNoiseRestart ? 0 : pos;
}

void VelmoraAU::setFilter(float type, float cutoff, float resonance, float* coeffs) {
    kvel_filters::designFilter(type, cutoff, resonance, noteToPhaseInc(cutoff), renderSampleRate, coeffs);
}

// The guard samples of one render call, handed out n at a time in sequence.
class VelmoraAU::GuardSequence {
public:
    const float* next(int n) {
        const float* g = positive ? kGuards.values : kGuards.values + 1;
        positive ^= n % 2 != 0;
        return g;
    }

private:
    bool positive = true;  // the sign of the next guard sample
};

VelmoraAU::CallParams VelmoraAU::readCallParams(Float64 sampleRate) const {
    CallParams c;
    c.invRate = float(1.0 / sampleRate);
    c.volume = bounded(param(kVolume) * 0.004, kVolumeLimit);
    c.routing = TruncToInt(param(kRouting));
    const UInt32 velocityAmounts[3] = {kVel2Vol, kVel2Env2, kVel2Env3};
    for (int e = 0; e < 3; ++e) {
        c.velAmount[e] = float(param(velocityAmounts[e]) * 0.01);
        c.velRest[e] = float(1 - param(velocityAmounts[e]) * 0.01);
    }
    c.noiseGainSource = sourceIndex(param(kNoiseGainMSrc));
    c.noisePanSource = sourceIndex(param(kNoisePanMSrc));
    for (UInt32 o = 0; o < 2; ++o) {
        c.tuneSource[o] = sourceIndex(param(kOSC1TModSrc + o * kOscStride));
        c.shape1Source[o] = sourceIndex(param(kOSC1MModSrc + o * kOscStride));
        c.shape2Source[o] = sourceIndex(param(kOSC1VModSrc + o * kOscStride));
        c.gainSource[o] = sourceIndex(param(kOSC1GainMSrc + 2 * o));
        c.shaperSource[o] = sourceIndex(param(kRumbleAModSrc + o * kRumbleStride));
        c.filterSource[o] = sourceIndex(param(kFilterAFSrc + o * kFilterStride));
        c.lfoSource[o] = sourceIndex(param(kLFO1VModSrc + o * kLfoStride));
        c.multiSources[o][0] = sourceIndex(param(kMultiAS1 + o * kMultiStride));
        c.multiSources[o][1] = sourceIndex(param(kMultiAS2 + o * kMultiStride));
    }
    // Whether anything reads LFO 1. It is the first modulator, so every reader takes this
    // slice's value and it may skip the slices nobody reads. LFO 2 and the multipliers always
    // run: an earlier modulator reads them a slice late, so their last value must be there
    // whenever a selector turns to them.
    const int lfo1Readers[] = {c.noiseGainSource,    c.noisePanSource,     c.tuneSource[0],     c.tuneSource[1],
                               c.shape1Source[0],    c.shape1Source[1],    c.shape2Source[0],   c.shape2Source[1],
                               c.gainSource[0],      c.gainSource[1],      c.shaperSource[0],   c.shaperSource[1],
                               c.filterSource[0],    c.filterSource[1],    c.lfoSource[1],      c.multiSources[0][0],
                               c.multiSources[0][1], c.multiSources[1][0], c.multiSources[1][1]};
    c.lfo1Read = std::any_of(std::begin(lfo1Readers), std::end(lfo1Readers),
                             [](int s) { return s == kSourceLfo1 || s == kSourceLfo1Inverted; });
    return c;
}

VelmoraAU::SliceParams VelmoraAU::readSliceParams() const {
    SliceParams p;
    p.glide = param(kGlide);
    p.noiseType = param(kNoiseType);
    p.mixMode = param(kMixMode);
    for (UInt32 i = 0; i < 2; ++i) {
        p.lfoMode[i] = param(kLFO1Mode + i * kLfoStride);
        p.lfoDepth[i] = param(kLFO1VModDpth + i * kLfoStride);
        p.multiMode[i] = param(kMultiAMode + i * kMultiStride);
        const UInt32 o = i * kOscStride;
        p.osc[i] = {param(kOSC1Wave + o),     param(kOSC1Tune + o), param(kOSC1TModDpth + o), param(kOSC1Mology + o),
                    param(kOSC1MModDpth + o), param(kOSC1Vari + o), param(kOSC1VModDpth + o)};
        const UInt32 f = i * kFilterStride;
        p.filter[i] = {param(kFilterAType + f), param(kFiltAKeyfollow + f), param(kFilterAFc + f),
                       param(kFilterAFq + f), param(kFilterAFDpth + f)};
        const UInt32 r = i * kRumbleStride;
        p.path[i] = {param(kOSC1Gain + i), param(kOSC1GainMDpth + 2 * i), param(kRumbleAType + r),
                     param(kRumbleADepth + r), param(kRumbleAModDpth + r)};
    }
    return p;
}

// A changed filter type starts from a cleared state. Types change only by a parameter write,
// so this runs when the call's parameters are read again.
void VelmoraAU::takeFilterTypes() {
    const int typeA = TruncToInt(param(kFilterAType)), typeB = TruncToInt(param(kFilterBType));
    if (typeA != filterTypeA) {
        filterTypeA = typeA;
        std::memset(filterStateA, 0, sizeof filterStateA);
    }
    if (typeB != filterTypeB) {
        filterTypeB = typeB;
        std::memset(filterStateB, 0, sizeof filterStateB);
    }
    kernelA = kvel_filters::kernelForType(filterTypeA);
    kernelB = kvel_filters::kernelForType(filterTypeB);
}

OSStatus VelmoraAU::Render(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp&, UInt32 frames) {
    AUIOElement* output = Outputs().GetIOElement(0);
    if (!output) return kAudioUnitErr_InvalidElement;
    const AudioBufferList* buffers = output->GetBufferList();
    if (!buffers) return -1;  // the frame prepares them before every call
    const AudioBufferList& list = *buffers;
    ioActionFlags &= ~kAudioUnitRenderAction_OutputIsSilence;
    const UInt32 channels = std::min<UInt32>(list.mNumberBuffers, 2);
    float* out[2] = {channels > 0 ? static_cast<float*>(list.mBuffers[0].mData) : nullptr,
                     channels > 1 ? static_cast<float*>(list.mBuffers[1].mData) : nullptr};

    renderSampleRate = output->GetStreamFormat().mSampleRate;
    const UInt32 changes = parameterChanges.load(std::memory_order_acquire);
    if (changes != callParamsChanges || renderSampleRate != callParamsRate) {
        callParams = readCallParams(renderSampleRate);
        callParamsChanges = changes;
        callParamsRate = renderSampleRate;
        takeFilterTypes();
    }
    const CallParams& call = callParams;
    modSources[kSourceOff] = 0;
    modSources[kSourcePressure] = pressure;
    modSources[kSourcePressureInverted] = -modSources[kSourcePressure];
    modSources[kSourceWheel] = modWheel;
    modSources[kSourceWheelInverted] = -modSources[kSourceWheel];
    modSources[kSourceBend] = bendAmount;
    modSources[kSourceBendInverted] = -modSources[kSourceBend];
    const float bend = pitchBend;
    GuardSequence guard;
    float bufferA[kSliceFrames], bufferB[kSliceFrames];

    for (UInt32 remaining = frames; remaining > 0;) {
        const int n = int(std::min<UInt32>(remaining, kSliceFrames));
        remaining -= UInt32(n);
        const UInt32 sliceChanges = parameterChanges.load(std::memory_order_acquire);
        if (sliceChanges != sliceParamsChanges) {
            sliceParams = readSliceParams();
            sliceParamsChanges = sliceChanges;
        }
        const SliceParams& slice = sliceParams;

        notesAndGlide(n, call, slice, bend);
        const float a = amplitudeEnvelope(n, call);
        if (silent) {  // an idle voice writes zeros
            for (float*& o : out)
                if (o) {
                    std::memset(o, 0, size_t(n) * sizeof(float));
                    o += n;
                }
            continue;
        }
        modulationSources(n, a, call, slice);
        const bool samePaths = oscillatorsAndNoise(n, call, slice, guard, bufferA, bufferB);
        designFilters(call, slice);
        route(n, call, slice, samePaths, bufferA, bufferB);
        writeOutput(n, a, call.volume, bufferB, out);
    }
    return noErr;
}

// Notes, glide and gates; the velocity sources and the pitch of the slice.
void VelmoraAU::notesAndGlide(int n, const CallParams& call, const SliceParams& slice, float bend) {
    const SliceNotes notes = scanKeys(n);
    ADSR* envs[3] = {env1.get(), env2.get(), env3.get()};
    if (notes.noteChange) {
        currentNote = notes.newNote;
        glideStart = glidedPitch;  // without the bend, which is added again below
        glideElapsed = 0;
        const float g = float(slice.glide * 0.01);
        glideDuration = g * g * g * 8;
    }
    if (notes.gateOff)
        for (ADSR* env : envs) env->setGate(false);
    if (notes.gateOn) {
        for (ADSR* env : envs) env->setGate(true);
        if (slice.lfoMode[0] == 0.0f) lfo1->reset();
        if (slice.lfoMode[1] == 0.0f) lfo2->reset();
        std::memset(filterStateA, 0, sizeof filterStateA);
        std::memset(filterStateB, 0, sizeof filterStateB);
        if (filterTypeA == kvel_filters::kComb || filterTypeB == kvel_filters::kComb) {
            std::memset(combLines, 0, kCombLinesSize * sizeof(float));
            // The comb starts at its target delay.
            if (filterTypeA == kvel_filters::kComb) filterCoeffsA[kvel_filters::kCombJumpFlag] = 1.0f;
            if (filterTypeB == kvel_filters::kComb) filterCoeffsB[kvel_filters::kCombJumpFlag] = 1.0f;
        }
        silent = 0;
        declickOffset = lastOut;
        declickStep = lastOut / kDeclickFrames;
        declickCount = 0;
        amp = 0.0f;
        for (Oscillator& o : oscillators) o.restart();
    }
    if (glideDuration != 0 && glideElapsed < glideDuration) {
        glideElapsed += float(n) * call.invRate;
        const float f = std::min(glideElapsed / glideDuration, 1.0f);
        glidedPitch = glideStart * (1 - f) + currentNote * f;
    } else {
        glidedPitch = currentNote;
    }
    const float v = bounded(velocity / 127, kSourceLimit);  // note calls may carry any velocity
    modSources[kSourceVelocity] = v;
    modSources[kSourceVelocityInverted] = -v;
    pitch = glidedPitch + bend;
}

// Envelope 1 scaled by the velocity: the voice's amplitude.
float VelmoraAU::amplitudeEnvelope(int n, const CallParams& call) {
    const float v = modSources[kSourceVelocity];
    return bounded(env1->proceed(n) * (v * call.velAmount[0] + call.velRest[0]), kSourceLimit);
}

// The envelopes, the LFOs and the multipliers, in order: a source may read those before it.
// LFO 1 only keeps its time while nothing reads it.
void VelmoraAU::modulationSources(int n, float a, const CallParams& call, const SliceParams& slice) {
    const float v = modSources[kSourceVelocity];
    modSources[kSourceEnv1] = a;
    modSources[kSourceEnv1Inverted] = -a;
    ADSR* envs[2] = {env2.get(), env3.get()};
    for (int e = 0; e < 2; ++e) {
        const float value =
            bounded(envs[e]->proceed(n) * (v * call.velAmount[e + 1] + call.velRest[e + 1]), kSourceLimit);
        modSources[kSourceEnv2 + 2 * e] = value;
        modSources[kSourceEnv2 + 2 * e + 1] = -value;
    }
    LFO* lfos[2] = {lfo1.get(), lfo2.get()};
    for (int l = 0; l < 2; ++l) {
        if (l == 0 && !call.lfo1Read) {
            lfos[l]->skip(n);
            continue;
        }
        // The raw value first: an LFO may scale itself by its own output.
        const float d = float(slice.lfoDepth[l] * 0.01);
        const float raw = float(lfos[l]->proceed(n));
        modSources[kSourceLfo1 + 2 * l] = raw;
        const float value = bounded(raw * (modSources[call.lfoSource[l]] * d + 1 - d), kSourceLimit);
        modSources[kSourceLfo1 + 2 * l] = value;
        modSources[kSourceLfo1 + 2 * l + 1] = -value;
    }
    for (int m = 0; m < 2; ++m) {
        const float first = modSources[call.multiSources[m][0]];
        modSources[kSourceMultiA + 2 * m] = first;
        const float second = modSources[call.multiSources[m][1]];
        const bool adds = slice.multiMode[m] == 0.0f;
        const float value = bounded(adds ? first + second : first * second, kSourceLimit);
        modSources[kSourceMultiA + 2 * m] = value;
        modSources[kSourceMultiA + 2 * m + 1] = -value;
    }
}

// The two oscillators into paths A and B, the denormal guard and the noise. A second
// oscillator set and started exactly like the first (as in the init patch) would play the
// same samples: it takes a copy instead.
bool VelmoraAU::oscillatorsAndNoise(int n, const CallParams& call, const SliceParams& slice, GuardSequence& guard,
                                    float* bufferA, float* bufferB) {
    int waves[2];
    for (int o = 0; o < 2; ++o) {
        const SliceParams::Oscillator& p = slice.osc[o];
        float note = pitch + p.tune + p.tuneDepth * modSources[call.tuneSource[o]];
        if (note < 1.0f) note = 1.0f;
        const float rawShape1 = p.shape1Depth * modSources[call.shape1Source[o]] + p.shape1;
        const float shape1 = rawShape1 > 0 ? std::min(rawShape1, kShapeLimit) : 0.0f;
        const float rawShape2 = p.shape2Depth * modSources[call.shape2Source[o]] + p.shape2;
        const float shape2 = rawShape2 > 0 ? std::min(rawShape2, 100.0f) : 0.0f;
        waves[o] = TruncToInt(p.wave);
        const OscillatorInputs inputs{waves[o], BitCast<UInt32>(note), BitCast<UInt32>(shape1), BitCast<UInt32>(shape2),
                                      true};
        if (!(oscillatorInputs[o] == inputs)) {
            oscillatorInputs[o] = inputs;
            oscillators[o].set(waves[o], note, shape1, shape2, [this](float key) { return noteToPhaseInc(key); });
        }
    }
    const bool copiesFirst = waves[1] == waves[0] && waves[1] >= kWaveSawOE && waves[1] <= kWavePwm &&
                             oscillators[1].playsLike(oscillators[0]);
    const OscillatorTables tables = oscillatorTables();
    float* oscOut[2] = {bufferA, bufferB};
    for (int o = 0; o < 2; ++o) {
        Oscillator& oscillator = oscillators[o];
        if (o == 1 && copiesFirst) {
            std::copy_n(bufferA, n, bufferB);
            oscillator.followPhases(oscillators[0]);
            continue;
        }
        switch (waves[o]) {
            case kWaveSawOE: oscillator.processVoice(tables, oscOut[o], n); break;
            case kWaveDigiwave: oscillator.processPD1(tables, oscOut[o], n); break;
            case kWavePwm: oscillator.processPWM(tables, oscOut[o], n); break;
            default: std::copy_n(guard.next(n), n, oscOut[o]);
        }
    }
    const float* g = guard.next(n);
    for (int i = 0; i < n; ++i) {
        bufferA[i] += g[i];
        bufferB[i] += g[i];
    }
    if (slice.noiseType == 0.0f) return copiesFirst;
    addNoise(bufferA, bufferB, n, call.noiseGainSource, call.noisePanSource);
    return false;
}

// The cutoff of each filter that is on, with key follow and modulation, and its coefficients.
void VelmoraAU::designFilters(const CallParams& call, const SliceParams& slice) {
    float* coeffs[2] = {filterCoeffsA, filterCoeffsB};
    const int types[2] = {filterTypeA, filterTypeB};
    for (int f = 0; f < 2; ++f) {
        const SliceParams::Filter& p = slice.filter[f];
        if (p.type == 0.0f) continue;
        const float keyed = float(pitch * (p.keyfollow * 0.01) + p.cutoff);
        const float rawNote = keyed + modSources[call.filterSource[f]] * p.depth;
        const float fcNote = rawNote >= 1.0f ? std::min(rawNote, kHighestCutoffNote) : 1.0f;  // NaN gives 1
        // The design writes only what no kernel changes, so the same inputs leave the same coefficients.
        const DesignInputs inputs{BitCast<UInt32>(float(types[f])), BitCast<UInt32>(fcNote),
                                  BitCast<UInt32>(p.resonance), renderSampleRate, true};
        DesignInputs& last = designed[f];
        if (last.valid && last.type == inputs.type && last.note == inputs.note && last.resonance == inputs.resonance &&
            last.rate == inputs.rate)
            continue;
        last = inputs;
        setFilter(float(types[f]), fcNote, p.resonance, coeffs[f]);
    }
}

// The gains, shapers, filters and mixer in the order of the routing; the result is in path B.
void VelmoraAU::route(int n, const CallParams& call, const SliceParams& slice, bool samePaths, float* bufferA,
                      float* bufferB) {
    float gain[2], depth[2] = {0, 0};
    int shaper[2];
    for (int p = 0; p < 2; ++p) {
        const SliceParams::Path& path = slice.path[p];
        shaper[p] = TruncToInt(path.shaperType);
        if (path.shaperType != 0.0f)
            depth[p] =
                clamp01(path.shaperDepth * 0.01 + (modSources[call.shaperSource[p]] * path.shaperModDepth) * 0.01);
        gain[p] = clamp01(path.gain * 0.01 + (modSources[call.gainSource[p]] * path.gainDepth) * 0.01);
    }
    const int mixMode = TruncToInt(slice.mixMode);
    const bool chunks = filtersRunInChunks(filterTypeA, filterTypeB);
    kvel_filters::FilterKernel runA = kernelA, runB = kernelB;
    if (chunks && filterTypeA == kvel_filters::kComb) {
        kvel_filters::combGlide(filterCoeffsA, filterStateA, n);
        runA = kvel_filters::combPart;
    }
    if (chunks && filterTypeB == kvel_filters::kComb) {
        kvel_filters::combGlide(filterCoeffsB, filterStateB, n);
        runB = kvel_filters::combPart;
    }
    auto run = [&](const Step* first, const Step* end, int at, int count) {
        for (const Step* s = first; s != end; ++s) {
            float* path = (s->onB ? bufferB : bufferA) + at;
            switch (s->op) {
                case Op::Gain1: ProcessGain(bufferA + at, gain[0], count); break;
                case Op::Gain2: ProcessGain(bufferB + at, gain[1], count); break;
                case Op::ShaperA: ProcessRumble(shaper[0], depth[0], path, count); break;
                case Op::ShaperB: ProcessRumble(shaper[1], depth[1], path, count); break;
                case Op::FilterA: runA(path, count, filterCoeffsA, filterStateA, combLines); break;
                case Op::FilterB:
                    runB(path, count, filterCoeffsB, filterStateB, combLines + kvel_filters::kCombLineLength);
                    break;
                case Op::Mix: ProcessMix(bufferB + at, bufferA + at, count, mixMode); break;
            }
        }
    };
    const Step* steps = kRoutings[call.routing >= 0 && call.routing <= 8 ? call.routing : 0];
    const Step* const end = steps + kSteps;
    if (samePaths && mixMode == kMixSum) steps = afterIdleMix(steps, gain, shaper, kernelA, kernelB);
    if (chunks) {
        const Step* firstFilter = std::find_if(steps, end, isFilter);
        const Step* afterFilters = std::find_if(firstFilter + 1, end, isFilter) + 1;
        run(steps, firstFilter, 0, n);
        if (firstRunsAhead(filterTypeA)) {
            run(firstFilter, firstFilter + 1, 0, std::min(kFilterChunk, n));
            for (int at = 0; at < n; at += kFilterChunk) {
                const int next = at + kFilterChunk;
                if (next < n) run(firstFilter, firstFilter + 1, next, std::min(kFilterChunk, n - next));
                run(firstFilter + 1, afterFilters, at, std::min(kFilterChunk, n - at));
            }
        } else {
            for (int at = 0; at < n; at += kFilterChunk)
                run(firstFilter, afterFilters, at, std::min(kFilterChunk, n - at));
        }
        run(afterFilters, end, 0, n);
    } else {
        run(steps, end, 0, n);
    }

    // A filter that ran away starts again from rest (with its comb line).
    float* states[2] = {filterStateA, filterStateB};
    const int types[2] = {filterTypeA, filterTypeB};
    for (int f = 0; f < 2; ++f) {
        if (types[f] == kvel_filters::kOff || allFinite(states[f], 16)) continue;  // "off" leaves its state alone
        std::memset(states[f], 0, 16 * sizeof(float));
        if (types[f] == kvel_filters::kComb)
            std::memset(combLines + kvel_filters::kCombLineLength * f, 0,
                        kvel_filters::kCombLineLength * sizeof(float));
    }
}

// Path B to the output: the amplitude ramped to a · volume over the slice, and the declick
// after a gate-on. The two serial sums come first, so that the per-sample products and
// limits can run side by side. The voice falls idle when its envelope has ended.
void VelmoraAU::writeOutput(int n, float a, float volume, const float* bufferB, float* (&out)[2]) {
    const float target = a * volume;
    float level = amp;
    const float step = (target - level) * (1.0f / float(n));
    float ramp[kSliceFrames];
    if (level + step == level) {
        std::fill_n(ramp, n, level);  // a held level: every sum gives the level again
    } else {
        for (int i = 0; i < n; ++i) ramp[i] = level += step;
    }
    float scratch[kSliceFrames];
    float* first = out[0] ? out[0] : out[1] ? out[1] : scratch;
    if (declickCount < kDeclickFrames) {
        declickCount += n;
        float offset = declickOffset, offsets[kSliceFrames];
        for (int i = 0; i < n; ++i) {
            offsets[i] = offset;
            offset -= declickStep;
        }
        int i = 0;
        for (; i + 4 <= n; i += 4) {
            const Float4 y = Float4::load(bufferB + i) * Float4::load(ramp + i) + Float4::load(offsets + i);
            limitOutput(y).store(first + i);
        }
        for (; i < n; ++i) first[i] = limitOutput(bufferB[i] * ramp[i] + offsets[i]);
        declickOffset = offset;
    } else {
        int i = 0;
        for (; i + 4 <= n; i += 4) limitOutput(Float4::load(bufferB + i) * Float4::load(ramp + i)).store(first + i);
        for (; i < n; ++i) first[i] = limitOutput(bufferB[i] * ramp[i]);
    }
    if (out[0] && out[1])
        for (int i = 0; i < n; ++i) out[1][i] = out[0][i];
    amp = level;
    lastOut = first[n - 1];
    if (a == 0.0f && declickCount >= kDeclickFrames) silent = 1;
    for (float*& o : out)
        if (o) o += n;
}
