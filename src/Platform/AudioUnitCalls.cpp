// Host-side audio-unit and music-device calls.
#include "Platform/AudioUnitCalls.h"

OSStatus AudioUnitInitialize(AudioUnit u) { return CallComponent(u, kAudioUnitInitializeSelect); }
OSStatus AudioUnitUninitialize(AudioUnit u) { return CallComponent(u, kAudioUnitUninitializeSelect); }

OSStatus AudioUnitGetPropertyInfo(AudioUnit u, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                  UInt32* outDataSize, Boolean* outWritable) {
    return CallComponent(u, kAudioUnitGetPropertyInfoSelect, id, scope, element, outDataSize, outWritable);
}

OSStatus AudioUnitGetProperty(AudioUnit u, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                              void* outData, UInt32* ioDataSize) {
    return CallComponent(u, kAudioUnitGetPropertySelect, id, scope, element, outData, ioDataSize);
}

OSStatus AudioUnitSetProperty(AudioUnit u, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                              const void* inData, UInt32 inDataSize) {
    return CallComponent(u, kAudioUnitSetPropertySelect, id, scope, element, inData, inDataSize);
}

OSStatus AudioUnitGetParameter(AudioUnit u, AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                               Float32* outValue) {
    return CallComponent(u, kAudioUnitGetParameterSelect, id, scope, element, outValue);
}

OSStatus AudioUnitSetParameter(AudioUnit u, AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                               Float32 value, UInt32 bufferOffsetInFrames) {
    return CallComponent(u, kAudioUnitSetParameterSelect, id, scope, element, value, bufferOffsetInFrames);
}

OSStatus AudioUnitRenderSlice(AudioUnit u, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* timeStamp,
                              UInt32 outputBusNumber, AudioBuffer* ioData) {
    return CallComponent(u, kAudioUnitRenderSliceSelect, ioActionFlags, timeStamp, outputBusNumber, ioData);
}

OSStatus AudioUnitReset(AudioUnit u, AudioUnitScope scope, AudioUnitElement element) {
    return CallComponent(u, kAudioUnitResetSelect, scope, element);
}

OSStatus AudioUnitAddPropertyListener(AudioUnit u, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                      void* refCon) {
    return CallComponent(u, kAudioUnitAddPropertyListenerSelect, id, reinterpret_cast<void*>(proc), refCon);
}

OSStatus AudioUnitRemovePropertyListener(AudioUnit u, AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc) {
    return CallComponent(u, kAudioUnitRemovePropertyListenerSelect, id, reinterpret_cast<void*>(proc));
}

OSStatus AudioUnitSetRenderNotification(AudioUnit u, void* proc, void* refCon) {
    return CallComponent(u, kAudioUnitSetRenderNotificationSelect, proc, refCon);
}

OSStatus AudioUnitRemoveRenderNotification(AudioUnit u, void* proc, void* refCon) {
    return CallComponent(u, kAudioUnitRemoveRenderNotificationSelect, proc, refCon);
}

OSStatus AudioUnitRender(AudioUnit u, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* timeStamp,
                         UInt32 outputBusNumber, UInt32 numberFrames, AudioBufferList* ioData) {
    return CallComponent(u, kAudioUnitRenderSelect, ioActionFlags, timeStamp, outputBusNumber, numberFrames, ioData);
}

OSStatus AudioUnitAddRenderNotify(AudioUnit u, AURenderCallback proc, void* refCon) {
    return CallComponent(u, kAudioUnitAddRenderNotifySelect, reinterpret_cast<void*>(proc), refCon);
}

OSStatus AudioUnitRemoveRenderNotify(AudioUnit u, AURenderCallback proc, void* refCon) {
    return CallComponent(u, kAudioUnitRemoveRenderNotifySelect, reinterpret_cast<void*>(proc), refCon);
}

OSStatus AudioUnitScheduleParameters(AudioUnit u, const AudioUnitParameterEvent* events, UInt32 numEvents) {
    return CallComponent(u, kAudioUnitScheduleParametersSelect, events, numEvents);
}

OSStatus MusicDeviceMIDIEvent(MusicDeviceComponent u, UInt32 status, UInt32 data1, UInt32 data2,
                              UInt32 offsetSampleFrame) {
    return CallComponent(u, kMusicDeviceMIDIEventSelect, status, data1, data2, offsetSampleFrame);
}

OSStatus MusicDeviceSysEx(MusicDeviceComponent u, const UInt8* data, UInt32 length) {
    return CallComponent(u, kMusicDeviceSysExSelect, data, length);
}

OSStatus MusicDevicePrepareInstrument(MusicDeviceComponent u, MusicDeviceInstrumentID instrument) {
    return CallComponent(u, kMusicDevicePrepareInstrumentSelect, instrument);
}

OSStatus MusicDeviceReleaseInstrument(MusicDeviceComponent u, MusicDeviceInstrumentID instrument) {
    return CallComponent(u, kMusicDeviceReleaseInstrumentSelect, instrument);
}

OSStatus MusicDeviceStartNote(MusicDeviceComponent u, MusicDeviceInstrumentID instrument, MusicDeviceGroupID group,
                              NoteInstanceID* outNoteInstanceID, UInt32 offsetSampleFrame,
                              const MusicDeviceNoteParams* params) {
    return CallComponent(u, kMusicDeviceStartNoteSelect, instrument, group, outNoteInstanceID, offsetSampleFrame,
                         params);
}

OSStatus MusicDeviceStopNote(MusicDeviceComponent u, MusicDeviceGroupID group, NoteInstanceID noteInstanceID,
                             UInt32 offsetSampleFrame) {
    return CallComponent(u, kMusicDeviceStopNoteSelect, group, noteInstanceID, offsetSampleFrame);
}
