// AUBase: the audio-unit frame: lifecycle, scopes and elements, properties,
// parameters, saved state and the render path.
#pragma once
#include <atomic>

#include "AUPublic/AUBase/AUOutputElement.h"
#include "AUPublic/AUBase/AUScopeElement.h"
#include "AUPublic/AUBase/ComponentBase.h"
#include "AUPublic/Utility/SnapshotList.h"

class AUBase : public ComponentBase, public AUElementCreator {
public:
    // Limits on what a host may ask for, so that element buffers stay allocatable.
    static constexpr UInt32 kMaxFramesPerSliceLimit = 1u << 20;
    static constexpr UInt32 kMaxChannelsLimit = 64;

    AUBase(ComponentInstance instance, UInt32 numInputs, UInt32 numOutputs, UInt32 numGroups = 0);
    ~AUBase() override;

    void PostConstructor() override { CreateElements(); }

    // ---- lifecycle
    OSStatus DoInitialize();
    void DoCleanup();
    virtual OSStatus Initialize() { return noErr; }
    virtual void Cleanup() {}
    virtual OSStatus Reset(AudioUnitScope scope, AudioUnitElement element);
    bool IsInitialized() const { return mInitialized; }
    UInt8 AudioUnitAPIVersion() const { return mAudioUnitAPIVersion; }

    // ---- properties
    virtual OSStatus GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                     UInt32& outDataSize, Boolean& outWritable);
    virtual OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* outData);
    virtual OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                 const void* inData, UInt32 inDataSize);
    virtual OSStatus AddPropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void* refCon);
    virtual OSStatus RemovePropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc);
    virtual OSStatus SetRenderNotification(UInt32 apiVersion, void* proc, void* refCon);
    virtual OSStatus RemoveRenderNotification(void* proc, void* refCon);
    void PropertyChanged(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element);

    OSStatus DispatchGetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                     UInt32& outDataSize, Boolean& outWritable);
    OSStatus DispatchGetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* outData);
    OSStatus DispatchSetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                 const void* inData, UInt32 inDataSize);

    // ---- parameters
    virtual OSStatus GetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                  Float32& outValue);
    virtual OSStatus SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                  Float32 value, UInt32 bufferOffsetInFrames);
    // Applies the immediate events at once (the render thread may call it): an event
    // for a missing scope or element is skipped, the others still apply.
    virtual OSStatus ScheduleParameter(const AudioUnitParameterEvent* events, UInt32 numEvents);
    virtual OSStatus GetParameterList(AudioUnitScope scope, AudioUnitParameterID* outList, UInt32& outNumParameters);
    virtual OSStatus GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id, AudioUnitParameterInfo& outInfo);
    virtual OSStatus GetParameterValueStrings(AudioUnitScope scope, AudioUnitParameterID id, CFArrayRef* outStrings);

    // ---- render
    OSStatus DoRender(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp, UInt32 busNumber,
                      UInt32 frames, AudioBufferList& ioData);
    OSStatus DoRenderSlice(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp, UInt32 busNumber,
                           AudioBufferList& ioData);
    virtual OSStatus RenderBus(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                               UInt32 busNumber, UInt32 frames);
    virtual OSStatus Render(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp, UInt32 frames);
    bool NeedsToRender(Float64 sampleTime);
    virtual bool BusCountWritable(AudioUnitScope) { return false; }
    virtual OSStatus SetConnection(const AudioUnitConnection& connection);
    virtual OSStatus SetInputCallback(UInt32 propertyID, AudioUnitElement element, void* proc, void* refCon);
    void SetMaxFramesPerSlice(UInt32 frames);
    UInt32 GetMaxFramesPerSlice() const { return mMaxFramesPerSlice; }
    void ReallocateBuffers();

    // ---- state and presets
    virtual OSStatus SaveState(CFPropertyListRef* outData);
    virtual OSStatus RestoreState(CFPropertyListRef data);
    virtual OSStatus GetPresets(CFArrayRef* outData) const;
    virtual OSStatus NewFactoryPresetSet(const AUPreset& newFactoryPreset);
    virtual bool SetAFactoryPresetAsCurrent(const AUPreset& preset);
    const AUPreset& CurrentPreset() const { return mCurrentPreset; }

    // ---- editor, latency, channels, formats
    virtual UInt32 GetNumCustomUIComponents() { return 0; }
    virtual void GetUIComponentDescs(ComponentDescription*) {}
    virtual Float64 GetLatency() { return 0.0; }
    virtual Float64 GetTailTime() { return 0.0; }
    virtual bool SupportsTail() { return false; }
    virtual bool StreamFormatWritable(AudioUnitScope, AudioUnitElement) { return false; }
    virtual UInt32 SupportedNumChannels(const AUChannelInfo** outInfo);
    virtual bool ValidFormat(AudioUnitScope scope, AudioUnitElement element, const CAStreamBasicDescription& format);
    virtual const CAStreamBasicDescription& GetStreamFormat(AudioUnitScope scope, AudioUnitElement element);
    virtual OSStatus ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                        const CAStreamBasicDescription& oldFormat,
                                        const CAStreamBasicDescription& newFormat);
    bool IsStreamFormatWritable(AudioUnitScope scope, AudioUnitElement element);
    bool FormatIsCanonical(const CAStreamBasicDescription& format) const;

    // ---- scopes and elements
    AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement element) override;
    void CreateElements();
    AUScope& GetScope(AudioUnitScope scope) {
        if (scope > kAudioUnitScope_Group) ThrowStatus(kAudioUnitErr_InvalidScope);
        return mScopes[scope];
    }
    AUScope& GlobalScope() { return mScopes[kAudioUnitScope_Global]; }
    AUScope& Inputs() { return mScopes[kAudioUnitScope_Input]; }
    AUScope& Outputs() { return mScopes[kAudioUnitScope_Output]; }
    AUScope& Groups() { return mScopes[kAudioUnitScope_Group]; }
    AUElement* GetElement(AudioUnitScope scope, AudioUnitElement element) {
        return GetScope(scope).GetElement(element);
    }
    AUElement* SafeGetElement(AudioUnitScope scope, AudioUnitElement element) {
        return GetScope(scope).SafeGetElement(element);
    }
    AUIOElement* GetInput(AudioUnitElement element) { return Inputs().SafeGetIOElement(element); }
    AUIOElement* GetOutput(AudioUnitElement element) { return Outputs().SafeGetIOElement(element); }
    void SetNumberOfElements(AudioUnitScope scope, UInt32 numElements);

    static OSStatus ComponentEntryDispatch(ComponentParameters* params, AUBase* This);

protected:
    struct RenderCallback {
        void* mRenderNotify;
        void* mRenderNotifyRefCon;
    };
    struct PropertyListener {
        AudioUnitPropertyID propertyID;
        AudioUnitPropertyListenerProc listenerProc;
        void* listenerRefCon;
    };

    bool mElementsCreated = false;
    bool mBuffersAllocated = false;
    bool mTriedToInitialize = false;
    bool mInitialized = false;
    UInt8 mAudioUnitAPIVersion = 2;
    UInt32 mInitNumInputs, mInitNumOutputs, mInitNumGroups;
    AUScope mScopes[4];
    SnapshotList<RenderCallback> mRenderCallbacks;
    Float64 mLastRenderedSampleTime = -1.0;
    UInt32 mMaxFramesPerSlice = 0;
    std::atomic<OSStatus> mLastRenderError{0};  // set by the render thread, read and cleared by the host
    AUPreset mCurrentPreset{-1, nullptr};
    SnapshotList<PropertyListener> mPropertyListeners;
    HostCallbackInfo mHostCallbackInfo{};

private:
    OSStatus DoRenderBus(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp, UInt32 busNumber,
                         AUIOElement& output, UInt32 frames, AudioBufferList& ioData, bool& finished);
    void SetCurrentPreset(SInt32 number, CFStringRef name);
    void RecordRenderError(OSStatus result);
};

// Fast-dispatch functions: the object pointer first; each catches exceptions
// as the component entry does.
OSStatus AudioUnitBaseGetParameter(void* obj, AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                   Float32* outValue);
OSStatus AudioUnitBaseSetParameter(void* obj, AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                   Float32 value, UInt32 bufferOffsetInFrames);
OSStatus AudioUnitBaseRenderSlice(void* obj, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* timeStamp,
                                  UInt32 busNumber, AudioBuffer* ioBuffer);
OSStatus AudioUnitBaseRender(void* obj, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* timeStamp,
                             UInt32 busNumber, UInt32 frames, AudioBufferList* ioData);
