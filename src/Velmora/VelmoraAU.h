// VelmoraAU: the instrument: one monophonic voice with two table oscillators,
// noise, two waveshapers, two multimode filters, three envelopes, two LFOs and
// two modulation multipliers.
#pragma once
#include <array>
#include <atomic>
#include <memory>
#include <mutex>

#include "AUPublic/OtherBases/MusicDeviceBase.h"
#include "Filters/FilterKernels.h"
#include "Modulators/ADSR.h"
#include "Modulators/LFO.h"
#include "Platform/Relaxed.h"
#include "Velmora/Oscillator.h"
#include "Velmora/VelmoraParameters.h"
#include "Velmora/VelmoraPresets.h"

// The voice as the last slice left it (for tests and meters).
struct VoiceState {
    float currentNote, pitch, velocity, amp, lastOut;
    bool silent;
    int env1Stage;
};

// What the key scan of one slice decided.
struct SliceNotes {
    bool noteChange = false;
    bool gateOff = false;
    bool gateOn = false;
    float newNote = 0;
};

class VelmoraAU : public MusicDeviceBase {
public:
    static constexpr int kSliceFrames = 64;
    static constexpr int kTableSize = 4096;
    static constexpr int kLevels = 10;
    static constexpr int kNoiseSize = 16384;
    static constexpr int kCombLinesSize = 2 * kvel_filters::kCombLineLength;  // filter A's, then B's
    static constexpr int kModSources = 23;
    static constexpr UInt32 kInternalParamsProperty = 64000;
    // The current settings record's name: char[kPresetNameBytes], at most 47
    // bytes and a terminator, "default" on a fresh instance. Readable and writable,
    // so that a host keeps the name without knowing the saved state's layout.
    static constexpr UInt32 kPresetNameProperty = 64001;
    static constexpr UInt32 kPresetNameBytes = 48;

    explicit VelmoraAU(ComponentInstance instance);
    VelmoraAU(ComponentInstance instance, UInt32 numInputs, UInt32 numOutputs, UInt32 numGroups);
    ~VelmoraAU() override;

    // The component entry: property calls take mSettingsLock (see there).
    static OSStatus ComponentEntryDispatch(ComponentParameters* params, VelmoraAU* This);

    // ---- lifecycle
    OSStatus Initialize() override;
    OSStatus Reset(AudioUnitScope scope, AudioUnitElement element) override;

    // ---- properties and parameters
    OSStatus GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                             UInt32& outDataSize, Boolean& outWritable) override;
    OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                         void* outData) override;
    OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, const void* inData,
                         UInt32 inDataSize) override;
    OSStatus GetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                          Float32& outValue) override;
    OSStatus SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element, Float32 value,
                          UInt32 bufferOffsetInFrames) override;
    OSStatus ScheduleParameter(const AudioUnitParameterEvent* events, UInt32 numEvents) override;
    OSStatus GetParameterList(AudioUnitScope scope, AudioUnitParameterID* outList, UInt32& outNumParameters) override;
    OSStatus GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id, AudioUnitParameterInfo& outInfo) override;
    OSStatus GetParameterValueStrings(AudioUnitScope scope, AudioUnitParameterID id, CFArrayRef* outStrings) override;

    // ---- presets and state
    OSStatus SaveState(CFPropertyListRef* outData) override;
    OSStatus RestoreState(CFPropertyListRef data) override;
    OSStatus GetPresets(CFArrayRef* outData) const override;
    OSStatus NewFactoryPresetSet(const AUPreset& newFactoryPreset) override;
    bool SetAFactoryPresetAsCurrent(const AUPreset& preset) override;

    // ---- editor, channels, formats
    UInt32 GetNumCustomUIComponents() override { return 1; }
    void GetUIComponentDescs(ComponentDescription* outDescs) override;
    bool StreamFormatWritable(AudioUnitScope, AudioUnitElement) override { return true; }
    UInt32 SupportedNumChannels(const AUChannelInfo** outInfo) override;

    // ---- render
    OSStatus Render(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp, UInt32 frames) override;

    // ---- notes and MIDI
    OSStatus PrepareInstrument(MusicDeviceInstrumentID) override { return noErr; }
    OSStatus ReleaseInstrument(MusicDeviceInstrumentID) override { return noErr; }
    OSStatus StartNote(MusicDeviceInstrumentID instrument, MusicDeviceGroupID group, NoteInstanceID* outNoteInstanceID,
                       UInt32 offsetSampleFrame, const MusicDeviceNoteParams& params) override;
    OSStatus StopNote(MusicDeviceGroupID group, NoteInstanceID noteInstanceID, UInt32 offsetSampleFrame) override;
    void HandleNoteOn(int channel, UInt8 note, UInt8 velocity, SInt32 startFrame) override;
    void HandleNoteOff(int channel, UInt8 note, UInt8 velocity, SInt32 startFrame) override;
    void HandleControlChange(int channel, UInt8 controller, UInt8 value, SInt32 startFrame) override;
    void HandlePitchWheel(int channel, UInt8 lsb, UInt8 msb, SInt32 startFrame) override;
    void HandleChannelPressure(int channel, UInt8 value, SInt32 startFrame) override;
    void HandleAllNotesOff(int channel) override;

    // ---- the render stages, one slice each, and the engine's own routines (render thread)
    float noteToPhaseInc(float note) const;
    SliceNotes scanKeys(int frames);
    Oscillator& oscillator(int osc) { return oscillators[osc]; }
    OscillatorTables oscillatorTables() const { return {wavetable, oddTables, evenTables, pwmTables, bandLimits}; }
    void setFilter(float type, float cutoff, float resonance, float* coeffs);
    void addNoise(float* bufferA, float* bufferB, int frames, int gainSource, int panSource);

    VoiceState voiceState() const {
        return {currentNote, pitch, velocity, amp, lastOut, silent != 0, env1 ? env1->stageNow() : -1};
    }

private:
    void initData();
    void setUpVoice();
    void clearBuffers();
    Float64 outputSampleRate();
    void configureEnvelope(int which, Float64 sampleRate);
    void configureLfo(int which, Float64 sampleRate);
    float param(UInt32 id) const { return LoadRelaxed(currentSettings.values[id]); }
    // What a render call reads: the output format, the level, the routing, the velocity
    // amounts, the twenty source selectors, and whether anything reads LFO 1.
    // Read again only after a parameter or the rate changed.
    struct CallParams {
        float invRate, volume;
        int routing;
        float velAmount[3], velRest[3];
        int noiseGainSource, noisePanSource;
        int tuneSource[2], shape1Source[2], shape2Source[2], gainSource[2], shaperSource[2], filterSource[2];
        int lfoSource[2], multiSources[2][2];
        bool lfo1Read;
    };
    // What a slice reads, at its start. Read again only after a parameter changed.
    struct SliceParams {
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
    class GuardSequence;
    CallParams readCallParams(Float64 sampleRate) const;
    SliceParams readSliceParams() const;
    void takeFilterTypes();
    void notesAndGlide(int frames, const CallParams& call, const SliceParams& slice, float bend);
    float amplitudeEnvelope(int frames, const CallParams& call);
    void modulationSources(int frames, float amplitude, const CallParams& call, const SliceParams& slice);
    // Returns whether the two paths hold the same samples (the second oscillator a copy of
    // the first, no noise).
    bool oscillatorsAndNoise(int frames, const CallParams& call, const SliceParams& slice, GuardSequence& guard,
                             float* bufferA, float* bufferB);
    void designFilters(const CallParams& call, const SliceParams& slice);
    void route(int frames, const CallParams& call, const SliceParams& slice, bool samePaths, float* bufferA,
               float* bufferB);
    void writeOutput(int frames, float amplitude, float volume, const float* bufferB, float* (&out)[2]);

    void applySettings(const EZPreset& settings);

    // Host threads other than the render thread: property calls (presets,
    // state, the preset list and name, formats, listeners) and parameters
    // outside the global scope run one at a time under this lock. Recursive,
    // as a property listener may call back into the unit. Render, global
    // parameters, MIDI and note calls never take it.
    std::recursive_mutex mSettingsLock;

    // Settings.
    EZPreset currentSettings;
    EZPreset factoryPresets[kNumFactoryPresets];
    AUPreset presetList[kNumFactoryPresets];
    const AudioUnitParameterInfo* paramInfo = nullptr;
    const AUChannelInfo* channelInfo = nullptr;
    Float64 renderSampleRate = 44100.0;       // output element 0's rate, taken per render call
    float* params = nullptr;                  // currentSettings.values once initialized
    std::atomic<UInt32> parameterChanges{0};  // counts the writes of parameter values
    CallParams callParams{};
    UInt32 callParamsChanges = ~UInt32(0);  // parameterChanges when callParams was read
    Float64 callParamsRate = 0;
    SliceParams sliceParams{};
    UInt32 sliceParamsChanges = ~UInt32(0);  // parameterChanges when sliceParams was read
    UInt32 internalParams[2] = {0, 0};

    // Filter section.
    float filterCoeffsA[16], filterStateA[16], filterCoeffsB[16], filterStateB[16];
    int filterTypeA = 0, filterTypeB = 0;
    // The inputs each filter's coefficients were last designed from (bit patterns): a held
    // cutoff keeps its coefficients without designing them again.
    struct DesignInputs {
        UInt32 type, note, resonance;
        Float64 rate;
        bool valid;
    } designed[2] = {};
    kvel_filters::FilterKernel kernelA = kvel_filters::foo, kernelB = kvel_filters::foo;

    // Tables. The increments per key and the comb lines belong to the instance; the
    // oscillators' tables and the noise are constant data, one copy for every instance.
    float* octavePhase = nullptr;
    float* combLines = nullptr;
    const float* wavetable = nullptr;
    const float* oddTables = nullptr;
    const float* evenTables = nullptr;
    const float* pwmTables = nullptr;
    const float* bandLimits = nullptr;
    const float* noiseTable = nullptr;
    int noisePos = 0;

    Oscillator oscillators[2];  // index 0 is oscillator 1
    // The inputs each oscillator was last set from (bit patterns): a held note keeps its
    // increments and gains without looking them up again.
    struct OscillatorInputs {
        int wave;
        UInt32 note, shape1, shape2;
        bool valid;
        bool operator==(const OscillatorInputs&) const = default;
    } oscillatorInputs[2] = {};

    // Voice.
    Relaxed<SInt32> silent{1};
    float pitch = 69, glidedPitch = 69;  // glidedPitch: pitch before the bend offset
    float velocity = 0;
    float currentNote = 69;
    float glideStart = 69;
    float glideDuration = 0;
    float glideElapsed = 0;

    // Controllers, written by the MIDI thread, read once per render call.
    Relaxed<float> pitchBend, bendAmount, modWheel, pressure;
    SInt32 noteCounter = 0;

    float modSources[kModSources] = {};

    // Key tables, written by note calls, scanned once per slice.
    Relaxed<SInt32> keyOrder[128];
    Relaxed<SInt32> keyFrame[128];
    Relaxed<float> keyVelocity[128];
    // Set after a note call has written the tables, and kept while a key waits for a
    // later slice: slices without key events skip the scan.
    std::atomic<bool> keysPending{false};

    std::unique_ptr<ADSR> env1, env2, env3;
    std::unique_ptr<LFO> lfo1, lfo2;

    // Output.
    Relaxed<float> amp;
    float lastOut = 0;
    float declickOffset = 0, declickStep = 0;
    SInt32 declickCount = 0;
};
