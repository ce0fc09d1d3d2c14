// VelmoraAU: construction, initialization, reset and the tables.
#include "Velmora/VelmoraAU.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <iterator>

#include "Platform/BitCast.h"
#include "Platform/Log.h"
#include "Velmora/HarmonicTables.h"

namespace {

std::atomic<int> gInstances{0};

// Park-Miller minimal standard generator, fixed seed: the same noise on every run and in
// every instance, so it is worked out once per process, at the first instance (as constant
// data it would add 64 KB, which do not compress, to the web page's modules).
struct NoiseTable {
    alignas(64) float values[VelmoraAU::kNoiseSize];
    NoiseTable() {
        SInt64 state = 60470;
        for (float& v : values) {
            state = (16807 * state) % 2147483647;
            v = float(((state & 0xFFFF) - 32768) * 0.000030517578125) * 1.41f;
        }
    }
};

const NoiseTable& noise() {
    static const NoiseTable table;
    return table;
}

// The shared tables are constant data, mapped in on their first read: one read per page
// here, so that those page faults are taken when an instance is set up, not on the audio
// thread at the first note that reaches a table.
void touchPages(const float* table, std::size_t count) {
    constexpr std::size_t kFloatsPerPage = 4096 / sizeof(float);
    float sum = 0;
    for (std::size_t i = 0; i < count; i += kFloatsPerPage) sum += table[i];
    volatile float sink = sum;
    (void)sink;
}

}  // namespace

static_assert(HarmonicTables::kSize == VelmoraAU::kTableSize && HarmonicTables::kLevels == VelmoraAU::kLevels);

VelmoraAU::VelmoraAU(ComponentInstance instance) : VelmoraAU(instance, 0, 1, 0) {}

VelmoraAU::VelmoraAU(ComponentInstance instance, UInt32 numInputs, UInt32 numOutputs, UInt32 numGroups)
    : MusicDeviceBase(instance, numInputs, numOutputs, numGroups) {
    initData();
}

void VelmoraAU::initData() {
    static const AUChannelInfo kChannels[] = {{0, 1}, {0, 2}, {0, 0}};
    params = nullptr;
    channelInfo = kChannels;
    clearBuffers();
    filterTypeA = filterTypeB = 0;
    silent = 1;
    for (int n = 0; n < kNumFactoryPresets; ++n) {
        factoryPresets[n] = asEZ_preset[n];
        presetList[n] = {n, CFStringCreateWithCString(nullptr, factoryPresets[n].name, kCFStringEncodingISOLatin1)};
    }
    currentSettings = {};
    std::strcpy(currentSettings.name, "default");
    const HarmonicTables& tables = harmonicTables();
    wavetable = tables.wave;
    oddTables = tables.odd;
    evenTables = tables.even;
    pwmTables = tables.pwm;
    bandLimits = tables.bandLimits;
    noiseTable = noise().values;
    noisePos = 0;
    for (Oscillator& o : oscillators) o = Oscillator{};
    pitch = glidedPitch = currentNote = glideStart = 69.0f;
    velocity = 0;
    glideDuration = glideElapsed = 0;
    pitchBend = bendAmount = modWheel = pressure = 0.0f;
    noteCounter = 0;
    for (int k = 0; k < 128; ++k) {
        keyOrder[k] = 0;
        keyFrame[k] = -1;
        keyVelocity[k] = 0.0f;
    }
    amp = 0.0f;
    for (float& m : modSources) m = 0;
    PlatformLog("Tarvs running: %d\n", ++gInstances);
}

VelmoraAU::~VelmoraAU() {
    PlatformLog("Tarvs running: %d\n", --gInstances);
    delete[] octavePhase;
    delete[] combLines;
    for (AUPreset& p : presetList) CFRelease(p.presetName);
}

void VelmoraAU::clearBuffers() {
    std::memset(filterCoeffsA, 0, sizeof filterCoeffsA);
    std::memset(filterStateA, 0, sizeof filterStateA);
    std::memset(filterCoeffsB, 0, sizeof filterCoeffsB);
    std::memset(filterStateB, 0, sizeof filterStateB);
    for (DesignInputs& d : designed) d.valid = false;
}

Float64 VelmoraAU::outputSampleRate() { return GetOutput(0)->GetStreamFormat().mSampleRate; }

void VelmoraAU::configureEnvelope(int which, Float64 sampleRate) {
    ADSR* env = which == 0 ? env1.get() : which == 1 ? env2.get() : env3.get();
    if (!env) return;
    const UInt32 base = kA1 + UInt32(which) * kEnvStride;
    env->setEnv(param(base), param(base + 1), param(base + 2), param(base + 3), sampleRate);
}

void VelmoraAU::configureLfo(int which, Float64 sampleRate) {
    LFO* lfo = which == 0 ? lfo1.get() : lfo2.get();
    if (!lfo) return;
    const UInt32 base = kLFO1Wave + UInt32(which) * kLfoStride;
    lfo->setLfo(TruncToInt(param(base)), param(base + 2), param(base + 3), sampleRate);
}

OSStatus VelmoraAU::Initialize() {
    paramInfo = VelmoraParameterTable();
    const UInt32 count = CountParameters(paramInfo);
    params = currentSettings.values;
    for (UInt32 id = 0; id < count; ++id) StoreRelaxed(params[id], paramInfo[id].defaultValue);
    parameterChanges.fetch_add(1, std::memory_order_release);

    setUpVoice();
    for (int k = 0; k < 128; ++k) {
        keyOrder[k] = 0;
        keyFrame[k] = -1;
        keyVelocity[k] = 0.0f;
    }
    declickStep = 0;
    declickCount = 0;
    lastOut = 0;
    declickOffset = 0;

    if (!env1) env1 = std::make_unique<ADSR>();
    if (!env2) env2 = std::make_unique<ADSR>();
    if (!env3) env3 = std::make_unique<ADSR>();
    for (int e = 0; e < 3; ++e) configureEnvelope(e, outputSampleRate());
    for (ADSR* env : {env1.get(), env2.get(), env3.get()}) {
        env->reset();
        env->setGate(false);
    }
    if (!lfo1) lfo1 = std::make_unique<LFO>();
    if (!lfo2) lfo2 = std::make_unique<LFO>();
    configureLfo(0, outputSampleRate());
    configureLfo(1, outputSampleRate());
    lfo1->reset();
    lfo2->reset();
    CreateElements();
    return noErr;
}

void VelmoraAU::setUpVoice() {
    PlatformLog("Initializing buffers!\n");
    if (!combLines) combLines = new float[kCombLinesSize];
    std::memset(combLines, 0, kCombLinesSize * sizeof(float));
    const HarmonicTables& tables = harmonicTables();
    touchPages(tables.wave, std::size(tables.wave));
    touchPages(tables.odd, std::size(tables.odd));
    touchPages(tables.even, std::size(tables.even));
    touchPages(tables.pwm, std::size(tables.pwm));

    if (!octavePhase) octavePhase = new float[1200];
    Float64 sampleRate = outputSampleRate();
    renderSampleRate = sampleRate;
    if (sampleRate == 0.0) sampleRate = 44100.0;
    for (int i = 0; i < 1200; ++i) {
        const float f = float(440 * std::pow(2.0, (i / 100.0 + 60 - 69) / 12));
        octavePhase[i] = float(f / sampleRate);
    }
    // The cutoffs' and the oscillators' increments changed.
    for (DesignInputs& d : designed) d.valid = false;
    for (OscillatorInputs& o : oscillatorInputs) o.valid = false;
    PlatformLog("Initializing buffers done!\n");
}

float VelmoraAU::noteToPhaseInc(float note) const {
    if (!(note >= 0)) note = 0;        // below 0, and NaN, play as key 0
    if (note > 1.0e6f) note = 1.0e6f;  // far above the 0.49 ceiling; keeps the integer part in range
    const int n = int(note);
    const int octave = n / 12 - 1;
    int index = (n % 12) * 100 + int((note - float(n)) * 100.0f);
    if (index > 1199) index = 1199;
    float v = octavePhase[index];
    if (octave > 0) {
        // One octave up doubles the increment, exactly; a product past 0.49 / 0.015625
        // (even infinity) clamps the same, so the exponent may stop at 2^100.
        v = v * BitCast<float>(UInt32(127 + std::min(octave, 100)) << 23);
    } else if (octave == -1) {
        v = v * 0.5f;
    }
    v = v * 0.015625f;
    if (v > 0.49f) v = 0.49f;
    return v;
}

OSStatus VelmoraAU::Reset(AudioUnitScope, AudioUnitElement) {
    HandleAllNotesOff(0);
    for (ADSR* env : {env1.get(), env2.get(), env3.get()}) {
        if (!env) continue;
        env->reset();
        env->setGate(false);
    }
    silent = 1;
    amp = 0.0f;
    return noErr;
}
