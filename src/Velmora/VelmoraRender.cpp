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

// The oscillators, the noise, the gains, the shapers and the mixer work sample by sample,
// and a filter gives the same samples in blocks of any length (the comb excepted: it glides
// its delay over each call). So a slice's signal path runs in short blocks, each block
// through every step in turn: while one filter's recursion waits on its last sample, the
// processor already computes the next block's oscillator, shaper and other filter samples.
constexpr int kBlockFrames = 8;  // a multiple of four, as the oscillators' blocks must be
bool runsWhole(const Step& s, int typeA, int typeB) {
    return isFilter(s) && (s.op == Op::FilterA ? typeA : typeB) == kvel_filters::kComb;
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

}  // namespace

// What the sources of one slice play into paths A and B, block by block: the two
// oscillators, the denormal guard and the noise.
struct VelmoraAU::SliceSources {
    const float* oscGuard[2];  // an oscillator without a wave plays the guard
    bool copiesFirst;          // oscillator 2 plays oscillator 1's samples
    const float* guard;        // added to both paths
    bool noise;
    float noiseA, noiseB;  // the noise's gains into each path
    int noisePos;
};

void VelmoraAU::addNoise(float* bufferA, float* bufferB, int n, int gainSource, int panSource) {
    SliceSources sources{};
    startNoise(sources, gainSource, panSource);
    playNoise(sources, 0, n, bufferA, bufferB);
    noisePos = sources.noisePos > 16128 ? 0 : sources.noisePos;
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

// What a render call reads once: the output format, the level, the routing, the velocity
// amounts and the twenty source selectors.
struct VelmoraAU::CallParams {
    float invRate, volume;
    int routing;
    float velAmount[3], velRest[3];
    int noiseGainSource, noisePanSource;
    int tuneSource[2], shape1Source[2], shape2Source[2], gainSource[2], shaperSource[2], filterSource[2];
    int lfoSource[2], multiSources[2][2];
};

// What a slice reads, at its start.
struct VelmoraAU::SliceParams {
    float glide, noiseType, mixMode;
    float lfoMode[2], lfoDepth[2], multiMode[2];
    struct Oscillator {
        float wave, tune, tuneDepth, shape1, shape1Depth, shape2, shape2Depth;
    } osc[2];
    struct Filter {
        float type, keyfollow, cutoff, resonance, depth;
    } filter[2];
    struct Path {
        float gain, gainDepth, shaperType, shaperDepth, shaperModDepth;
    } path[2];
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

// A changed filter type starts from a cleared state.
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
    const CallParams call = readCallParams(renderSampleRate);
    modSources[kSourceOff] = 0;
    modSources[kSourcePressure] = pressure;
    modSources[kSourcePressureInverted] = -modSources[kSourcePressure];
    modSources[kSourceWheel] = modWheel;
    modSources[kSourceWheelInverted] = -modSources[kSourceWheel];
    modSources[kSourceBend] = bendAmount;
    modSources[kSourceBendInverted] = -modSources[kSourceBend];
    const float bend = pitchBend;
    takeFilterTypes();
    GuardSequence guard;
    float bufferA[kSliceFrames], bufferB[kSliceFrames];

    for (UInt32 remaining = frames; remaining > 0;) {
        const int n = int(std::min<UInt32>(remaining, kSliceFrames));
        remaining -= UInt32(n);
        const SliceParams slice = readSliceParams();

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
        designFilters(call, slice);
        SliceSources sources = startSources(n, call, slice, guard);
        route(n, call, slice, sources, bufferA, bufferB);
        endSources(sources);
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
            std::memset(combLines, 0, kTableSize * sizeof(float));
            if (filterTypeA == kvel_filters::kComb) filterCoeffsA[2] = 1.0f;  // the comb starts at its target delay
            if (filterTypeB == kvel_filters::kComb) filterCoeffsB[2] = 1.0f;
        }
        silent = 0;
        declickOffset = lastOut;
        declickStep = lastOut / 192;
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

// The two oscillators set and begun, the guard and the noise gains. A second oscillator
// set and started exactly like the first (as in the init patch) would play the same
// samples: it takes a copy instead.
VelmoraAU::SliceSources VelmoraAU::startSources(int n, const CallParams& call, const SliceParams& slice,
                                                GuardSequence& guard) {
    SliceSources sources{};
    const OscillatorTables tables = oscillatorTables();
    int firstWave = 0;
    std::array<UInt32, 8> firstBits{};
    for (int o = 0; o < 2; ++o) {
        const SliceParams::Oscillator& p = slice.osc[o];
        float note = pitch + p.tune + p.tuneDepth * modSources[call.tuneSource[o]];
        if (note < 1.0f) note = 1.0f;
        const float rawShape1 = p.shape1Depth * modSources[call.shape1Source[o]] + p.shape1;
        const float shape1 = rawShape1 > 0 ? std::min(rawShape1, kShapeLimit) : 0.0f;
        const float rawShape2 = p.shape2Depth * modSources[call.shape2Source[o]] + p.shape2;
        const float shape2 = rawShape2 > 0 ? std::min(rawShape2, 100.0f) : 0.0f;
        const int wave = TruncToInt(p.wave);
        const bool hasWave = wave >= kWaveSawOE && wave <= kWavePwm;
        Oscillator& oscillator = oscillators[o];
        oscillator.set(wave, note, shape1, shape2, [this](float key) { return noteToPhaseInc(key); });
        if (o == 0) {
            firstWave = wave;
            firstBits = oscillator.bits();
        } else if (hasWave && wave == firstWave && oscillator.bits() == firstBits) {
            sources.copiesFirst = true;
            continue;
        }
        if (hasWave)
            oscillator.begin(tables, wave);
        else
            sources.oscGuard[o] = guard.next(n);
    }
    sources.guard = guard.next(n);
    if (slice.noiseType != 0.0f) startNoise(sources, call.noiseGainSource, call.noisePanSource);
    return sources;
}

void VelmoraAU::startNoise(SliceSources& sources, int gainSource, int panSource) const {
    // Unlike the pan, the modulation of the noise gain is not scaled by 0.01.
    const float pan =
        bounded(param(kNoisePan) * 0.01 + (param(kNoisePanMDpth) * modSources[panSource]) * 0.01, kNoisePanLimit);
    const float gain =
        bounded(param(kNoiseGain) * 0.01 + param(kNoiseGainMDpth) * modSources[gainSource], kNoiseGainLimit);
    sources.noise = true;
    sources.noiseA = gain * (1 - pan);
    sources.noiseB = gain * pan;
    sources.noisePos = noisePos;
}

// The noise table is read on past its wrap point until the slice ends.
void VelmoraAU::playNoise(SliceSources& sources, int at, int count, float* bufferA, float* bufferB) const {
    const float gA = sources.noiseA, gB = sources.noiseB;
    const float* noise = noiseTable + sources.noisePos;
    for (int i = 0; i < count; ++i) {
        bufferA[at + i] += noise[i] * gA;
        bufferB[at + i] += noise[i] * gB;
    }
    sources.noisePos += count;
}

void VelmoraAU::playSources(SliceSources& sources, int at, int count, float* bufferA, float* bufferB) {
    float* paths[2] = {bufferA + at, bufferB + at};
    for (int o = 0; o < 2; ++o) {
        if (o == 1 && sources.copiesFirst)
            std::copy_n(paths[0], count, paths[1]);
        else if (sources.oscGuard[o])
            std::copy_n(sources.oscGuard[o] + at, count, paths[o]);
        else
            oscillators[o].render(paths[o], count);
    }
    const float* g = sources.guard + at;
    for (int i = 0; i < count; ++i) {
        paths[0][i] += g[i];
        paths[1][i] += g[i];
    }
    if (sources.noise) playNoise(sources, at, count, bufferA, bufferB);
}

void VelmoraAU::endSources(const SliceSources& sources) {
    oscillators[0].end();
    if (sources.copiesFirst)
        oscillators[1].followPhases(oscillators[0]);
    else
        oscillators[1].end();
    if (sources.noise) noisePos = sources.noisePos > 16128 ? 0 : sources.noisePos;
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
        const float fcNote = rawNote >= 1.0f ? std::min(rawNote, 139.0f) : 1.0f;  // NaN gives 1
        // The design writes only what no kernel changes, so the same inputs leave the same coefficients.
        const DesignInputs inputs{std::bit_cast<UInt32>(float(types[f])), std::bit_cast<UInt32>(fcNote),
                                  std::bit_cast<UInt32>(p.resonance), renderSampleRate, true};
        DesignInputs& last = designed[f];
        if (last.valid && last.type == inputs.type && last.note == inputs.note && last.resonance == inputs.resonance &&
            last.rate == inputs.rate)
            continue;
        last = inputs;
        setFilter(float(types[f]), fcNote, p.resonance, coeffs[f]);
    }
}

// The sources, then the gains, shapers, filters and mixer in the order of the routing,
// block by block; the result is in path B.
void VelmoraAU::route(int n, const CallParams& call, const SliceParams& slice, SliceSources& sources,
                      float* bufferA, float* bufferB) {
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
    auto run = [&](const Step* first, const Step* end, int at, int count) {
        for (const Step* s = first; s != end; ++s) {
            float* path = (s->onB ? bufferB : bufferA) + at;
            switch (s->op) {
                case Op::Gain1: ProcessGain(bufferA + at, gain[0], count); break;
                case Op::Gain2: ProcessGain(bufferB + at, gain[1], count); break;
                case Op::ShaperA: ProcessRumble(shaper[0], depth[0], path, count); break;
                case Op::ShaperB: ProcessRumble(shaper[1], depth[1], path, count); break;
                case Op::FilterA: kernelA(path, count, filterCoeffsA, filterStateA, combLines); break;
                case Op::FilterB: kernelB(path, count, filterCoeffsB, filterStateB, combLines + 2048); break;
                case Op::Mix: ProcessMix(bufferB + at, bufferA + at, count, mixMode); break;
            }
        }
    };
    // The steps between whole-slice steps run in blocks, the sources ahead of the first.
    const Step* steps = kRoutings[call.routing >= 0 && call.routing <= 8 ? call.routing : 0];
    const Step* const end = steps + kSteps;
    bool sourcesPlayed = false;
    for (const Step* from = steps;;) {
        const Step* whole = std::find_if(from, end, [&](const Step& s) { return runsWhole(s, filterTypeA, filterTypeB); });
        for (int at = 0; at < n; at += kBlockFrames) {
            const int count = std::min(kBlockFrames, n - at);
            if (!sourcesPlayed) playSources(sources, at, count, bufferA, bufferB);
            run(from, whole, at, count);
        }
        sourcesPlayed = true;
        if (whole == end) break;
        run(whole, whole + 1, 0, n);
        from = whole + 1;
    }

    // A filter that ran away starts again from rest (with its comb line).
    float* states[2] = {filterStateA, filterStateB};
    const int types[2] = {filterTypeA, filterTypeB};
    for (int f = 0; f < 2; ++f) {
        if (types[f] == kvel_filters::kOff || allFinite(states[f], 16)) continue;  // "off" leaves its state alone
        std::memset(states[f], 0, 16 * sizeof(float));
        if (types[f] == kvel_filters::kComb) std::memset(combLines + 2048 * f, 0, 2048 * sizeof(float));
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
    if (declickCount <= 191) {
        declickCount += n;
        float offset = declickOffset, offsets[kSliceFrames];
        for (int i = 0; i < n; ++i) {
            offsets[i] = offset;
            offset -= declickStep;
        }
        for (int i = 0; i < n; ++i) first[i] = limitOutput(bufferB[i] * ramp[i] + offsets[i]);
        declickOffset = offset;
    } else {
        for (int i = 0; i < n; ++i) first[i] = limitOutput(bufferB[i] * ramp[i]);
    }
    if (out[0] && out[1])
        for (int i = 0; i < n; ++i) out[1][i] = out[0][i];
    amp = level;
    lastOut = first[n - 1];
    if (a == 0.0f && declickCount > 191) silent = 1;
    for (float*& o : out)
        if (o) o += n;
}
