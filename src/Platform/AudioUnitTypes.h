// Audio-unit and music-device constants and records: selectors, properties,
// scopes, result codes, parameter records and callback signatures.
#pragma once
#include "Platform/CFTypes.h"
#include "Platform/Components.h"
#include "Platform/CoreAudioTypes.h"

using AudioUnit = ComponentInstance;
using MusicDeviceComponent = ComponentInstance;
using AudioUnitPropertyID = UInt32;
using AudioUnitScope = UInt32;
using AudioUnitElement = UInt32;
using AudioUnitParameterID = UInt32;
using AudioUnitParameterValue = Float32;
using AudioUnitRenderActionFlags = UInt32;
using MusicDeviceInstrumentID = UInt32;
using MusicDeviceGroupID = UInt32;
using NoteInstanceID = UInt32;

// Audio-unit selectors.
enum : SInt16 {
    kAudioUnitRange = 0x0000,
    kAudioUnitInitializeSelect = 0x0001,
    kAudioUnitUninitializeSelect = 0x0002,
    kAudioUnitGetPropertyInfoSelect = 0x0003,
    kAudioUnitGetPropertySelect = 0x0004,
    kAudioUnitSetPropertySelect = 0x0005,
    kAudioUnitGetParameterSelect = 0x0006,
    kAudioUnitSetParameterSelect = 0x0007,
    kAudioUnitRenderSliceSelect = 0x0008,
    kAudioUnitResetSelect = 0x0009,
    kAudioUnitAddPropertyListenerSelect = 0x000A,
    kAudioUnitRemovePropertyListenerSelect = 0x000B,
    kAudioUnitSetRenderNotificationSelect = 0x000C,
    kAudioUnitRemoveRenderNotificationSelect = 0x000D,
    kAudioUnitRenderSelect = 0x000E,
    kAudioUnitAddRenderNotifySelect = 0x000F,
    kAudioUnitRemoveRenderNotifySelect = 0x0010,
    kAudioUnitScheduleParametersSelect = 0x0011,
};

// Music-device selectors.
enum : SInt16 {
    kMusicDeviceRange = 0x0100,
    kMusicDeviceMIDIEventSelect = 0x0101,
    kMusicDeviceSysExSelect = 0x0102,
    kMusicDevicePrepareInstrumentSelect = 0x0103,
    kMusicDeviceReleaseInstrumentSelect = 0x0104,
    kMusicDeviceStartNoteSelect = 0x0105,
    kMusicDeviceStopNoteSelect = 0x0106,
};

enum : OSStatus {
    kAudioUnitErr_InvalidProperty = -10879,
    kAudioUnitErr_InvalidParameter = -10878,
    kAudioUnitErr_InvalidElement = -10877,
    kAudioUnitErr_NoConnection = -10876,
    kAudioUnitErr_FailedInitialization = -10875,
    kAudioUnitErr_TooManyFramesToProcess = -10874,
    kAudioUnitErr_IllegalInstrument = -10873,
    kAudioUnitErr_InstrumentTypeNotFound = -10872,
    kAudioUnitErr_InvalidFile = -10871,
    kAudioUnitErr_UnknownFileType = -10870,
    kAudioUnitErr_FileNotSpecified = -10869,
    kAudioUnitErr_FormatNotSupported = -10868,
    kAudioUnitErr_Uninitialized = -10867,
    kAudioUnitErr_InvalidScope = -10866,
    kAudioUnitErr_PropertyNotWritable = -10865,
    kAudioUnitErr_InvalidPropertyValue = -10851,
};

enum : AudioUnitScope {
    kAudioUnitScope_Global = 0,
    kAudioUnitScope_Input = 1,
    kAudioUnitScope_Output = 2,
    kAudioUnitScope_Group = 3,
};

enum : AudioUnitPropertyID {
    kAudioUnitProperty_ClassInfo = 0,
    kAudioUnitProperty_MakeConnection = 1,
    kAudioUnitProperty_SampleRate = 2,
    kAudioUnitProperty_ParameterList = 3,
    kAudioUnitProperty_ParameterInfo = 4,
    kAudioUnitProperty_FastDispatch = 5,
    kAudioUnitProperty_CPULoad = 6,
    kAudioUnitProperty_SetInputCallback = 7,
    kAudioUnitProperty_StreamFormat = 8,
    kAudioUnitProperty_ElementCount = 11,
    kAudioUnitProperty_Latency = 12,
    kAudioUnitProperty_SupportedNumChannels = 13,
    kAudioUnitProperty_MaximumFramesPerSlice = 14,
    kAudioUnitProperty_SetExternalBuffer = 15,
    kAudioUnitProperty_ParameterValueStrings = 16,
    kAudioUnitProperty_GetUIComponentList = 18,
    kAudioUnitProperty_TailTime = 20,
    kAudioUnitProperty_LastRenderError = 22,
    kAudioUnitProperty_SetRenderCallback = 23,
    kAudioUnitProperty_FactoryPresets = 24,
    kAudioUnitProperty_RenderQuality = 26,
    kAudioUnitProperty_HostCallbacks = 27,
    kAudioUnitProperty_CurrentPreset = 28,
    kMusicDeviceProperty_MIDIXMLNames = 1006,
};

enum : AudioUnitRenderActionFlags {
    kAudioUnitRenderAction_Accumulate = 0x1,
    kAudioUnitRenderAction_UseProvidedBuffer = 0x2,
    kAudioUnitRenderAction_PreRender = 0x4,
    kAudioUnitRenderAction_PostRender = 0x8,
    kAudioUnitRenderAction_OutputIsSilence = 0x10,
};

enum : UInt32 {
    kAudioUnitParameterUnit_Generic = 0,
    kAudioUnitParameterUnit_Indexed = 1,
    kAudioUnitParameterUnit_Boolean = 2,
    kAudioUnitParameterUnit_Percent = 3,
    kAudioUnitParameterUnit_Seconds = 4,
    kAudioUnitParameterUnit_SampleFrames = 5,
    kAudioUnitParameterUnit_Phase = 6,
    kAudioUnitParameterUnit_Rate = 7,
    kAudioUnitParameterUnit_Hertz = 8,
    kAudioUnitParameterUnit_Cents = 9,
    kAudioUnitParameterUnit_RelativeSemiTones = 10,
    kAudioUnitParameterUnit_MIDINoteNumber = 11,
    kAudioUnitParameterUnit_MIDIController = 12,
    kAudioUnitParameterUnit_Decibels = 13,
    kAudioUnitParameterUnit_LinearGain = 14,
    kAudioUnitParameterUnit_Degrees = 15,
    kAudioUnitParameterUnit_EqualPowerCrossfade = 16,
    kAudioUnitParameterUnit_MixerFaderCurve1 = 17,
    kAudioUnitParameterUnit_Pan = 18,
    kAudioUnitParameterUnit_Meters = 19,
    kAudioUnitParameterUnit_AbsoluteCents = 20,
    kAudioUnitParameterUnit_Octaves = 21,
    kAudioUnitParameterUnit_BPM = 22,
    kAudioUnitParameterUnit_Beats = 23,
    kAudioUnitParameterUnit_Milliseconds = 24,
    kAudioUnitParameterFlag_HasCFNameString = 0x08000000u,
    kAudioUnitParameterFlag_IsReadable = 0x40000000u,
    kAudioUnitParameterFlag_IsWritable = 0x80000000u,
};

struct AudioUnitParameterInfo {
    char name[60];
    CFStringRef cfNameString;
    UInt32 unit;
    Float32 minValue;
    Float32 maxValue;
    Float32 defaultValue;
    UInt32 flags;
};

// The address of one parameter of one unit.
struct AudioUnitParameter {
    AudioUnit mAudioUnit;
    AudioUnitParameterID mParameterID;
    AudioUnitScope mScope;
    AudioUnitElement mElement;
};

struct AUPreset {
    SInt32 presetNumber;
    CFStringRef presetName;
};
// The number widened to the pointer's alignment: 16 bytes on 64-bit systems, 8 on wasm32.
static_assert(sizeof(AUPreset) == 2 * sizeof(void*));

struct AUChannelInfo {
    SInt16 inChannels;
    SInt16 outChannels;
};

enum : UInt32 {
    kParameterEvent_Immediate = 1,
    kParameterEvent_Ramped = 2,
};

struct AudioUnitParameterEvent {
    AudioUnitScope scope;
    AudioUnitElement element;
    AudioUnitParameterID parameter;
    UInt32 eventType;
    union {
        struct {
            SInt32 startBufferOffset;
            UInt32 durationInFrames;
            AudioUnitParameterValue startValue;
            AudioUnitParameterValue endValue;
        } ramp;
        struct {
            UInt32 bufferOffset;
            AudioUnitParameterValue value;
        } immediate;
    } eventValues;
};
static_assert(sizeof(AudioUnitParameterEvent) == 32);

struct MusicDeviceNoteParams {
    UInt32 argCount;
    Float32 mPitch;
    Float32 mVelocity;
};

using AudioUnitPropertyListenerProc = void (*)(void* refCon, AudioUnit unit, AudioUnitPropertyID id,
                                               AudioUnitScope scope, AudioUnitElement element);
using AURenderCallback = OSStatus (*)(void* refCon, AudioUnitRenderActionFlags* ioActionFlags,
                                      const AudioTimeStamp* timeStamp, UInt32 busNumber, UInt32 frames,
                                      AudioBufferList* ioData);
// Version-1 render notification: flags by value, one buffer.
using AudioUnitRenderNotifyV1 = OSStatus (*)(void* refCon, AudioUnitRenderActionFlags flags,
                                             const AudioTimeStamp* timeStamp, UInt32 busNumber, AudioBuffer* ioData);
using AudioUnitInputCallback = OSStatus (*)(void* refCon, AudioUnitRenderActionFlags flags,
                                            const AudioTimeStamp* timeStamp, UInt32 busNumber, AudioBuffer* ioData);

struct AURenderCallbackStruct {
    AURenderCallback inputProc;
    void* inputProcRefCon;
};

struct AudioUnitInputCallbackStruct {
    AudioUnitInputCallback inputProc;
    void* inputProcRefCon;
};

struct AudioUnitConnection {
    AudioUnit sourceAudioUnit;
    UInt32 sourceOutputNumber;
    UInt32 destInputNumber;
};

struct AudioUnitExternalBuffer {
    UInt8* buffer;
    UInt32 size;
};

struct HostCallbackInfo {
    void* hostUserData;
    void* beatAndTempoProc;
    void* musicalTimeLocationProc;
};

// Fast-dispatch function signatures (object pointer first).
using AudioUnitGetParameterProc = OSStatus (*)(void* obj, AudioUnitParameterID, AudioUnitScope, AudioUnitElement,
                                               Float32* outValue);
using AudioUnitSetParameterProc = OSStatus (*)(void* obj, AudioUnitParameterID, AudioUnitScope, AudioUnitElement,
                                               Float32 value, UInt32 bufferOffsetInFrames);
using AudioUnitRenderSliceProc = OSStatus (*)(void* obj, AudioUnitRenderActionFlags* ioActionFlags,
                                              const AudioTimeStamp*, UInt32 busNumber, AudioBuffer* ioBuffer);
using AudioUnitRenderProc = OSStatus (*)(void* obj, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp*,
                                         UInt32 busNumber, UInt32 frames, AudioBufferList* ioData);
